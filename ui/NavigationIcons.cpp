#include "ui/NavigationIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace {

using Drawing = std::function<void(QPainter&)>;

// Draws on a 32x32 canvas, at 1x and 2x so the icon stays sharp on dense screens.
QIcon drawnIcon(const Drawing& draw) {
    QIcon icon;
    for (int scale : {1, 2}) {
        QPixmap pixmap(32 * scale, 32 * scale);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(scale, scale);
        draw(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

const QColor outline(40, 40, 60);

// A database: three stacked discs.
void dataSource(QPainter& p) {
    p.setPen(QPen(outline, 1.5));
    QColor body(70, 130, 200);
    for (int i = 2; i >= 0; --i) {
        QRectF band(5, 6 + i * 7, 22, 8);
        QPainterPath side;
        side.addRect(5, 10 + i * 7, 22, 4);
        p.fillPath(side, body.darker(110 + i * 10));
        p.setBrush(body.lighter(120 - i * 10));
        p.drawEllipse(band.translated(0, 4));
        p.drawLine(QPointF(5, 14 + i * 7), QPointF(5, 10 + i * 7));
        p.drawLine(QPointF(27, 14 + i * 7), QPointF(27, 10 + i * 7));
    }
    p.setBrush(body.lighter(140));
    p.drawEllipse(QRectF(5, 6, 22, 8));
}

// A grid with a header row and a row-number column.
void dataGrid(QPainter& p) {
    QRectF sheet(3, 5, 26, 22);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(sheet);
    p.setBrush(QColor(200, 210, 225));
    p.drawRect(QRectF(3, 5, 26, 5));
    p.drawRect(QRectF(3, 5, 7, 22));
    p.setPen(QPen(outline, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(sheet);
    for (double y : {10.0, 14.25, 18.5, 22.75})
        p.drawLine(QPointF(3, y), QPointF(29, y));
    for (double x : {10.0, 16.5, 23.0})
        p.drawLine(QPointF(x, 5), QPointF(x, 27));
}

// Two pencils meeting on one row: a concurrent edit.
void editConflict(QPainter& p) {
    p.setPen(QPen(outline, 1));
    p.setBrush(QColor(250, 250, 250));
    p.drawRect(QRectF(4, 13, 24, 6));
    auto pencil = [&](double angle, const QColor& colour) {
        p.save();
        p.translate(16, 16);
        p.rotate(angle);
        p.setBrush(colour);
        p.drawRect(QRectF(-3, -15, 6, 10));
        p.setBrush(QColor(240, 210, 160));
        QPolygonF tip;
        tip << QPointF(-3, -5) << QPointF(3, -5) << QPointF(0, 0);
        p.drawPolygon(tip);
        p.restore();
    };
    pencil(-35, QColor(220, 70, 60));
    pencil(35, QColor(60, 150, 80));
    p.setPen(QPen(QColor(220, 40, 40), 2.5));
    p.drawLine(QPointF(13, 21), QPointF(19, 27));
    p.drawLine(QPointF(19, 21), QPointF(13, 27));
}

// An "i" in a blue disc.
void information(QPainter& p) {
    p.setPen(QPen(outline, 1));
    p.setBrush(QColor(50, 110, 200));
    p.drawEllipse(QRectF(3, 3, 26, 26));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(14, 7.5, 4, 4));
    p.drawRoundedRect(QRectF(14, 13.5, 4, 11), 1, 1);
}

// A question mark in a green disc.
void about(QPainter& p) {
    p.setPen(QPen(outline, 1));
    p.setBrush(QColor(60, 160, 90));
    p.drawEllipse(QRectF(3, 3, 26, 26));
    QFont font;
    font.setBold(true);
    font.setPixelSize(20);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(3, 3, 26, 26), Qt::AlignCenter, QStringLiteral("?"));
}

} // namespace

QList<QIcon> navigationIcons() {
    return {drawnIcon(dataSource), drawnIcon(dataGrid), drawnIcon(editConflict),
            drawnIcon(information), drawnIcon(about)};
}
