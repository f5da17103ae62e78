#pragma once

#include <QPixmap>

// Quorrel's own picture: a rounded square with an arrow dropping into a tray.
// The collector's face, the window and tray icons and the about window all
// show it, so it is drawn in one place.
namespace QuorrelIcon {

// The picture at `size` x `size` pixels; `highlighted` is the face's look
// while a drag that carries text hovers over it.
QPixmap picture(int size, bool highlighted = false);

} // namespace QuorrelIcon
