#include "platform/Surface.h"
#include "platform/SurfaceView.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPaintEvent>
#include <QRegion>
#include <QWindow>
#include <QImage>

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <utility>
#include <vector>

namespace vx {
namespace {

using Point = std::pair<int, int>;
using PointSet = std::set<Point>;

Color pixelAt(const Surface &s, int px, int py)
{
    return fromQColor(QColor::fromRgb(s.image().pixel(px, py)));
}

// Every physical pixel that is not the given colour.
PointSet pixelsNot(const Surface &s, Color background)
{
    PointSet out;
    for (int y = 0; y < s.image().height(); ++y)
        for (int x = 0; x < s.image().width(); ++x)
            if (pixelAt(s, x, y) != background)
                out.insert({x, y});
    return out;
}

PointSet rect(int x0, int y0, int x1, int y1) // inclusive corners
{
    PointSet out;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            out.insert({x, y});
    return out;
}

// A distinct colour for every logical pixel, so any misplaced copy shows.
Color patternAt(int x, int y) { return rgb(17 + x * 19, 23 + y * 21, 200 - x * 3 - y * 5); }

void paintPattern(Surface &s)
{
    for (int y = 0; y < s.scaleHeight(); ++y)
        for (int x = 0; x < s.scaleWidth(); ++x)
            s.filledBox(x, y, 0, 0, patternAt(x, y));
}

// The logical colour grid of a surface whose every logical pixel is one solid block.
std::vector<std::vector<Color>> logicalGrid(const Surface &s)
{
    const int k = static_cast<int>(s.devicePixelRatio());
    std::vector<std::vector<Color>> grid(s.scaleHeight(), std::vector<Color>(s.scaleWidth()));
    for (int y = 0; y < s.scaleHeight(); ++y)
        for (int x = 0; x < s.scaleWidth(); ++x) {
            grid[y][x] = pixelAt(s, x * k, y * k);
            for (int j = 0; j < k; ++j)
                for (int i = 0; i < k; ++i)
                    EXPECT_EQ(pixelAt(s, x * k + i, y * k + j), grid[y][x]) << "block " << x << "," << y;
        }
    return grid;
}

TEST(SurfacePrint, MovesTheDrawingPositionWithAndWithoutLineEnd)
{
    Surface s(200, 100);
    s.setFontName(QStringLiteral("Arial"));
    s.setFontSize(12);
    const double w = s.textWidth(QStringLiteral("AB"));
    const double h = s.textHeight();
    ASSERT_GT(w, 0);
    ASSERT_GT(h, 0);
    EXPECT_EQ(s.textHeight(QStringLiteral("gÅ")), h) << "one line of the font, whatever the text";

    struct Case {
        QString text;
        bool lineEnd;
        double x, y;
    };
    const std::vector<Case> cases = {
        {QStringLiteral("AB"), false, 5 + w, 7},
        {QStringLiteral("AB"), true, 0, 7 + h},
        {QString(), true, 0, 7 + h},
        {QString(), false, 5, 7},
    };
    for (const auto &c : cases) {
        s.currentX = 5;
        s.currentY = 7;
        s.print(c.text, c.lineEnd);
        EXPECT_DOUBLE_EQ(s.currentX, c.x) << c.text.toStdString() << " lineEnd " << c.lineEnd;
        EXPECT_DOUBLE_EQ(s.currentY, c.y) << c.text.toStdString() << " lineEnd " << c.lineEnd;
    }
    // Consecutive prints without line end run on where the last one stopped.
    s.currentX = 0;
    s.print(QStringLiteral("A"), false);
    s.print(QStringLiteral("B"), false);
    EXPECT_NEAR(s.currentX, s.textWidth(QStringLiteral("A")) + s.textWidth(QStringLiteral("B")), 1e-9);
}

TEST(SurfacePrint, OpaqueTextPaintsItsCellInTheBackgroundColour)
{
    const Color blue = rgb(0, 0, 255), red = rgb(255, 0, 0), white = rgb(255, 255, 255);
    for (const bool transparent : {true, false}) {
        Surface s(80, 40);
        s.setFontName(QStringLiteral("Arial"));
        s.setFontSize(12);
        s.setBackColor(blue);
        s.filledBox(0, 0, 79, 39, red);
        s.foreColor = white;
        s.fontTransparent = transparent;
        s.currentX = 10;
        s.currentY = 5;
        const QString spaces = QStringLiteral("   ");
        const double w = s.textWidth(spaces), h = s.textHeight();
        s.print(spaces, false);

        const int x0 = static_cast<int>(std::ceil(10.0)), x1 = static_cast<int>(std::floor(10 + w)) - 1;
        const int y0 = 5, y1 = static_cast<int>(std::floor(5 + h)) - 1;
        ASSERT_LT(x0, x1);
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                ASSERT_EQ(pixelAt(s, x, y), transparent ? red : blue) << x << "," << y << " transparent " << transparent;
        EXPECT_EQ(pixelAt(s, 9, 10), red);
        EXPECT_EQ(pixelAt(s, x1 + 2, 10), red);
        EXPECT_EQ(pixelAt(s, 12, 4), red);
        EXPECT_EQ(pixelAt(s, 12, y1 + 2), red);
    }
}

TEST(SurfacePrint, TextInkUsesTheForeColour)
{
    Surface s(60, 30);
    s.setFontName(QStringLiteral("Arial"));
    s.setFontSize(14);
    s.setFontBold(true);
    s.foreColor = rgb(0, 255, 255);
    s.print(QStringLiteral("IH"));
    const PointSet ink = pixelsNot(s, rgb(0, 0, 0));
    ASSERT_FALSE(ink.empty());
    int exact = 0;
    for (const auto &[x, y] : ink)
        exact += pixelAt(s, x, y) == rgb(0, 255, 255);
    EXPECT_GT(exact, 10) << "the stems of I and H are solid fore colour";
}

TEST(SurfacePrint, AnImageTakenEarlierKeepsItsPixelsWhileTheSurfaceDrawsOn)
{
    Surface s(60, 20);
    s.foreColor = rgb(255, 255, 255);
    s.print(QStringLiteral("A"), false);
    const QImage taken = s.image();
    const QImage kept = taken.copy();
    s.print(QStringLiteral("BCD"));
    s.print(QStringLiteral("E"));
    EXPECT_EQ(taken, kept);
    EXPECT_NE(s.image(), kept);
    const QImage again = s.image();
    s.cls();
    s.print(QStringLiteral("F"));
    EXPECT_NE(again, s.image());
    EXPECT_NE(again.pixel(0, 0), 0u) << "still a picture of its own";
}

TEST(SurfaceCls, FillsWithTheBackgroundAndHomesThePosition)
{
    Surface s(30, 20);
    s.filledBox(3, 3, 10, 10, rgb(1, 2, 3));
    s.currentX = 12;
    s.currentY = 9;
    s.setBackColor(rgb(0, 128, 0));
    EXPECT_TRUE(pixelsNot(s, rgb(0, 128, 0)).empty()) << "a new background colour clears";
    EXPECT_EQ(s.currentX, 0);
    EXPECT_EQ(s.currentY, 0);

    s.filledBox(3, 3, 10, 10, rgb(1, 2, 3));
    s.currentX = 4;
    s.currentY = 4;
    s.cls();
    EXPECT_TRUE(pixelsNot(s, rgb(0, 128, 0)).empty());
    EXPECT_EQ(s.currentX, 0);
    EXPECT_EQ(s.currentY, 0);
}

TEST(SurfaceResize, KeepsTheTopLeftAndFillsNewAreaWithTheBackground)
{
    Surface s(10, 10);
    s.setBackColor(rgb(0, 0, 200));
    s.filledBox(0, 0, 9, 9, rgb(255, 255, 0));
    s.resize(20, 15);
    EXPECT_EQ(s.scaleWidth(), 20);
    EXPECT_EQ(s.scaleHeight(), 15);
    EXPECT_EQ(pixelsNot(s, rgb(0, 0, 200)), rect(0, 0, 9, 9));
    s.resize(5, 5);
    EXPECT_TRUE(pixelsNot(s, rgb(255, 255, 0)).empty());
}

struct ShapeCase {
    const char *name;
    enum Kind { Line, Box, Filled } kind;
    double x, y, dx, dy;
    PointSet expected;
};

TEST(SurfaceShapes, LineLeavesOutItsEndBoxesIncludeBothCorners)
{
    PointSet diagonal{{1, 1}, {2, 2}, {3, 3}, {4, 4}};
    PointSet boxOutline;
    for (const auto &p : rect(5, 7, 10, 10))
        if (p.first == 5 || p.first == 10 || p.second == 7 || p.second == 10)
            boxOutline.insert(p);
    const std::vector<ShapeCase> cases = {
        {"horizontal right", ShapeCase::Line, 2, 3, 5, 0, rect(2, 3, 6, 3)},
        {"horizontal left", ShapeCase::Line, 7, 3, -5, 0, rect(3, 3, 7, 3)},
        {"vertical down", ShapeCase::Line, 4, 1, 0, 6, rect(4, 1, 4, 6)},
        {"vertical up", ShapeCase::Line, 4, 9, 0, -6, rect(4, 4, 4, 9)},
        {"diagonal", ShapeCase::Line, 1, 1, 4, 4, diagonal},
        {"no extent", ShapeCase::Line, 3, 3, 0, 0, {}},
        {"vertical off the top", ShapeCase::Line, 2, -4, 0, 6, rect(2, 0, 2, 1)},
        {"box, negative extents", ShapeCase::Box, 10, 10, -5, -3, boxOutline},
        {"box, positive extents", ShapeCase::Box, 5, 7, 5, 3, boxOutline},
        {"box, flat", ShapeCase::Box, 2, 2, 3, 0, rect(2, 2, 5, 2)},
        {"filled, negative extents", ShapeCase::Filled, 10, 10, -5, -3, rect(5, 7, 10, 10)},
        {"filled, one pixel", ShapeCase::Filled, 3, 3, 0, 0, rect(3, 3, 3, 3)},
        {"filled, past the edges", ShapeCase::Filled, -3, 12, 5, 10, rect(0, 12, 2, 15)},
        {"filled, fractional", ShapeCase::Filled, 2.4, 2.6, 1.2, 0.8, rect(2, 3, 4, 3)},
    };
    const Color c = rgb(255, 0, 128);
    for (const auto &sc : cases) {
        Surface s(16, 16);
        switch (sc.kind) {
        case ShapeCase::Line: s.line(sc.x, sc.y, sc.dx, sc.dy, c); break;
        case ShapeCase::Box: s.box(sc.x, sc.y, sc.dx, sc.dy, c); break;
        case ShapeCase::Filled: s.filledBox(sc.x, sc.y, sc.dx, sc.dy, c); break;
        }
        const PointSet drawn = pixelsNot(s, rgb(0, 0, 0));
        EXPECT_EQ(drawn, sc.expected) << sc.name;
        for (const auto &[x, y] : drawn)
            EXPECT_EQ(pixelAt(s, x, y), c) << sc.name << " blends at " << x << "," << y;
    }
}

// bitBlt against a pixel-by-pixel model of the transfer, at both pixel ratios.
class SurfaceBlt : public ::testing::TestWithParam<int> {};

struct Blt {
    int x, y, w, h, sx, sy;
};

std::vector<Blt> bltCases()
{
    std::vector<Blt> cases = {
        {0, 0, 10, 8, 0, 0},     // whole
        {-2, -3, 5, 5, 0, 0},    // negative destination
        {5, 6, 10, 10, 0, 0},    // past the destination's right and bottom
        {0, 0, 5, 5, 9, 8},      // source beyond its image
        {0, 0, 4, 4, -2, -1},    // source before its image
        {-3, 2, 20, 3, 4, -2},   // everything at once
        {3, 3, 0, 5, 0, 0},      // empty
        {3, 3, -2, 5, 0, 0},     // negative size
        {12, 0, 3, 3, 0, 0},     // wholly outside the destination
        {0, 0, 3, 3, 14, 0},     // wholly outside the source
    };
    std::mt19937 gen(7);
    std::uniform_int_distribution<int> pos(-12, 14), size(-1, 16);
    for (int i = 0; i < 120; ++i)
        cases.push_back({pos(gen), pos(gen), size(gen), size(gen), pos(gen), pos(gen)});
    return cases;
}

TEST_P(SurfaceBlt, CopyBlacknessAndAndAreClippedAtEveryEdge)
{
    const qreal dpr = GetParam();
    const Color ground = rgb(0xF0, 0x3C, 0xAA);
    for (const RasterOp op : {RasterOp::SrcCopy, RasterOp::Blackness, RasterOp::SrcAnd}) {
        for (const Blt &b : bltCases()) {
            Surface src(12, 10, dpr);
            paintPattern(src);
            Surface dst(10, 8, dpr);
            dst.setBackColor(ground);
            dst.bitBlt(b.x, b.y, b.w, b.h, op, &src, b.sx, b.sy);

            const auto grid = logicalGrid(dst);
            for (int y = 0; y < dst.scaleHeight(); ++y)
                for (int x = 0; x < dst.scaleWidth(); ++x) {
                    Color expected = ground;
                    const bool inBlock = x >= b.x && x < b.x + b.w && y >= b.y && y < b.y + b.h;
                    const int sx = x - b.x + b.sx, sy = y - b.y + b.sy;
                    const bool hasSource = sx >= 0 && sx < src.scaleWidth() && sy >= 0 && sy < src.scaleHeight();
                    if (inBlock && op == RasterOp::Blackness)
                        expected = rgb(0, 0, 0);
                    else if (inBlock && hasSource && op == RasterOp::SrcCopy)
                        expected = patternAt(sx, sy);
                    else if (inBlock && hasSource && op == RasterOp::SrcAnd)
                        expected = ground & patternAt(sx, sy);
                    ASSERT_EQ(grid[y][x], expected) << "op " << int(op) << " blt " << b.x << "," << b.y << " "
                                                    << b.w << "x" << b.h << " from " << b.sx << "," << b.sy
                                                    << " at " << x << "," << y;
                }
        }
    }
}

TEST_P(SurfaceBlt, OverlappingCopyWithinOneImageReadsBeforeItWrites)
{
    const qreal dpr = GetParam();
    const std::vector<Blt> cases = {
        {2, 1, 7, 6, 0, 0}, // down and right
        {0, 0, 7, 6, 2, 1}, // up and left
        {1, 0, 8, 9, 0, 0}, // right along the rows
        {0, 0, 8, 9, 1, 0}, // left along the rows
        {0, 2, 10, 6, 0, 0}, // straight down
        {0, 0, 10, 6, 0, 2}, // straight up
        {-1, 3, 12, 12, 2, -1},
    };
    for (const Blt &b : cases) {
        Surface s(10, 9, dpr);
        paintPattern(s);
        s.bitBlt(b.x, b.y, b.w, b.h, RasterOp::SrcCopy, &s, b.sx, b.sy);
        const auto grid = logicalGrid(s);
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 10; ++x) {
                const int sx = x - b.x + b.sx, sy = y - b.y + b.sy;
                const bool copied = x >= b.x && x < b.x + b.w && y >= b.y && y < b.y + b.h && sx >= 0 && sx < 10
                    && sy >= 0 && sy < 9;
                ASSERT_EQ(grid[y][x], copied ? patternAt(sx, sy) : patternAt(x, y))
                    << "blt " << b.x << "," << b.y << " from " << b.sx << "," << b.sy << " at " << x << "," << y;
            }
    }
}

INSTANTIATE_TEST_SUITE_P(PixelRatio, SurfaceBlt, ::testing::Values(1, 2));

class SurfaceMono : public ::testing::TestWithParam<int> {};

TEST_P(SurfaceMono, WhiteBecomesSetBitsAndComesBackInTheForeColour)
{
    const qreal dpr = GetParam();
    const Color white = rgb(255, 255, 255), black = rgb(0, 0, 0);
    Surface src(40, 20, dpr);
    src.setFontName(QStringLiteral("Times New Roman"));
    src.setFontSize(12);
    src.foreColor = white;
    src.currentX = 2;
    src.print(QStringLiteral("Wx"));
    src.filledBox(30, 5, 4, 6, white);
    src.filledBox(25, 14, 2, 2, rgb(200, 200, 200)); // bright: set
    src.filledBox(20, 14, 2, 2, rgb(60, 60, 60));    // dark: clear

    const MonoSnapshot snap(src, 40, 20);
    ASSERT_EQ(snap.bits().width(), src.image().width());
    ASSERT_EQ(snap.bits().height(), src.image().height());

    const Color fore = rgb(255, 0, 0), back = rgb(0, 0, 255);
    Surface dst(40, 20, dpr);
    dst.setBackColor(back);
    dst.filledBox(0, 0, 39, 19, rgb(0, 255, 0));
    dst.foreColor = fore;
    dst.bitBlt(0, 0, 40, 20, snap, 0, 0);

    int set = 0;
    for (int y = 0; y < src.image().height(); ++y)
        for (int x = 0; x < src.image().width(); ++x) {
            const Color in = pixelAt(src, x, y), out = pixelAt(dst, x, y);
            ASSERT_TRUE(out == fore || out == back) << x << "," << y;
            if (in == white) {
                ASSERT_EQ(out, fore) << x << "," << y;
            }
            if (in == black) {
                ASSERT_EQ(out, back) << x << "," << y;
            }
            set += out == fore;
        }
    EXPECT_GT(set, 0);
    const int k = static_cast<int>(dpr);
    EXPECT_EQ(pixelAt(dst, 31 * k, 7 * k), fore);
    EXPECT_EQ(pixelAt(dst, 25 * k, 14 * k), fore);
    EXPECT_EQ(pixelAt(dst, 20 * k, 14 * k), back);
}

TEST_P(SurfaceMono, PlacedTransfersAreClippedLikeAnyOther)
{
    const qreal dpr = GetParam();
    const Color white = rgb(255, 255, 255);
    Surface src(12, 10, dpr);
    // A checkerboard, so every shifted copy differs.
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 12; ++x)
            if ((x * 7 + y * 3) % 5 < 2)
                src.filledBox(x, y, 0, 0, white);
    const MonoSnapshot snap(src, 9, 10); // narrower than the source
    const auto bitAt = [&](int x, int y) { return x < 9 && (x * 7 + y * 3) % 5 < 2; };

    // Clear bits come back in the destination's background colour.
    const Color ground = rgb(0, 90, 0), fore = rgb(255, 255, 0);
    for (const Blt &b : bltCases()) {
        Surface dst(10, 8, dpr);
        dst.setBackColor(ground);
        dst.foreColor = fore;
        dst.bitBlt(b.x, b.y, b.w, b.h, snap, b.sx, b.sy);
        const auto grid = logicalGrid(dst);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 10; ++x) {
                const int sx = x - b.x + b.sx, sy = y - b.y + b.sy;
                const bool copied = x >= b.x && x < b.x + b.w && y >= b.y && y < b.y + b.h && sx >= 0 && sx < 9
                    && sy >= 0 && sy < 10;
                const Color expected = !copied ? ground : bitAt(sx, sy) ? fore : ground;
                ASSERT_EQ(grid[y][x], expected) << "blt " << b.x << "," << b.y << " " << b.w << "x" << b.h
                                                << " from " << b.sx << "," << b.sy << " at " << x << "," << y;
            }
    }
}

TEST_P(SurfaceMono, EachCopyTakesTheColoursOfItsOwnMoment)
{
    const qreal dpr = GetParam();
    Surface src(6, 4, dpr);
    src.filledBox(1, 1, 1, 1, rgb(255, 255, 255));
    const MonoSnapshot snap(src, 6, 4);
    Surface dst(6, 4, dpr);
    // Colours that change between copies, back and forth, as a banner may.
    const struct {
        Color fore, back;
    } turns[] = {{rgb(255, 0, 0), rgb(0, 0, 0)}, {rgb(0, 255, 0), rgb(0, 0, 0)}, {rgb(0, 255, 0), rgb(0, 0, 90)},
                 {rgb(255, 0, 0), rgb(0, 0, 0)}};
    for (const auto &t : turns) {
        dst.setBackColor(t.back);
        dst.foreColor = t.fore;
        dst.bitBlt(0, 0, 6, 4, snap, 0, 0);
        const auto grid = logicalGrid(dst);
        EXPECT_EQ(grid[1][1], t.fore);
        EXPECT_EQ(grid[0][0], t.back);
        EXPECT_EQ(grid[3][5], t.back);
    }
}

INSTANTIATE_TEST_SUITE_P(PixelRatio, SurfaceMono, ::testing::Values(1, 2));

TEST(SurfacePixelRatio, ImageIsDoubledWhileCoordinatesStayLogical)
{
    const Color c = rgb(255, 255, 255), ground = rgb(0, 0, 0);
    Surface s(30, 20, 2.0);
    EXPECT_EQ(s.scaleWidth(), 30);
    EXPECT_EQ(s.scaleHeight(), 20);
    EXPECT_EQ(s.image().width(), 60);
    EXPECT_EQ(s.image().height(), 40);

    s.filledBox(3, 4, 0, 0, c);
    EXPECT_EQ(pixelsNot(s, ground), rect(6, 8, 7, 9));

    struct Case {
        const char *name;
        double x, y, dx, dy;
        PointSet expected;
    };
    const std::vector<Case> cases = {
        {"horizontal", 2, 5, 10, 0, rect(4, 10, 23, 11)},
        {"vertical", 7, 3, 0, 4, rect(14, 6, 15, 13)},
    };
    for (const auto &lc : cases) {
        Surface t(30, 20, 2.0);
        t.line(lc.x, lc.y, lc.dx, lc.dy, c);
        EXPECT_EQ(pixelsNot(t, ground), lc.expected) << lc.name;
        for (const auto &[x, y] : pixelsNot(t, ground))
            EXPECT_EQ(pixelAt(t, x, y), c) << lc.name << " is not crisp at " << x << "," << y;
    }

    // A slanted line is two physical pixels thick and still crisp.
    Surface d(30, 20, 2.0);
    d.line(2, 2, 12, 6, c);
    const PointSet drawn = pixelsNot(d, ground);
    ASSERT_FALSE(drawn.empty());
    for (const auto &[x, y] : drawn)
        EXPECT_EQ(pixelAt(d, x, y), c) << "blended at " << x << "," << y;
    int thickness = 0;
    for (int y = 0; y < 40; ++y)
        thickness += drawn.count({14, y}) ? 1 : 0;
    EXPECT_GE(thickness, 2);
}

TEST(SurfacePixelRatio, TextMeasuresTheSameInLogicalPixels)
{
    Surface one(200, 40, 1.0), two(200, 40, 2.0);
    for (Surface *s : {&one, &two}) {
        s->setFontName(QStringLiteral("Arial"));
        s->setFontSize(16);
        s->foreColor = rgb(255, 255, 255);
    }
    EXPECT_NEAR(two.textWidth(QStringLiteral("HELLO")), one.textWidth(QStringLiteral("HELLO")), 1.0);
    EXPECT_NEAR(two.textHeight(), one.textHeight(), 1.0);

    one.print(QStringLiteral("HELLO"));
    two.print(QStringLiteral("HELLO"));
    const auto extent = [](const Surface &s) {
        int minX = 1 << 20, maxX = -1, minY = 1 << 20, maxY = -1;
        for (const auto &[x, y] : pixelsNot(s, rgb(0, 0, 0))) {
            minX = std::min(minX, x);
            maxX = std::max(maxX, x);
            minY = std::min(minY, y);
            maxY = std::max(maxY, y);
        }
        return std::pair<int, int>(maxX - minX + 1, maxY - minY + 1);
    };
    const auto [w1, h1] = extent(one);
    const auto [w2, h2] = extent(two);
    ASSERT_GT(w1, 0);
    EXPECT_NEAR(w2, 2 * w1, 3) << "the ink spans twice the physical pixels";
    EXPECT_NEAR(h2, 2 * h1, 3);
}

TEST(SurfaceViewTest, RefreshPaintsAtOnceAndShowsTheImage)
{
    QWidget top;
    top.resize(100, 60);
    SurfaceView view(&top);
    view.moveTo(10, 5, 40, 20);
    EXPECT_EQ(view.surface().scaleWidth(), 40) << "sized while hidden";
    EXPECT_EQ(view.surface().scaleHeight(), 20);
    top.show();
    for (int i = 0; i < 50 && !(top.windowHandle() && top.windowHandle()->isExposed()); ++i)
        QCoreApplication::processEvents();
    view.surface().setBackColor(rgb(0, 0, 255));
    view.surface().filledBox(5, 5, 3, 3, rgb(255, 255, 0));

    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject *, QEvent *e) override
        {
            paints += e->type() == QEvent::Paint;
            return false;
        }
    } counter;
    view.installEventFilter(&counter);
    EXPECT_TRUE(view.refresh());
    EXPECT_EQ(counter.paints, 1) << "painted before refresh returns";

    const QImage shown = view.grab().toImage();
    ASSERT_EQ(shown.width(), 40);
    EXPECT_EQ(fromQColor(shown.pixelColor(0, 0)), rgb(0, 0, 255));
    EXPECT_EQ(fromQColor(shown.pixelColor(6, 6)), rgb(255, 255, 0));

    const int paintsShown = counter.paints;
    view.hide();
    EXPECT_TRUE(view.refresh());
    EXPECT_EQ(counter.paints, paintsShown) << "nothing to paint while hidden";
}

// What a view's paints cover, and how many there were.
struct PaintRecorder : QObject {
    int paints = 0;
    QRegion painted;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint) {
            ++paints;
            painted += static_cast<QPaintEvent *>(e)->region();
        }
        return false;
    }
};

TEST(SurfaceViewTest, RefreshSendsOnlyWhatChangedSinceTheLastPaint)
{
    QWidget top;
    top.resize(120, 80);
    SurfaceView view(&top);
    view.moveTo(0, 0, 100, 60);
    top.show();
    for (int i = 0; i < 50 && !(top.windowHandle() && top.windowHandle()->isExposed()); ++i)
        QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    Surface &s = view.surface();
    ASSERT_TRUE(view.refresh());

    PaintRecorder rec;
    view.installEventFilter(&rec);
    const auto refreshed = [&] {
        rec.paints = 0;
        rec.painted = QRegion();
        EXPECT_TRUE(view.refresh());
        return rec.painted;
    };

    EXPECT_TRUE(refreshed().isEmpty()) << "nothing changed";
    EXPECT_EQ(rec.paints, 0);

    s.filledBox(10, 20, 4, 2, rgb(255, 255, 0));
    s.filledBox(70, 50, 0, 0, rgb(0, 255, 0));
    const QRegion two = refreshed();
    EXPECT_TRUE(two.contains(QRect(10, 20, 5, 3)));
    EXPECT_TRUE(two.contains(QPoint(70, 50)));
    EXPECT_FALSE(two.contains(QPoint(40, 35))) << "an unchanged band between them stays";
    EXPECT_FALSE(two.contains(QPoint(0, 0)));

    // A change shown by another paint, then taken back: the screen has it, so the refresh sends it.
    s.filledBox(30, 30, 3, 3, rgb(255, 0, 0));
    view.update();
    QCoreApplication::processEvents();
    s.filledBox(30, 30, 3, 3, rgb(0, 0, 0));
    EXPECT_TRUE(refreshed().contains(QRect(30, 30, 4, 4)));

    // A grab paints into a picture, not onto the screen; what it painted must still be sent.
    s.filledBox(5, 5, 1, 1, rgb(0, 0, 255));
    (void)view.grab();
    EXPECT_TRUE(refreshed().contains(QPoint(5, 5)));
    EXPECT_TRUE(refreshed().isEmpty());

    const QImage shown = view.grab().toImage();
    EXPECT_EQ(fromQColor(shown.pixelColor(10, 20)), rgb(255, 255, 0));
    EXPECT_EQ(fromQColor(shown.pixelColor(30, 30)), rgb(0, 0, 0));
}

} // namespace
} // namespace vx
