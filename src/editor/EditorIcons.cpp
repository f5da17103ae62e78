#include "EditorIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <array>
#include <cmath>
#include <numbers>

namespace {

const QColor Ink(0x2e, 0x34, 0x36);
const QColor Paper(0xfd, 0xfd, 0xfb);
const QColor Blue(0x34, 0x65, 0xa4);
const QColor LightBlue(0x9e, 0xc2, 0xef);
const QColor Green(0x2e, 0x8b, 0x3a);
const QColor Red(0xcc, 0x22, 0x22);
const QColor Wood(0xb0, 0x7a, 0x3c);
const QColor Grey(0x88, 0x8a, 0x85);

void page(QPainter& p, const QRectF& r)
{
    p.setPen(QPen(Ink, 1));
    p.setBrush(Paper);
    p.drawRect(r);
}

void lines(QPainter& p, const QRectF& r, const QColor& color)
{
    p.setPen(QPen(color, 1));
    for (qreal y = r.top() + 2.5; y < r.bottom() - 1; y += 2)
        p.drawLine(QPointF(r.left() + 2, y), QPointF(r.right() - 2, y));
}

void arrowHead(QPainter& p, QPointF tip, qreal angle, const QColor& color)
{
    const qreal a = 3.2;
    QPolygonF head;
    head << tip
         << tip + QPointF(std::cos(angle + 2.6) * a * 1.3, std::sin(angle + 2.6) * a * 1.3)
         << tip + QPointF(std::cos(angle - 2.6) * a * 1.3, std::sin(angle - 2.6) * a * 1.3);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPolygon(head);
}

// Each picture in a 16 x 16 box.
void paint(QPainter& p, int button)
{
    switch (button) {
    case 1: // copy: two pages
        page(p, QRectF(1.5, 1.5, 8, 10));
        lines(p, QRectF(1.5, 1.5, 8, 10), Grey);
        page(p, QRectF(6.5, 4.5, 8, 10));
        lines(p, QRectF(6.5, 4.5, 8, 10), Blue);
        break;
    case 2: { // cut: scissors
        p.setPen(QPen(Grey, 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(5.5, 10), QPointF(11.5, 1.5));
        p.drawLine(QPointF(10.5, 10), QPointF(4.5, 1.5));
        p.setPen(QPen(Red, 1.6));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(4.5, 12.5), 2.4, 2.4);
        p.drawEllipse(QPointF(11.5, 12.5), 2.4, 2.4);
        break;
    }
    case 3: // paste: a clipboard with a page
        p.setPen(QPen(Ink, 1));
        p.setBrush(Wood);
        p.drawRoundedRect(QRectF(2.5, 2.5, 11, 12.5), 1, 1);
        page(p, QRectF(4.5, 5.5, 7, 8));
        lines(p, QRectF(4.5, 5.5, 7, 8), Blue);
        p.setPen(QPen(Ink, 1));
        p.setBrush(Grey);
        p.drawRect(QRectF(5.5, 1.5, 5, 3));
        break;
    case 4: // save the selection as a file: a page with a marked band, an arrow out
        page(p, QRectF(1.5, 1.5, 9, 13));
        lines(p, QRectF(1.5, 1.5, 9, 13), Grey);
        p.fillRect(QRectF(2.5, 5.5, 7, 4), LightBlue);
        p.setPen(QPen(Blue, 1));
        p.drawLine(QPointF(3.5, 6.5), QPointF(8.5, 6.5));
        p.drawLine(QPointF(3.5, 8.5), QPointF(8.5, 8.5));
        p.setPen(QPen(Green, 2));
        p.drawLine(QPointF(7, 11.5), QPointF(12.5, 11.5));
        arrowHead(p, QPointF(15.5, 11.5), 0, Green);
        break;
    case 5: { // select all: text inside a dashed frame, all marked
        p.fillRect(QRectF(2, 2, 12, 12), LightBlue);
        lines(p, QRectF(2, 2, 12, 12), Blue);
        QPen dashed(Ink, 1, Qt::DashLine);
        dashed.setDashPattern({2, 1.5});
        p.setPen(dashed);
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(1.5, 1.5, 13, 13));
        break;
    }
    case 6: // delete: a red cross
        p.setPen(QPen(Red, 2.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
        p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
        break;
    case 7: { // undo: an arrow turning back to the left
        QPainterPath path(QPointF(13, 13));
        path.cubicTo(QPointF(14.5, 7), QPointF(10, 4.5), QPointF(5, 6));
        p.setPen(QPen(Blue, 2, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
        arrowHead(p, QPointF(1.5, 7.2), std::numbers::pi - 0.3, Blue);
        break;
    }
    case 8: { // settings: a gear
        p.setPen(Qt::NoPen);
        p.setBrush(Grey);
        p.translate(8, 8);
        for (int i = 0; i < 8; ++i) {
            p.drawRect(QRectF(-1.4, -7.3, 2.8, 3.5));
            p.rotate(45);
        }
        p.setPen(QPen(Ink, 0.8));
        p.drawEllipse(QPointF(0, 0), 4.8, 4.8);
        p.setBrush(Paper);
        p.drawEllipse(QPointF(0, 0), 1.9, 1.9);
        p.resetTransform();
        break;
    }
    case 9: { // refresh: a circling arrow
        p.setPen(QPen(Green, 2, Qt::SolidLine, Qt::FlatCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(2.5, 2.5, 11, 11), 100 * 16, 290 * 16);
        arrowHead(p, QPointF(10.8, 1.6), 0.15, Green);
        break;
    }
    case 10: // confirm: a disk
        p.setPen(QPen(Ink, 1));
        p.setBrush(Blue);
        p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 1, 1);
        p.setBrush(Paper);
        p.drawRect(QRectF(3.5, 1.5, 9, 6));
        p.setBrush(Grey);
        p.drawRect(QRectF(4.5, 10.5, 7, 4));
        p.setPen(QPen(Blue, 1));
        p.drawLine(QPointF(5, 3.5), QPointF(11, 3.5));
        p.drawLine(QPointF(5, 5.5), QPointF(11, 5.5));
        break;
    case 11: // leave: a door with an arrow going out
        p.setPen(QPen(Ink, 1));
        p.setBrush(Wood);
        p.drawRect(QRectF(1.5, 1.5, 7, 13));
        p.setPen(QPen(Red, 2));
        p.drawLine(QPointF(6, 8), QPointF(12, 8));
        arrowHead(p, QPointF(15.5, 8), 0, Red);
        break;
    default:
        break;
    }
}

QPixmap render(int button, int side)
{
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(side / 16.0, side / 16.0);
    paint(p, button);
    return pixmap;
}

// Freedesktop names, with a second choice where themes differ.
const std::array<std::array<const char*, 2>, 11> ThemeNames = {{
    {"edit-copy", nullptr},
    {"edit-cut", nullptr},
    {"edit-paste", nullptr},
    {"document-save-as", nullptr},
    {"edit-select-all", nullptr},
    {"edit-delete", nullptr},
    {"edit-undo", nullptr},
    {"preferences-system", "document-properties"},
    {"view-refresh", nullptr},
    {"document-save", nullptr},
    {"application-exit", "system-log-out"},
}};

} // namespace

namespace EditorIcons {

QIcon drawn(int button)
{
    QIcon icon;
    for (const int side : {16, 24, 32, 48})
        icon.addPixmap(render(button, side));
    return icon;
}

QIcon icon(int button)
{
    if (button < 1 || button > int(ThemeNames.size()))
        return {};
    for (const char* name : ThemeNames[std::size_t(button - 1)]) {
        if (name && QIcon::hasThemeIcon(QString::fromLatin1(name)))
            return QIcon::fromTheme(QString::fromLatin1(name));
    }
    return drawn(button);
}

} // namespace EditorIcons
