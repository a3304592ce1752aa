#include "navbar/NavigationBar.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStringList>
#include <QStyleOption>

#include <algorithm>

namespace {
constexpr int itemPadding = 6;
constexpr int captionGap = 4;
// Text is laid out with fractional advances; whole pixels to spare keep it off the edge.
constexpr int textSlack = 2;

// The narrowest width at which a caption wraps onto two lines at most, no word broken: the
// best place to split its words in two (word wrapping then never needs a third line).
int twoLineWidth(const QFontMetrics& metrics, const QString& caption) {
    const QStringList words = caption.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    int best = metrics.horizontalAdvance(caption);
    for (qsizetype split = 1; split < words.size(); ++split) {
        const int first = metrics.horizontalAdvance(words.mid(0, split).join(QLatin1Char(' ')));
        const int second = metrics.horizontalAdvance(words.mid(split).join(QLatin1Char(' ')));
        best = std::min(best, std::max(first, second));
    }
    return best;
}
} // namespace

TNavigationBar::TNavigationBar(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAutoFillBackground(true);
    // The classic dark bar with light captions, whatever the desktop theme.
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(84, 96, 116));
    colours.setColor(QPalette::WindowText, QColor(250, 250, 250));
    setPalette(colours);
}

void TNavigationBar::setPanelCaption(const QString& text) {
    caption = text;
    updateGeometry();
    update();
}

void TNavigationBar::setLargeImages(const QList<QIcon>& list) {
    images = list;
    update();
}

int TNavigationBar::addItem(const QString& text, int imageIndex, int tag) {
    items.append(Item{text, imageIndex, tag});
    updateGeometry();
    update();
    return itemCount() - 1;
}

QString TNavigationBar::itemCaption(int item) const {
    return item >= 0 && item < itemCount() ? items[item].caption : QString();
}

int TNavigationBar::itemImageIndex(int item) const {
    return item >= 0 && item < itemCount() ? items[item].imageIndex : -1;
}

int TNavigationBar::itemTag(int item) const {
    return item >= 0 && item < itemCount() ? items[item].tag : 0;
}

void TNavigationBar::setCurrentItemIndex(int item) {
    if (item < -1 || item >= itemCount() || item == current)
        return;
    current = item;
    update();
}

int TNavigationBar::headerHeight() const {
    return fontMetrics().height() + 2 * itemPadding;
}

int TNavigationBar::itemHeight() const {
    return iconSize + captionGap + 2 * fontMetrics().height() + 2 * itemPadding;
}

QRect TNavigationBar::itemRect(int item) const {
    if (item < 0 || item >= itemCount())
        return QRect();
    return QRect(0, headerHeight() + item * itemHeight(), width(), itemHeight());
}

int TNavigationBar::itemAt(const QPoint& point) const {
    for (int i = 0; i < itemCount(); ++i)
        if (itemRect(i).contains(point))
            return i;
    return -1;
}

QFont TNavigationBar::headerFont() const {
    QFont bold = font();
    bold.setBold(true);
    return bold;
}

QRect TNavigationBar::headerRect() const {
    return QRect(0, 0, width(), headerHeight());
}

QRect TNavigationBar::itemTextRect(int item) const {
    if (item < 0 || item >= itemCount())
        return QRect();
    const QRect cell = itemRect(item).adjusted(itemPadding / 2, 1, -itemPadding / 2, -1);
    const int textTop = cell.top() + itemPadding + iconSize + captionGap;
    return QRect(cell.left(), textTop, cell.width(), cell.bottom() + 1 - textTop);
}

int TNavigationBar::widthForTexts() const {
    int needed = iconSize + 2 * itemPadding;
    needed = std::max(needed, QFontMetrics(headerFont()).horizontalAdvance(caption) +
                                  2 * itemPadding + textSlack);
    const QFontMetrics metrics = fontMetrics();
    for (const Item& item : items)
        needed = std::max(needed, twoLineWidth(metrics, item.caption) + itemPadding + textSlack);
    return needed;
}

QSize TNavigationBar::sizeHint() const {
    return QSize(std::max(preferredWidth, widthForTexts()),
                 headerHeight() + itemCount() * itemHeight());
}

QSize TNavigationBar::minimumSizeHint() const {
    return QSize(widthForTexts(), headerHeight() + itemHeight());
}

void TNavigationBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPalette& pal = palette();

    const QRect header = headerRect();
    painter.fillRect(header, pal.button());
    painter.setPen(pal.color(QPalette::ButtonText));
    painter.setFont(headerFont());
    painter.drawText(header, Qt::AlignCenter, caption);
    painter.setPen(pal.color(QPalette::Dark));
    painter.drawLine(header.bottomLeft(), header.bottomRight());
    painter.setFont(font());

    for (int i = 0; i < itemCount(); ++i) {
        QRect cell = itemRect(i).adjusted(itemPadding / 2, 1, -itemPadding / 2, -1);
        if (i == current || i == hovered) {
            QColor fill(255, 255, 255, i == current ? 70 : 30);
            painter.fillRect(cell, fill);
            if (i == current) {
                painter.setPen(QColor(255, 255, 255, 160));
                painter.drawRect(cell.adjusted(0, 0, -1, -1));
            }
        }
        const Item& item = items[i];
        QRect iconArea((width() - iconSize) / 2, cell.top() + itemPadding, iconSize, iconSize);
        if (item.imageIndex >= 0 && item.imageIndex < images.size())
            images[item.imageIndex].paint(&painter, iconArea);
        painter.setPen(pal.color(QPalette::WindowText));
        painter.drawText(itemTextRect(i), itemTextFlags, item.caption);
    }
    if (hasFocus() && current >= 0) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = itemRect(current).adjusted(itemPadding, 3, -itemPadding, -3);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

void TNavigationBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    int item = itemAt(event->position().toPoint());
    if (item >= 0)
        emit itemClick(0, item);
}

void TNavigationBar::mouseMoveEvent(QMouseEvent* event) {
    int item = itemAt(event->position().toPoint());
    if (item != hovered) {
        hovered = item;
        setCursor(item >= 0 ? Qt::PointingHandCursor : Qt::ArrowCursor);
        update();
    }
}

void TNavigationBar::leaveEvent(QEvent*) {
    hovered = -1;
    update();
}

void TNavigationBar::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange)
        updateGeometry();
    QWidget::changeEvent(event);
}

void TNavigationBar::keyPressEvent(QKeyEvent* event) {
    int code = windowsKeyCode(event->key());
    if (code != 0)
        emit keyDown(code);
    event->ignore();
}

int windowsKeyCode(int qtKey) {
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9))
        return qtKey; // the letters and digits share their codes
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return 0x70 + (qtKey - Qt::Key_F1);
    switch (qtKey) {
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return TNavigationBar::vkReturn;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Space:
        return 32;
    case Qt::Key_PageUp:
        return 33;
    case Qt::Key_PageDown:
        return 34;
    case Qt::Key_End:
        return 35;
    case Qt::Key_Home:
        return 36;
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Up:
        return TNavigationBar::vkUp;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Down:
        return TNavigationBar::vkDown;
    case Qt::Key_Insert:
        return 45;
    case Qt::Key_Delete:
        return 46;
    default:
        return 0;
    }
}
