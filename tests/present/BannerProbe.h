#pragma once

// Helpers for looking at banners: a screen that keeps every picture it was asked to present,
// and the picture a resting banner text must make.

#include "platform/Color.h"
#include "platform/Platform.h"
#include "platform/Rounding.h"
#include "platform/Surface.h"
#include "present/Module1.h"

#include <QImage>
#include <QRect>
#include <QString>

#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

namespace vx::test {

inline constexpr std::uint32_t whitePixel = toPixel(rgb(255, 255, 255));
inline constexpr std::uint32_t blackPixel = toPixel(rgb(0, 0, 0));

// One presented picture and when it was asked for.
struct Frame {
    std::uint32_t tick;
    QImage image;
};

// A bare banner screen: a retained image, a platform, and a record of every refresh.
class ScreenDouble final : public BannerScreen {
public:
    explicit ScreenDouble(Platform &platform, int width = 366, int height = 107, qreal dpr = 1.0)
        : platform_(platform)
        , surface_(width, height, dpr)
    {
    }

    Surface &surface() override { return surface_; }
    bool refresh() override
    {
        frames.push_back({platform_.tickCount(), surface_.image().copy()});
        if (onRefresh)
            onRefresh();
        return answers;
    }
    Platform &platform() override { return platform_; }

    // False: the screen no longer answers (every refresh fails).
    bool answers = true;
    std::vector<Frame> frames;
    std::function<void()> onRefresh;

private:
    Platform &platform_;
    Surface surface_;
};

// Where a banner of `text` lays itself out on a surface of this size, measured in its own font.
struct BannerGeometry {
    std::int32_t W, H, w, X, Y, half;
};

inline void setBannerFont(Surface &s)
{
    s.setFontName(QStringLiteral("Times New Roman"));
    s.setFontSize(32);
    s.setFontBold(true);
    s.setFontItalic(true);
}

inline BannerGeometry bannerGeometry(const QString &text, int W, int H, qreal dpr = 1.0)
{
    Surface s(W, H, dpr);
    setBannerFont(s);
    BannerGeometry g{};
    g.W = W;
    g.H = H;
    g.w = toInt32(s.textWidth(text));
    g.X = toInt32((W - g.w) / 2.0);
    g.Y = toInt32((H - s.textHeight(text)) / 2.0);
    g.half = toInt32(g.w / 2.0);
    return g;
}

// The text's ink as a banner's snapshot holds it: printed white at (0, Y), cut to W × H,
// a pixel counting as ink when brighter than mid-grey. Physical pixels, row-major.
struct InkMask {
    int width = 0;
    int height = 0;
    std::vector<bool> ink;
    bool at(int x, int y) const
    {
        return x >= 0 && y >= 0 && x < width && y < height && ink[static_cast<std::size_t>(y) * width + x];
    }
};

inline InkMask textInk(const QString &text, int surfaceWidth, int textSpan, int H, int Y, qreal dpr = 1.0)
{
    // Printed on a wide enough scratch surface, so a caller can see what lies past the banner's W.
    Surface s(std::max(surfaceWidth, textSpan), H, dpr);
    s.setBackColor(rgb(0, 0, 0));
    setBannerFont(s);
    s.foreColor = rgb(255, 255, 255);
    s.currentX = 0;
    s.currentY = Y;
    s.print(text);
    const QImage &img = s.image();
    InkMask m;
    m.width = img.width();
    m.height = img.height();
    m.ink.resize(static_cast<std::size_t>(m.width) * m.height);
    for (int y = 0; y < m.height; ++y) {
        const auto *row = reinterpret_cast<const std::uint32_t *>(img.constScanLine(y));
        for (int x = 0; x < m.width; ++x) {
            const std::uint32_t p = row[x];
            const int luma = (static_cast<int>((p >> 16) & 0xFF) * 299 + static_cast<int>((p >> 8) & 0xFF) * 587
                              + static_cast<int>(p & 0xFF) * 114)
                / 1000;
            m.ink[static_cast<std::size_t>(y) * m.width + x] = luma >= 128;
        }
    }
    return m;
}

// Pixels of `image` that differ from the mask's first `snapWidth` columns placed at (dx, dy),
// white on black. 0 means the image is exactly that picture.
inline int mismatches(const QImage &image, const InkMask &mask, int snapWidth, int dx, int dy)
{
    int bad = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto *row = reinterpret_cast<const std::uint32_t *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int sx = x - dx;
            const bool ink = sx < snapWidth && mask.at(sx, y - dy);
            if (row[x] != (ink ? whitePixel : blackPixel))
                ++bad;
        }
    }
    return bad;
}

// Bounding box of the white pixels; empty when there are none.
inline QRect inkBox(const QImage &image)
{
    int x0 = image.width(), y0 = image.height(), x1 = -1, y1 = -1;
    for (int y = 0; y < image.height(); ++y) {
        const auto *row = reinterpret_cast<const std::uint32_t *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (row[x] == whitePixel) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
                y0 = std::min(y0, y);
                y1 = std::max(y1, y);
            }
        }
    }
    return x1 < 0 ? QRect() : QRect(QPoint(x0, y0), QPoint(x1, y1));
}

inline bool allBlack(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y) {
        const auto *row = reinterpret_cast<const std::uint32_t *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (row[x] != blackPixel)
                return false;
    }
    return true;
}

// How long the phases of a banner take by their rules, in ms.
inline double slideInMs(const BannerGeometry &g) { return 20.0 * std::sqrt(g.W - g.X + 10.0); }
inline double dropMs(const BannerGeometry &g) { return g.H; }
inline double slideOutMs(const BannerGeometry &g) { return 10.0 * std::sqrt(std::max(0, g.X + g.w)); }

} // namespace vx::test
