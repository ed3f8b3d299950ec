#pragma once

#include "platform/Color.h"

#include <QFont>
#include <QGlyphRun>
#include <QList>
#include <QPainter>
#include <QPen>
#include <QFontMetricsF>
#include <QImage>
#include <QString>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace vx {

enum class RasterOp { SrcCopy, Blackness, SrcAnd };

class MonoSnapshot;

// A retained image with the drawing state of a classic form or picture box.
// Coordinates are logical pixels; the image itself is kept at the device pixel ratio.
class Surface {
public:
    Surface(int width = 1, int height = 1, qreal devicePixelRatio = 1.0);

    int scaleWidth() const { return width_; }
    int scaleHeight() const { return height_; }
    qreal devicePixelRatio() const { return dpr_; }

    // Keeps the top-left content; new area takes the background colour.
    void resize(int width, int height);
    void setDevicePixelRatio(qreal dpr);

    const QImage &image() const { return image_; }

    // Drawing state.
    double currentX = 0;
    double currentY = 0;
    Color foreColor = rgb(0, 0, 0);
    bool fontTransparent = true;

    Color backColor() const { return backColor_; }
    // Like the classic controls: a new background colour also clears the image.
    void setBackColor(Color c);

    QString fontName() const { return fontName_; }
    double fontSize() const { return fontSize_; }
    bool fontBold() const { return bold_; }
    bool fontItalic() const { return italic_; }
    void setFontName(const QString &name);
    void setFontSize(double points);
    void setFontBold(bool on);
    void setFontItalic(bool on);
    QFont font() const;

    void cls();
    void print(const QString &text, bool lineEnd = true);
    // Start point and extent; a line leaves out its end point, boxes include both corners.
    void line(double x, double y, double dx, double dy, Color color);
    void box(double x, double y, double dx, double dy, Color color);
    void filledBox(double x, double y, double dx, double dy, Color color);
    double textWidth(const QString &text) const;
    double textHeight(const QString &text = QStringLiteral("I")) const;

    // Block transfers, clipped at both images' edges.
    void bitBlt(int x, int y, int w, int h, RasterOp op, const Surface *src = nullptr, int sx = 0, int sy = 0);
    void bitBlt(int x, int y, int w, int h, const MonoSnapshot &src, int sx, int sy);

private:
    friend class MonoSnapshot;
    // A font and its metrics, made once per face and size: passes switch sizes back and forth.
    struct FontEntry {
        QString name;
        double size;
        bool bold;
        bool italic;
        QFont font;
        QFontMetricsF metrics;
        // Asked for by every print; the metrics would ask the font engines each time.
        double ascent;
        double height;
    };
    // A text shaped once in one font: its glyphs at their places from the pen position, and its width.
    struct PreparedText {
        QString text;
        int font;
        QList<QGlyphRun> runs;
        double width;
        std::uint64_t lastUse;
    };
    const FontEntry &fontEntry() const;
    const PreparedText &prepared(const QString &text) const;
    void fontChanged() { current_ = -1; }
    void fillPhysical(int x0, int y0, int x1, int y1, Color color); // logical, end-exclusive
    QRect toPhysical(int x, int y, int w, int h) const;

    int width_;
    int height_;
    qreal dpr_;
    QImage image_;
    Color backColor_ = rgb(0, 0, 0);
    QString fontName_ = QStringLiteral("Arial");
    double fontSize_ = 9;
    bool bold_ = false;
    bool italic_ = false;
    mutable std::vector<FontEntry> fonts_;
    mutable int current_ = -1;
    mutable std::vector<PreparedText> texts_;
    mutable std::uint64_t uses_ = 0;
    // One painter for the texts of a pass, kept while nothing else writes into a shared image.
    // Declared after image_, so it ends before the image goes.
    std::unique_ptr<QPainter> painter_;
    QPainter &painter();
    // Pens made once per colour: making one allocates, and passes print in the same few colours.
    std::vector<std::pair<Color, QPen>> pens_;
    const QPen &pen(Color color);
    void beforeWrite();
};

// A one-bit copy of a surface: set bits are the surface's foreground, clear bits its background.
class MonoSnapshot {
public:
    // A w × h snapshot of src from (0, 0); pixels brighter than mid-grey become set bits.
    MonoSnapshot(const Surface &src, int w, int h);
    int width() const { return width_; }
    int height() const { return height_; }
    qreal devicePixelRatio() const { return dpr_; }
    const QImage &bits() const { return bits_; }
    // The snapshot as whole pixels in these two colours, made once per pair, so copies are row copies.
    const QImage &pixels(std::uint32_t on, std::uint32_t off) const;

private:
    int width_;
    int height_;
    qreal dpr_;
    QImage bits_;
    mutable QImage pixels_;
    mutable std::uint32_t pixelsOn_ = 0;
    mutable std::uint32_t pixelsOff_ = 0;
};

} // namespace vx
