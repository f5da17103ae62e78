#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

// Where the program's small questions and notices appear: centred on the
// screen as a system message box is, but never over the window that asked,
// which for the collector is a 37-pixel square the box would hide.
namespace DialogPlacement {

// The top-left corner for a box of `size` on `screen` that stays clear of
// `avoid` where the screen has room: centred when that is clear already,
// else moved just below, above, right of or left of `avoid`.
QPoint clearOf(const QRect& avoid, const QSize& size, const QRect& screen);

// Places `dialog` by clearOf when it is shown, keeping clear of `owner`'s
// window. Does nothing without an owner.
void keepClearOfOwner(QWidget* dialog, QWidget* owner);

} // namespace DialogPlacement
