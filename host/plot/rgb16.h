#pragma once
// RGB16: the fixed 16-colour palette graphs draw their curves in, so a curve keeps
// its colour from run to run and between the plot, its picture and its legend.

#include <QColor>
#include <array>

namespace axis {

/// The classic 16 colours in their usual order (black, maroon, green, olive, navy,
/// purple, teal, silver, grey, red, lime, yellow, blue, fuchsia, aqua, white).
inline constexpr std::array<QRgb, 16> kRgb16 = {
    0xff000000, 0xff800000, 0xff008000, 0xff808000, 0xff000080, 0xff800080, 0xff008080, 0xffc0c0c0,
    0xff808080, 0xffff0000, 0xff00ff00, 0xffffff00, 0xff0000ff, 0xffff00ff, 0xff00ffff, 0xffffffff};

}  // namespace axis

/// The palette colour `index` (taken modulo 16, negative indices count back).
inline QColor RGB16(int index) {
    return QColor::fromRgb(axis::kRgb16[static_cast<size_t>(((index % 16) + 16) % 16)]);
}
