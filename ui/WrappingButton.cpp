#include "ui/WrappingButton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

#include <algorithm>

namespace {

// Tall enough for any caption a button shows; only the width matters when measuring.
constexpr int measuringHeight = 10000;

} // namespace

int TWrappingButton::captionFlags() const {
    QStyleOptionButton option;
    initStyleOption(&option);
    int flags = Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
    if (!style()->styleHint(QStyle::SH_UnderlineShortcut, &option, this)) {
        flags |= Qt::TextHideMnemonic;
    }
    return flags;
}

QRect TWrappingButton::captionRect(const QSize& size) const {
    QStyleOptionButton option;
    initStyleOption(&option);
    option.rect = QRect(QPoint(0, 0), size);
    return style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
}

int TWrappingButton::heightForWidth(int width) const {
    // The caption's lines get the room around them that one line has in a button of the
    // least height (the style's, or a larger one the owner set).
    const QRect tall = captionRect(QSize(width, measuringHeight));
    const QRect lines = fontMetrics().boundingRect(QRect(0, 0, tall.width(), measuringHeight),
                                                   captionFlags(), text());
    const int oneLine = std::max(sizeHint().height(), minimumHeight());
    return std::max(oneLine, lines.height() + oneLine - fontMetrics().height());
}

void TWrappingButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    // The style draws the button without its caption, which is then drawn wrapped in the
    // place and colours the style would give a caption of one line.
    const QString caption = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    QRect area = captionRect(size());
    if (option.state & (QStyle::State_Sunken | QStyle::State_On)) {
        area.translate(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this),
                       style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this));
    }
    style()->drawItemText(&painter, area, captionFlags(), option.palette, isEnabled(), caption,
                          QPalette::ButtonText);
}
