#pragma once
// A push button whose caption wraps onto further lines where it is wider than the button, so
// that a button of a fixed width shows its whole caption in the window's font, whatever size
// the desktop gives it. Otherwise it is a plain QPushButton: same look, same '&' mnemonic.

#include <QPushButton>

class TWrappingButton : public QPushButton {
    Q_OBJECT

public:
    using QPushButton::QPushButton;

    // The height the whole caption needs at this width, with the room around its lines that
    // one line has in a button of the least height (minimumHeight(), or the style's own).
    int heightForWidth(int width) const override;
    bool hasHeightForWidth() const override { return true; }

    // Where the caption is drawn within a button of this size.
    QRect captionRect(const QSize& size) const;
    // The flags the caption is drawn with.
    int captionFlags() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};
