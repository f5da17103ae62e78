#pragma once

#include <QString>

// The one question the program asks the desktop: which window the user is
// working in. Taken when a drag enters the collector and when `quorrel
// --collect` runs, its title names the page the text comes from.
namespace ActiveWindow {

// The title of the active top-level window (_NET_ACTIVE_WINDOW; where no
// window manager keeps it, the window holding the input focus), or "" when
// it cannot be told: not on X11 (Wayland, offscreen), no such window, one
// that is hidden or not mapped, or one of this program's own.
QString title();

} // namespace ActiveWindow
