#pragma once

#include <QFont>

namespace Fonts {

// "宋体" (SimSun) at `points`, falling back to the CJK serif and sans faces
// that Linux desktops ship, so Chinese text never renders as empty boxes
// where SimSun is not installed.
QFont songTi(qreal points);

} // namespace Fonts
