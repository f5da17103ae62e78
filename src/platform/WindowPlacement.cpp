#include "WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

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

} // namespace WindowPlacement
