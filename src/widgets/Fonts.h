#pragma once

#include <QFont>
#include <QStringList>

namespace Fonts {

// "宋体" at `pointSize` points. Where it is not installed (it rarely is on
// Linux) the first installed of its usual stand-ins takes its place: SimSun
// under its Latin name, then the Song-style Noto Serif CJK SC, then other CJK
// families, so Chinese never falls back to boxes.
QFont songti(qreal pointSize);

// The candidates above, in the order they are tried.
QStringList songtiFamilies();

} // namespace Fonts
