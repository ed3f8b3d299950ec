#include "platform/Surface.h"

#include "platform/Rounding.h"

#include <QPainter>
#include <QTextLayout>
#include <QTextOption>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace vx {

namespace {

// 96 dots per inch, so point sizes come out as on the desktop the layout was made for.
constexpr int dotsPerMeter96 = 3780;

QImage makeImage(int width, int height, qreal dpr, Color fill)
{
    const int pw = std::max(1, toInt32(width * dpr));
    const int ph = std::max(1, toInt32(height * dpr));
    QImage image(pw, ph, QImage::Format_RGB32);
    image.setDevicePixelRatio(dpr);
    // Logical resolution: the painter scales by the pixel ratio itself, so fonts keep their logical size.
    image.setDotsPerMeterX(dotsPerMeter96);
    image.setDotsPerMeterY(dotsPerMeter96);
    image.fill(toPixel(fill));
    return image;
}

int toPx(double v) { return toInt32(v); }

} // namespace

Surface::Surface(int width, int height, qreal devicePixelRatio)
    : width_(std::max(1, width))
    , height_(std::max(1, height))
    , dpr_(devicePixelRatio > 0 ? devicePixelRatio : 1.0)
    // backColor_ is declared after image_, so it is not set yet here.
    , image_(makeImage(width_, height_, dpr_, rgb(0, 0, 0)))
{
}

void Surface::resize(int width, int height)
{
    width = std::max(1, width);
    height = std::max(1, height);
    if (width == width_ && height == height_)
        return;
    painter_.reset();
    QImage next = makeImage(width, height, dpr_, backColor_);
    {
        QPainter p(&next);
        p.drawImage(QPointF(0, 0), image_);
    }
    image_ = std::move(next);
    width_ = width;
    height_ = height;
}

void Surface::setDevicePixelRatio(qreal dpr)
{
    if (dpr <= 0 || dpr == dpr_)
        return;
    painter_.reset();
    QImage next = makeImage(width_, height_, dpr, backColor_);
    {
        QPainter p(&next);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(QRectF(0, 0, width_, height_), image_);
    }
    image_ = std::move(next);
    dpr_ = dpr;
    fonts_.clear();
    texts_.clear();
    fontChanged();
}

void Surface::setBackColor(Color c)
{
    backColor_ = c;
    cls();
}

void Surface::setFontName(const QString &name)
{
    if (name != fontName_) {
        fontName_ = name;
        fontChanged();
    }
}

void Surface::setFontSize(double points)
{
    if (points > 0 && points != fontSize_) {
        fontSize_ = points;
        fontChanged();
    }
}

void Surface::setFontBold(bool on)
{
    if (on != bold_) {
        bold_ = on;
        fontChanged();
    }
}

void Surface::setFontItalic(bool on)
{
    if (on != italic_) {
        italic_ = on;
        fontChanged();
    }
}

QFont Surface::font() const
{
    return fontEntry().font;
}

const Surface::FontEntry &Surface::fontEntry() const
{
    if (current_ >= 0)
        return fonts_[static_cast<std::size_t>(current_)];
    for (std::size_t i = 0; i < fonts_.size(); ++i) {
        const FontEntry &e = fonts_[i];
        if (e.size == fontSize_ && e.bold == bold_ && e.italic == italic_ && e.name == fontName_) {
            current_ = static_cast<int>(i);
            return e;
        }
    }
    // The growing glyph walks through a few dozen sizes; past that, start over rather than grow.
    constexpr std::size_t maxFonts = 64;
    if (fonts_.size() >= maxFonts) {
        fonts_.clear();
        texts_.clear();
    }
    QFont f(fontName_);
    f.setPointSizeF(fontSize_);
    f.setBold(bold_);
    f.setItalic(italic_);
    const QFontMetricsF metrics(f, &image_);
    fonts_.push_back(FontEntry{fontName_, fontSize_, bold_, italic_, f, metrics, metrics.ascent(), metrics.height()});
    current_ = static_cast<int>(fonts_.size() - 1);
    return fonts_.back();
}

QPainter &Surface::painter()
{
    if (!painter_)
        painter_ = std::make_unique<QPainter>(&image_);
    return *painter_;
}

const QPen &Surface::pen(Color color)
{
    for (const auto &[c, p] : pens_)
        if (c == color)
            return p;
    // The growing glyph fades through many colours; past a few dozen, start over rather than grow.
    constexpr std::size_t maxPens = 32;
    if (pens_.size() >= maxPens)
        pens_.clear();
    return pens_.emplace_back(color, QPen(toQColor(color))).second;
}

void Surface::beforeWrite()
{
    // A write into an image that someone else shares makes it a copy of its own, under the painter's feet.
    if (painter_ && !image_.isDetached())
        painter_.reset();
}

void Surface::cls()
{
    beforeWrite();
    image_.fill(toPixel(backColor_));
    currentX = 0;
    currentY = 0;
}

const Surface::PreparedText &Surface::prepared(const QString &text) const
{
    const FontEntry &f = fontEntry();
    ++uses_;
    for (PreparedText &t : texts_) {
        if (t.font == current_ && t.text == text) {
            t.lastUse = uses_;
            return t;
        }
    }
    // Each pass prints a handful of texts; the few that change make room by pushing out the oldest.
    constexpr std::size_t maxTexts = 24;
    PreparedText *slot = nullptr;
    if (texts_.size() < maxTexts) {
        slot = &texts_.emplace_back();
    } else {
        slot = &*std::min_element(texts_.begin(), texts_.end(),
                                  [](const PreparedText &a, const PreparedText &b) { return a.lastUse < b.lastUse; });
    }
    QTextLayout layout(text, f.font, &image_);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();
    QList<QGlyphRun> runs = line.isValid() ? line.glyphRuns() : QList<QGlyphRun>();
    // The layout puts its baseline at the line's ascent; the pen's baseline is the metrics' ascent.
    const double shift = line.isValid() ? f.ascent - line.ascent() : 0;
    for (QGlyphRun &run : runs) {
        QList<QPointF> places = run.positions();
        for (QPointF &p : places)
            p.ry() += shift;
        run.setPositions(places);
    }
    *slot = PreparedText{text, current_, std::move(runs), f.metrics.horizontalAdvance(text), uses_};
    return *slot;
}

double Surface::textWidth(const QString &text) const
{
    return prepared(text).width;
}

double Surface::textHeight(const QString &) const
{
    // One line of the font, whatever the text: what a print with line end moves down by.
    return fontEntry().height;
}

void Surface::print(const QString &text, bool lineEnd)
{
    const double h = textHeight();
    // Scaled, prepared glyphs land a fraction off where the text itself would, so there the text is
    // laid out afresh, and measured (shaping it a second time) only when the width is used.
    const bool prepare = dpr_ == 1.0;
    const bool needWidth = !lineEnd || !fontTransparent;
    const PreparedText *t = !text.isEmpty() && (prepare || needWidth) ? &prepared(text) : nullptr;
    const double w = t ? t->width : 0;
    if (!text.isEmpty()) {
        beforeWrite();
        QPainter &p = painter();
        if (!fontTransparent)
            p.fillRect(QRectF(currentX, currentY, w, h), toQColor(backColor_));
        p.setPen(pen(foreColor));
        if (prepare) {
            for (const QGlyphRun &run : t->runs)
                p.drawGlyphRun(QPointF(currentX, currentY), run);
        } else {
            p.setFont(fontEntry().font);
            p.drawText(QPointF(currentX, currentY + fontEntry().ascent), text);
        }
    }
    if (lineEnd) {
        currentX = 0;
        currentY += h;
    } else {
        currentX += w;
    }
}

void Surface::fillPhysical(int x0, int y0, int x1, int y1, Color color)
{
    if (x1 <= x0 || y1 <= y0)
        return;
    const QRect r = toPhysical(x0, y0, x1 - x0, y1 - y0).intersected(image_.rect());
    if (r.isEmpty())
        return;
    beforeWrite();
    const std::uint32_t px = toPixel(color);
    for (int y = r.top(); y <= r.bottom(); ++y) {
        auto *row = reinterpret_cast<std::uint32_t *>(image_.scanLine(y));
        std::fill(row + r.left(), row + r.left() + r.width(), px);
    }
}

QRect Surface::toPhysical(int x, int y, int w, int h) const
{
    const int px0 = toInt32(x * dpr_);
    const int py0 = toInt32(y * dpr_);
    const int px1 = toInt32((static_cast<double>(x) + w) * dpr_);
    const int py1 = toInt32((static_cast<double>(y) + h) * dpr_);
    return QRect(QPoint(px0, py0), QPoint(px1 - 1, py1 - 1));
}

void Surface::line(double x, double y, double dx, double dy, Color color)
{
    const int x0 = toPx(x), y0 = toPx(y), x1 = toPx(x + dx), y1 = toPx(y + dy);
    if (x0 == x1 && y0 == y1)
        return;
    if (x0 == x1) {
        if (y1 > y0)
            fillPhysical(x0, y0, x0 + 1, y1, color);
        else
            fillPhysical(x0, y1 + 1, x0 + 1, y0 + 1, color);
        return;
    }
    if (y0 == y1) {
        if (x1 > x0)
            fillPhysical(x0, y0, x1, y0 + 1, color);
        else
            fillPhysical(x1 + 1, y0, x0 + 1, y0 + 1, color);
        return;
    }
    // A slanted line steps pixel by pixel, so it stays crisp at any pixel ratio and, like the
    // straight ones, stops short of its end point.
    const int ax = std::abs(x1 - x0), ay = std::abs(y1 - y0);
    const int sx = x1 > x0 ? 1 : -1, sy = y1 > y0 ? 1 : -1;
    int err = ax - ay;
    for (int x = x0, y = y0; x != x1 || y != y1;) {
        fillPhysical(x, y, x + 1, y + 1, color);
        const int e2 = 2 * err;
        if (e2 > -ay) {
            err -= ay;
            x += sx;
        }
        if (e2 < ax) {
            err += ax;
            y += sy;
        }
    }
}

void Surface::box(double x, double y, double dx, double dy, Color color)
{
    const int x0 = std::min(toPx(x), toPx(x + dx)), x1 = std::max(toPx(x), toPx(x + dx));
    const int y0 = std::min(toPx(y), toPx(y + dy)), y1 = std::max(toPx(y), toPx(y + dy));
    fillPhysical(x0, y0, x1 + 1, y0 + 1, color);
    fillPhysical(x0, y1, x1 + 1, y1 + 1, color);
    fillPhysical(x0, y0, x0 + 1, y1 + 1, color);
    fillPhysical(x1, y0, x1 + 1, y1 + 1, color);
}

void Surface::filledBox(double x, double y, double dx, double dy, Color color)
{
    const int x0 = std::min(toPx(x), toPx(x + dx)), x1 = std::max(toPx(x), toPx(x + dx));
    const int y0 = std::min(toPx(y), toPx(y + dy)), y1 = std::max(toPx(y), toPx(y + dy));
    fillPhysical(x0, y0, x1 + 1, y1 + 1, color);
}

namespace {

// Clips a transfer of a w × h block from (sx, sy) in a source of size sw × sh
// to (dx, dy) in a destination of size dw × dh; false when nothing is left.
bool clipTransfer(int &dx, int &dy, int &w, int &h, int &sx, int &sy, int dw, int dh, int sw, int sh)
{
    if (sx < 0) { dx -= sx; w += sx; sx = 0; }
    if (sy < 0) { dy -= sy; h += sy; sy = 0; }
    if (dx < 0) { sx -= dx; w += dx; dx = 0; }
    if (dy < 0) { sy -= dy; h += dy; dy = 0; }
    w = std::min({w, dw - dx, sw - sx});
    h = std::min({h, dh - dy, sh - sy});
    return w > 0 && h > 0;
}

} // namespace

void Surface::bitBlt(int x, int y, int w, int h, RasterOp op, const Surface *src, int sx, int sy)
{
    if (w <= 0 || h <= 0)
        return;
    if (op == RasterOp::Blackness) {
        fillPhysical(x, y, x + w, y + h, rgb(0, 0, 0));
        return;
    }
    if (!src)
        return;
    const QRect d = toPhysical(x, y, w, h);
    const QRect s = src->toPhysical(sx, sy, w, h);
    int dx = d.left(), dy = d.top(), pw = d.width(), ph = d.height(), psx = s.left(), psy = s.top();
    if (!clipTransfer(dx, dy, pw, ph, psx, psy, image_.width(), image_.height(), src->image_.width(),
                      src->image_.height()))
        return;
    beforeWrite();
    const bool same = src == this;
    const auto *srcImage = &src->image_;
    const std::size_t bytes = static_cast<std::size_t>(pw) * sizeof(std::uint32_t);
    // Overlapping copies within one image run bottom-up when moving down, so rows are read before written.
    const bool bottomUp = same && dy > psy;
    for (int i = 0; i < ph; ++i) {
        const int row = bottomUp ? ph - 1 - i : i;
        auto *out = reinterpret_cast<std::uint32_t *>(image_.scanLine(dy + row)) + dx;
        const auto *in = reinterpret_cast<const std::uint32_t *>(srcImage->constScanLine(psy + row)) + psx;
        if (op == RasterOp::SrcCopy) {
            std::memmove(out, in, bytes);
        } else {
            for (int k = 0; k < pw; ++k)
                out[k] &= in[k] | 0xFF000000u;
        }
    }
}

void Surface::bitBlt(int x, int y, int w, int h, const MonoSnapshot &src, int sx, int sy)
{
    if (w <= 0 || h <= 0)
        return;
    const QRect d = toPhysical(x, y, w, h);
    const int psx0 = toInt32(sx * src.devicePixelRatio());
    const int psy0 = toInt32(sy * src.devicePixelRatio());
    int dx = d.left(), dy = d.top(), pw = d.width(), ph = d.height(), psx = psx0, psy = psy0;
    if (!clipTransfer(dx, dy, pw, ph, psx, psy, image_.width(), image_.height(), src.bits().width(),
                      src.bits().height()))
        return;
    beforeWrite();
    const QImage &pixels = src.pixels(toPixel(foreColor), toPixel(backColor_));
    const std::size_t bytes = static_cast<std::size_t>(pw) * sizeof(std::uint32_t);
    for (int row = 0; row < ph; ++row)
        std::memcpy(reinterpret_cast<std::uint32_t *>(image_.scanLine(dy + row)) + dx,
                    reinterpret_cast<const std::uint32_t *>(pixels.constScanLine(psy + row)) + psx, bytes);
}

const QImage &MonoSnapshot::pixels(std::uint32_t on, std::uint32_t off) const
{
    if (!pixels_.isNull() && on == pixelsOn_ && off == pixelsOff_)
        return pixels_;
    if (pixels_.isNull())
        pixels_ = QImage(bits_.size(), QImage::Format_RGB32);
    for (int y = 0; y < bits_.height(); ++y) {
        auto *out = reinterpret_cast<std::uint32_t *>(pixels_.scanLine(y));
        const uchar *in = bits_.constScanLine(y);
        for (int x = 0; x < bits_.width(); ++x)
            out[x] = (in[x >> 3] & (0x80 >> (x & 7))) ? on : off;
    }
    pixelsOn_ = on;
    pixelsOff_ = off;
    return pixels_;
}

MonoSnapshot::MonoSnapshot(const Surface &src, int w, int h)
    : width_(std::max(1, w))
    , height_(std::max(1, h))
    , dpr_(src.devicePixelRatio())
    , bits_(std::max(1, toInt32(width_ * dpr_)), std::max(1, toInt32(height_ * dpr_)), QImage::Format_Mono)
{
    bits_.fill(0);
    const int pw = std::min(bits_.width(), src.image().width());
    const int ph = std::min(bits_.height(), src.image().height());
    for (int y = 0; y < ph; ++y) {
        const auto *in = reinterpret_cast<const std::uint32_t *>(src.image().constScanLine(y));
        uchar *out = bits_.scanLine(y);
        for (int x = 0; x < pw; ++x) {
            const std::uint32_t p = in[x];
            const int luma = (static_cast<int>((p >> 16) & 0xFF) * 299 + static_cast<int>((p >> 8) & 0xFF) * 587
                              + static_cast<int>(p & 0xFF) * 114) / 1000;
            if (luma >= 128)
                out[x >> 3] |= static_cast<uchar>(0x80 >> (x & 7));
        }
    }
}

} // namespace vx
