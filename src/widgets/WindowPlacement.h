#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace WindowPlacement {

// Moves the top-level `window` so that it stands in the middle of its screen:
// left = (screen width - window width) / 2, top likewise, whole pixels. Call
// it once the window has its size; Qt then leaves the position alone on show.
void centreOnScreen(QWidget* window);

// The program's small questions and notices appear centred on the screen as a
// system message box does, but never over the window that asked, which for
// the collector is a 37-pixel square the box would hide.
//
// The top-left corner for a box of `size` on `screen` that stays clear of
// `avoid` where the screen has room: centred when that is clear already,
// else moved just below, above, right of or left of `avoid`.
QPoint clearOf(const QRect& avoid, const QSize& size, const QRect& screen);

// Places `dialog` by clearOf when it is shown, keeping clear of `owner`'s
// window. Does nothing without an owner.
void keepClearOfOwner(QWidget* dialog, QWidget* owner);

} // namespace WindowPlacement
