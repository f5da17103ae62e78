#pragma once

#include <QFont>

namespace Fonts {

// 宋体 (SimSun) where it is installed, else the Ming-style Noto Serif CJK and
// then the sans CJK faces, so Chinese text never falls back to boxes.
QFont songti(qreal pointSize = 9);

} // namespace Fonts
