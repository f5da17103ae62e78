#pragma once

#include <QtGlobal>

#include <cmath>

// Stored positions and sizes are twips, 1/1440 inch; the screen works in
// logical pixels.
namespace Twips {

constexpr double PerInch = 1440.0;

inline int toPixels(double twips, double dpi)
{
    return static_cast<int>(std::lround(twips * dpi / PerInch));
}

inline double fromPixels(int pixels, double dpi)
{
    return pixels * PerInch / dpi;
}

} // namespace Twips
