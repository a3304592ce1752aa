#pragma once
// TNavigationBar: a vertical bar of large-icon items in one captioned panel, the control at the
// left of the main window. Clicking an item (or pressing Enter, which the owner handles through
// keyDown) selects a page; the bar itself only draws, highlights and reports.

#include <QIcon>
#include <QList>
#include <QString>
#include <QWidget>

class TNavigationBar : public QWidget {
    Q_OBJECT

public:
    // Windows virtual-key codes that keyDown reports for the keys the owner cares about.
    static constexpr int vkReturn = 13;
    static constexpr int vkUp = 38;
    static constexpr int vkDown = 40;
    static constexpr int iconSize = 32;
    // The width the bar asks for when its texts fit in less.
    static constexpr int preferredWidth = 175;

    explicit TNavigationBar(QWidget* parent = nullptr);

    // The one panel.
    void setPanelCaption(const QString& caption);
    QString panelCaption() const { return caption; }
    int panelCount() const { return 1; }

    // The image list the items take their icons from; each is drawn 32x32.
    void setLargeImages(const QList<QIcon>& images);
    const QList<QIcon>& largeImages() const { return images; }

    // Appends an item; its index is the number of items before it.
    int addItem(const QString& caption, int imageIndex, int tag);
    int itemCount() const { return static_cast<int>(items.size()); }
    QString itemCaption(int item) const;
    int itemImageIndex(int item) const;
    int itemTag(int item) const;

    // The highlighted item, -1 for none. Setting it only moves the highlight; an index outside
    // the items is ignored.
    int currentItemIndex() const { return current; }
    void setCurrentItemIndex(int item);

    // Item under a point of the widget, -1 for none; and the rectangle an item occupies.
    int itemAt(const QPoint& point) const;
    QRect itemRect(int item) const;
    // Where an item's caption is drawn (word-wrapped, centred, at most two lines), and where
    // the panel caption is.
    QRect itemTextRect(int item) const;
    QRect headerRect() const;
    // The flags both captions are drawn with.
    static constexpr int itemTextFlags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap;

    // The bar is as wide as its texts need at its font (each item's caption whole in two lines,
    // the panel caption in one), and never narrower than preferredWidth; the width follows a
    // change of font or texts.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // An item was clicked (panel is always 0).
    void itemClick(int panel, int item);
    // A key was pressed while the bar had the focus; key is its Windows virtual-key code.
    // The key is not consumed: the event goes on to the parent.
    void keyDown(int key);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Item {
        QString caption;
        int imageIndex;
        int tag;
    };

    int headerHeight() const;
    int itemHeight() const;
    int widthForTexts() const;
    QFont headerFont() const;

    QString caption;
    QList<QIcon> images;
    QList<Item> items;
    int current = -1;
    int hovered = -1;
};

// Windows virtual-key code of a Qt key, 0 when it has none here.
int windowsKeyCode(int qtKey);
