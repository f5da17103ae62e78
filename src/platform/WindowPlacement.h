#pragma once

class QWidget;

namespace WindowPlacement {

// Moves the top-level `window` so that it stands in the middle of its screen:
// left = (screen width - window width) / 2, top likewise, whole pixels. Call
// it once the window has its size; Qt then leaves the position alone on show.
void centreOnScreen(QWidget* window);

} // namespace WindowPlacement
