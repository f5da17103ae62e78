#include "QuorrelIcon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace QuorrelIcon {

QPixmap picture(int size, bool highlighted)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;

    QLinearGradient fill(0, 0, 0, s);
    if (highlighted) {
        fill.setColorAt(0, QColor(0xff, 0xb3, 0x40));
        fill.setColorAt(1, QColor(0xf5, 0x7c, 0x00));
    } else {
        fill.setColorAt(0, QColor(0x42, 0x8b, 0xf5));
        fill.setColorAt(1, QColor(0x1a, 0x5f, 0xc8));
    }
    p.setPen(QPen(QColor(255, 255, 255, 200), qMax(1.0, s / 28)));
    p.setBrush(fill);
    const qreal inset = s * 0.04;
    p.drawRoundedRect(QRectF(inset, inset, s - 2 * inset, s - 2 * inset), s * 0.22, s * 0.22);

    // An open tray with an arrow dropping into it.
    const qreal w = qMax(1.5, s / 14);
    p.setPen(QPen(Qt::white, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    QPainterPath tray;
    tray.moveTo(s * 0.24, s * 0.56);
    tray.lineTo(s * 0.24, s * 0.74);
    tray.lineTo(s * 0.76, s * 0.74);
    tray.lineTo(s * 0.76, s * 0.56);
    p.drawPath(tray);
    p.drawLine(QPointF(s * 0.5, s * 0.22), QPointF(s * 0.5, s * 0.58));
    QPainterPath head;
    head.moveTo(s * 0.36, s * 0.45);
    head.lineTo(s * 0.5, s * 0.59);
    head.lineTo(s * 0.64, s * 0.45);
    p.drawPath(head);
    return pixmap;
}

} // namespace QuorrelIcon
