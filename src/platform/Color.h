#pragma once

#include <QColor>

#include <algorithm>
#include <cstdint>

namespace vx {

// 24-bit colour with red in the low byte and blue in the high byte.
using Color = std::uint32_t;

constexpr Color rgb(int red, int green, int blue)
{
    const auto clamp = [](int c) { return static_cast<Color>(std::clamp(c, 0, 255)); };
    return clamp(red) | (clamp(green) << 8) | (clamp(blue) << 16);
}

constexpr int redOf(Color c) { return static_cast<int>(c & 0xFF); }
constexpr int greenOf(Color c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int blueOf(Color c) { return static_cast<int>((c >> 16) & 0xFF); }

inline QColor toQColor(Color c) { return QColor(redOf(c), greenOf(c), blueOf(c)); }
inline Color fromQColor(const QColor &c) { return rgb(c.red(), c.green(), c.blue()); }

// The same colour as an opaque 32-bit pixel of a QImage::Format_RGB32 image.
constexpr std::uint32_t toPixel(Color c)
{
    return 0xFF000000u | (static_cast<std::uint32_t>(redOf(c)) << 16)
        | (static_cast<std::uint32_t>(greenOf(c)) << 8) | static_cast<std::uint32_t>(blueOf(c));
}

} // namespace vx
