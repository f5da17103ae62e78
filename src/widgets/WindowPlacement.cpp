#include "WindowPlacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>

#include <array>
#include <cmath>

namespace WindowPlacement {

void centreOnScreen(QWidget* window)
{
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    // Before the first show the frame is not known yet; the window's own size
    // stands for it then.
    const QSize size = window->isVisible() ? window->frameGeometry().size() : window->size();
    const int left = area.left() + static_cast<int>(std::lround((area.width() - size.width()) / 2.0));
    const int top = area.top() + static_cast<int>(std::lround((area.height() - size.height()) / 2.0));
    window->move(left, top);
}

QPoint clearOf(const QRect& avoid, const QSize& size, const QRect& screen)
{
    const auto inside = [&](QPoint p) {
        p.setX(qBound(screen.left(), p.x(), qMax(screen.left(), screen.right() - size.width() + 1)));
        p.setY(qBound(screen.top(), p.y(), qMax(screen.top(), screen.bottom() - size.height() + 1)));
        return p;
    };
    const QPoint centred = inside(QPoint(screen.x() + (screen.width() - size.width()) / 2,
                                         screen.y() + (screen.height() - size.height()) / 2));
    if (!QRect(centred, size).intersects(avoid))
        return centred;
    const int gap = 8;
    const std::array<QPoint, 4> beside = {
        QPoint(centred.x(), avoid.bottom() + 1 + gap),
        QPoint(centred.x(), avoid.top() - gap - size.height()),
        QPoint(avoid.right() + 1 + gap, centred.y()),
        QPoint(avoid.left() - gap - size.width(), centred.y()),
    };
    for (const QPoint& p : beside) {
        const QPoint placed = inside(p);
        if (!QRect(placed, size).intersects(avoid))
            return placed;
    }
    return centred; // a screen too small to keep clear: centred at least
}

namespace {

class Placer final : public QObject {
public:
    Placer(QWidget* dialog, QWidget* owner) : QObject(dialog), m_owner(owner)
    {
        dialog->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* dialog = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::Show && m_owner) {
            const QWidget* window = m_owner->window();
            QScreen* screen = window->screen();
            if (screen) {
                dialog->adjustSize();
                const QSize size = dialog->frameGeometry().size().expandedTo(dialog->size());
                dialog->move(clearOf(window->frameGeometry(), size, screen->availableGeometry()));
            }
        }
        return false;
    }

private:
    QPointer<QWidget> m_owner;
};

} // namespace

void keepClearOfOwner(QWidget* dialog, QWidget* owner)
{
    if (dialog && owner)
        new Placer(dialog, owner);
}

} // namespace WindowPlacement
