// The play field as pixels: the mask band, the danger warnings, the status lines, the gauge
// and the growing glyph, probed on the strips' retained images, at one and two device pixels per pixel.

#include "fake/GameFixture.h"
#include "platform/Rounding.h"

#include <QCheckBox>
#include <QLabel>
#include <QScrollBar>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace vx::test {
namespace {

constexpr Color white = rgb(255, 255, 255);
constexpr Color cyan = rgb(0, 255, 255);
constexpr Color yellow = rgb(255, 255, 0);
constexpr std::int32_t passTick = 5'000'000;

// The pixel at a physical position, as a colour.
Color pixel(const Surface &s, int px, int py)
{
    const QRgb p = s.image().pixel(px, py);
    return rgb(qRed(p), qGreen(p), qBlue(p));
}

// The pixel under a logical position (its top left device pixel).
Color at(const Surface &s, int x, int y)
{
    return pixel(s, toInt32(x * s.devicePixelRatio()), toInt32(y * s.devicePixelRatio()));
}

int grey(Color c) { return redOf(c) == greenOf(c) && greenOf(c) == blueOf(c) ? redOf(c) : -1; }

// The brightest pure red in a logical rectangle, and the topmost logical row that has any.
struct RedFound {
    int level = 0;
    int top = -1;
};

RedFound pureRed(const Surface &s, int x0, int y0, int x1, int y1)
{
    RedFound f;
    const qreal dpr = s.devicePixelRatio();
    for (int py = std::max(0, toInt32(y0 * dpr)); py < std::min(s.image().height(), toInt32(y1 * dpr)); ++py)
        for (int px = std::max(0, toInt32(x0 * dpr)); px < std::min(s.image().width(), toInt32(x1 * dpr)); ++px) {
            const Color c = pixel(s, px, py);
            if (redOf(c) > 0 && greenOf(c) == 0 && blueOf(c) == 0) {
                f.level = std::max(f.level, redOf(c));
                if (f.top < 0)
                    f.top = py;
            }
        }
    return f;
}

// The leftmost device column with exactly this colour in the device rows [y0, y1), -1 for none.
int leftmostOf(const Surface &s, Color c, int y0, int y1)
{
    for (int x = 0; x < s.image().width(); ++x)
        for (int y = y0; y < y1; ++y)
            if (pixel(s, x, y) == c)
                return x;
    return -1;
}

bool rowsEqual(const QImage &a, const QImage &b, int y0, int y1)
{
    for (int y = y0; y < y1; ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                return false;
    return true;
}

bool allBlack(const QImage &a, int y0, int y1)
{
    for (int y = y0; y < y1; ++y)
        for (int x = 0; x < a.width(); ++x)
            if ((a.pixel(x, y) & 0xFFFFFF) != 0)
                return false;
    return true;
}

class PlayField : public GameFixture {
protected:
    void SetUp() override
    {
        GameFixture::SetUp();
        pf.randomOverride = [this] { return r; };
        layOut(form->width(), form->height());
        RoundState &rs = form->rs;
        rs.targetText.clear();
        rs.textLeft = 200;
        rs.gauge = 10;
        rs.score = 0;
        rs.shownScore = 0;
        rs.combo = 0;
        rs.judgeText.clear();
        rs.lastHitTick = passTick;
        rs.judgeFade = 0;
        rs.missFlag = 0;
    }

    // The window at this size with the strips placed as a round places them.
    void layOut(int w, int h)
    {
        if (w != form->width() || h != form->height()) {
            form->setFixedSize(w, h);
            form->screen->moveTo(0, 0, w, h);
        }
        Surface &t = txt();
        t.foreColor = cyan;
        t.setFontSize(16);
        const int lineHeight = toInt32(t.textHeight());
        form->picTxt->moveTo(0, 0, w, lineHeight);
        form->picPTS->moveTo(0, lineHeight + 1, w, h - lineHeight - 1);
        pts().setFontSize(10);
        pts().foreColor = rgb(0, 128, 255);
    }

    void setPixelRatio(qreal dpr)
    {
        form->surface().setDevicePixelRatio(dpr);
        txt().setDevicePixelRatio(dpr);
        pts().setDevicePixelRatio(dpr);
    }

    void hidden(int percent)
    {
        form->hscHidP->setValue(percent);
        form->chkHidden->setChecked(true);
    }

    int statusWidth() { return pts().scaleWidth(); }
    int gaugeTop() { return toInt32(pts().scaleHeight() - 6.0); }
    void pass(std::int32_t tick = passTick) { form->drawPass(tick, statusWidth(), gaugeTop()); }

    Surface &txt() { return form->picTxt->surface(); }
    Surface &pts() { return form->picPTS->surface(); }
    Surface &band() { return form->surface(); }

    // A blank surface like the status strip, in its font and size.
    Surface blankLike(const Surface &s, double size)
    {
        Surface ref(s.scaleWidth(), s.scaleHeight(), s.devicePixelRatio());
        ref.setFontName(s.fontName());
        ref.setFontBold(s.fontBold());
        ref.setFontItalic(s.fontItalic());
        ref.setFontSize(size);
        return ref;
    }

    double r = 0.5; // the gauge jitter's random number
};

// ---- Mask band ---------------------------------------------------------------------------------

TEST_F(PlayField, MaskBandFadesTheRightEdgeAndHidesTheLeftPartInHiddenMode)
{
    struct Case {
        int width;
        std::optional<int> hiddenPercent;
        std::vector<std::pair<int, int>> greyAtX; // x, grey level across all 25 rows
    };
    const std::vector<Case> cases{
        {366, std::nullopt, {{0, 255}, {355, 255}, {356, 255}, {357, 230}, {361, 128}, {362, 102}, {365, 26}}},
        // 25 × 5.1 is just below 127.5 in binary, so the middle of the fade rounds down.
        {640, 10, {{0, 0}, {30, 0}, {64, 0}, {65, 5}, {89, 127}, {113, 250}, {114, 255}, {629, 255}, {630, 255},
                   {631, 230}, {639, 26}}},
        {366, 50, {{0, 0}, {183, 0}, {184, 5}, {233, 255}, {365, 26}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.width);
        layOut(c.width, 107);
        form->chkHidden->setChecked(false);
        if (c.hiddenPercent)
            hidden(*c.hiddenPercent);
        form->drawMaskBand();
        for (const auto &[x, level] : c.greyAtX)
            for (int y : {0, 12, 24})
                EXPECT_EQ(grey(at(band(), x, y)), level) << "x=" << x << " y=" << y;
    }
}

TEST_F(PlayField, MaskDimsTheLineAndTheDangerTextButNotTheGlyph)
{
    struct Case {
        int width;
        std::optional<int> hiddenPercent;
        int darkUpTo; // last column the band turns black, -1 for none
    };
    const std::vector<Case> cases{{366, std::nullopt, -1}, {640, 10, 64}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.width);
        layOut(c.width, 107);
        form->chkHidden->setChecked(false);
        if (c.hiddenPercent)
            hidden(*c.hiddenPercent);
        RoundState &rs = form->rs;
        rs.judgeFade = 0;
        rs.targetText = QStringLiteral("WMWMWMWMWMWMWMWMWMWMWMWMWMWMWMWMWMWMWMWMWMWM");
        rs.textLeft = 40; // in danger, so "DANGER!!" is drawn from x = 0 too

        // The strip as drawn under an all-white band, then under the real one.
        band().filledBox(0, 0, c.width, 25, white);
        pass();
        const QImage open = txt().image().copy();
        form->drawMaskBand();
        pass();
        const QImage masked = txt().image();
        const QImage &mask = band().image();

        const int rows = std::min(25, txt().scaleHeight());
        for (int y = 0; y < txt().scaleHeight(); ++y)
            for (int x = 0; x < c.width; ++x) {
                const QRgb want = y < rows ? (open.pixel(x, y) & mask.pixel(x, y)) : open.pixel(x, y);
                ASSERT_EQ(masked.pixel(x, y), want) << x << "," << y;
            }
        // The probes mean something: the open strip is lit under the black part and at the right edge.
        bool litRight = false, litDark = false;
        for (int y = 0; y < rows; ++y) {
            for (int x = c.width - 10; x < c.width; ++x)
                litRight = litRight || (open.pixel(x, y) & 0xFFFFFF) != 0;
            for (int x = 0; x <= c.darkUpTo; ++x)
                litDark = litDark || (open.pixel(x, y) & 0xFFFFFF) != 0;
        }
        EXPECT_TRUE(litRight);
        EXPECT_EQ(litDark, c.darkUpTo >= 0);

        // The glyph comes after the mask: it shows even where the band is black.
        rs.targetText.clear();
        rs.textLeft = 200;
        rs.judgeX = 30;
        rs.judgeFade = 1;
        rs.lastKey = QStringLiteral("W");
        pass();
        bool glyphLeft = false;
        for (int y = 0; y < rows; ++y)
            for (int x = 20; x < 50; ++x)
                glyphLeft = glyphLeft || (txt().image().pixel(x, y) & 0xFFFFFF) != 0;
        EXPECT_TRUE(glyphLeft);
    }
}

// ---- Danger text and parity --------------------------------------------------------------------

TEST_F(PlayField, DangerTextAndBlinkFollowTheLinesRoundedPosition)
{
    struct Case {
        float textLeft;
        int dangerRed;   // 0: none visible
        int rowOffset;   // rows below the warning's place at n = 80 ((n mod 6) - 2)
        bool judgeShown; // odd n shows the judgement text
    };
    const std::vector<Case> cases{
        {80.0f, 0, 0, false},  // not in danger
        {79.9f, 255, 0, false}, // n = 80
        {79.2f, 128, -1, true}, // n = 79
        {76.6f, 255, 3, true},  // n = 77
        {2.5f, 255, 0, false},  // halves go to even: n = 2
        {3.5f, 128, 2, false},  // n = 4
        {2.6f, 0, 0, true},     // n = 3: dark red, invisible
    };
    form->drawMaskBand();
    RoundState &rs = form->rs;
    rs.textLeft = 79.9f;
    pass();
    const int topAt80 = pureRed(txt(), 0, 0, 100, txt().scaleHeight()).top;
    ASSERT_GE(topAt80, 2);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.textLeft);
        rs.textLeft = c.textLeft;
        rs.judgeText = QStringLiteral("Perfect!");
        rs.judgeColor = 0x00FFFF;
        pass();
        const RedFound red = pureRed(txt(), 0, 0, 100, txt().scaleHeight());
        EXPECT_EQ(red.level, c.dangerRed);
        if (c.dangerRed > 0) {
            EXPECT_EQ(red.top - topAt80, c.rowOffset);
        }
        const int lineHeight = toInt32(pts().textHeight());
        EXPECT_EQ(leftmostOf(pts(), yellow, 0, lineHeight) >= 0, c.judgeShown);
    }
}

// ---- Status strip ------------------------------------------------------------------------------

TEST_F(PlayField, ScoreLineShowsPendingPointsOnlyWhileThereAreAny)
{
    struct Case {
        double score;
        float textLeft;
        std::optional<Color> pendingColor;
    };
    const std::vector<Case> cases{{0, 201, std::nullopt}, {500, 201, yellow}, {500, 200, rgb(0, 255, 0)}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.score);
        RoundState &rs = form->rs;
        rs.shownScore = 1234.5; // the display rounds halves to even
        rs.score = c.score;
        rs.textLeft = c.textLeft;
        pass();

        Surface ref = blankLike(pts(), 10);
        const int lineHeight = toInt32(ref.textHeight());
        ref.currentY = ref.textHeight();
        ref.foreColor = rgb(0, 128, 255);
        ref.print(QStringLiteral("0001234 PTS"), false);
        if (c.pendingColor) {
            ref.foreColor = *c.pendingColor;
            ref.print(QStringLiteral("+ 000500"));
        }
        const qreal dpr = pts().devicePixelRatio();
        EXPECT_TRUE(rowsEqual(pts().image(), ref.image(), toInt32(lineHeight * dpr), toInt32(2 * lineHeight * dpr)));
    }
}

TEST_F(PlayField, ComboLineAppearsFromTheFourthComboHit)
{
    for (int combo : {3, 4}) {
        SCOPED_TRACE(combo);
        form->rs.combo = static_cast<std::int16_t>(combo);
        pass();
        EXPECT_EQ(form->rs.combo, combo);

        Surface ref = blankLike(pts(), 10);
        const double y = 2 * ref.textHeight();
        ref.currentY = y;
        ref.setFontSize(24);
        const double bottom = std::min(y + ref.textHeight(), gaugeTop() - 1.0);
        if (combo > 3) {
            ref.foreColor = yellow;
            ref.print(QStringLiteral("4 combo"));
        }
        EXPECT_TRUE(rowsEqual(pts().image(), ref.image(), toInt32(y), toInt32(bottom)));
        EXPECT_EQ(allBlack(pts().image(), toInt32(y), toInt32(bottom)), combo == 3);
    }
}

TEST_F(PlayField, JudgementTextDriftsLeftAndExpiresAfterTwoSeconds)
{
    RoundState &rs = form->rs;
    rs.textLeft = 301; // odd: the judgement shows
    const int lineHeight = toInt32(pts().textHeight());

    struct Case {
        int sinceKey;
        int shift;   // columns left of where it starts; -1: not on the strip
        bool kept;
    };
    const std::vector<Case> cases{{0, 0, true}, {500, 20, true}, {1000, 90, true}, {2000, -1, true}, {2001, -1, false}};
    int start = -1;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.sinceKey);
        rs.judgeText = QStringLiteral("Perfect!");
        rs.judgeColor = 0x00FFFF;
        rs.combo = 5;
        rs.lastHitTick = passTick - c.sinceKey;
        pass();
        EXPECT_EQ(rs.judgeText.isEmpty(), !c.kept);
        EXPECT_EQ(rs.combo, c.kept ? 5 : 0);
        const int left = leftmostOf(pts(), yellow, 0, lineHeight);
        if (c.sinceKey == 0) {
            start = left;
            EXPECT_GE(start, 301);
            EXPECT_LE(start, 304);
        }
        EXPECT_EQ(left, c.shift >= 0 ? start - c.shift : -1);
    }
}

TEST_F(PlayField, GaugeBarMarkerFrameAndWarningFollowTheGauge)
{
    constexpr Color olive = 1677215;
    ASSERT_EQ(olive, rgb(159, 151, 25));
    struct Case {
        int gauge;
        float textLeft;
        Color bar;
        int barEnd;    // last bar column with r = 0.5
        int markerAt;  // -1: off the strip
        Color frame;
        int dangerRed; // 0: no warning
    };
    const std::vector<Case> cases{
        {20, 202, rgb(0, 128, 128), 356, -1, olive, 0},
        {20, 203, rgb(0, 255, 255), 356, -1, olive, 0},
        {18, 203, rgb(0, 255, 255), 319, 329, olive, 0},
        {17, 203, rgb(0, 255, 0), 301, 311, olive, 0},
        {5, 202, rgb(0, 128, 0), 82, 92, olive, 0},
        {4, 202, rgb(128, 128, 0), 63, 73, rgb(0, 0, 0), 128},
        {4, 203, rgb(255, 255, 0), 63, 73, rgb(255, 0, 0), 255},
        {2, 202, rgb(128, 0, 0), 27, 37, rgb(0, 0, 0), 128},
    };
    const int W = statusWidth();
    const int top = gaugeTop();
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "gauge " << c.gauge << " at " << c.textLeft);
        RoundState &rs = form->rs;
        rs.gauge = static_cast<std::int16_t>(c.gauge);
        rs.textLeft = c.textLeft;
        pass();
        const Surface &s = pts();
        for (int y = top; y <= top + 4; ++y) {
            EXPECT_EQ(at(s, 1, y), c.bar) << y;
            if (c.barEnd + 1 < W - 1) {
                EXPECT_EQ(at(s, c.barEnd, y), c.bar) << y;
                EXPECT_NE(at(s, c.barEnd + 1, y), c.bar) << y;
            }
            if (c.markerAt >= 0) {
                // Two pixels of extent, both ends included.
                for (int x = c.markerAt; x <= c.markerAt + 2; ++x)
                    EXPECT_EQ(at(s, x, y), rgb(255, 0, 0)) << x << "," << y;
                EXPECT_NE(at(s, c.markerAt - 1, y), rgb(255, 0, 0)) << y;
                EXPECT_NE(at(s, c.markerAt + 3, y), rgb(255, 0, 0)) << y;
            }
        }
        // The frame: one pixel above the bar, one below, and both ends.
        for (const auto &[x, y] : std::vector<std::pair<int, int>>{{0, top - 1}, {W / 2, top - 1}, {W / 2, top + 5},
                                                                    {W - 1, top + 2}, {0, top + 2}})
            EXPECT_EQ(at(s, x, y), c.frame) << x << "," << y;
        EXPECT_EQ(pureRed(s, static_cast<int>(c.textLeft), top - toInt32(s.textHeight()), W, top - 1).level,
                  c.dangerRed);
    }
}

TEST_F(PlayField, GaugeBarJittersByUpToTwentyPixels)
{
    form->rs.gauge = 20;
    const int W = statusWidth();
    const int y = gaugeTop() + 2;
    const auto barEnd = [&] {
        int x = 1;
        while (x + 1 < W && at(pts(), x + 1, y) == at(pts(), 1, y))
            ++x;
        return x;
    };
    r = 0.0;
    pass();
    EXPECT_EQ(barEnd(), W - 2); // up to the frame
    r = 0.999;
    pass();
    EXPECT_EQ(barEnd(), toInt32(W - 0.999 * 20));
}

// ---- The key's glyph ---------------------------------------------------------------------------

TEST_F(PlayField, GlyphGrowsRisesAndFadesOver42Passes)
{
    struct Probe {
        int pass;
        Color hit;
        Color miss;
    };
    // f = 1.1, 1.1^34 ≈ 25.55, 1.1^41 ≈ 49.79.
    const std::vector<Probe> probes{{1, rgb(0, 249, 249), rgb(11, 249, 249)},
                                    {34, rgb(0, 125, 125), rgb(249, 125, 125)},
                                    {41, rgb(0, 1, 1), rgb(2, 1, 1)}};
    form->drawMaskBand();
    for (const bool miss : {false, true}) {
        SCOPED_TRACE(miss ? "miss" : "hit");
        RoundState &rs = form->rs;
        rs.judgeFade = 1.0f;
        rs.judgeX = 200;
        rs.lastKey = QStringLiteral("W");
        rs.missFlag = miss ? -1 : 0;
        std::vector<float> levels;
        for (int k = 1; k <= 43; ++k) {
            pass();
            levels.push_back(rs.judgeFade);
            const auto probe = std::find_if(probes.begin(), probes.end(), [&](const Probe &p) { return p.pass == k; });
            if (probe == probes.end())
                continue;
            SCOPED_TRACE(k);
            const double f = rs.judgeFade;
            Surface ref = blankLike(txt(), 16 + f);
            ref.currentX = 200 - 2 * f;
            ref.currentY = -0.5 * f;
            ref.foreColor = miss ? probe->miss : probe->hit;
            ref.print(QStringLiteral("W"));
            EXPECT_TRUE(rowsEqual(txt().image(), ref.image(), 0, txt().image().height()));
            EXPECT_FALSE(allBlack(txt().image(), 0, txt().image().height()));
            EXPECT_EQ(txt().fontSize(), 16);
        }
        EXPECT_FLOAT_EQ(levels[0], 1.1f);
        EXPECT_FLOAT_EQ(levels[1], 1.21f);
        EXPECT_FLOAT_EQ(levels[2], 1.331f);
        for (int k = 1; k < 41; ++k)
            EXPECT_NEAR(levels[k] / levels[k - 1], 1.1, 1e-6) << k;
        EXPECT_NEAR(levels[40], 49.79, 0.01);
        // The 42nd pass draws the last frame at 50 and ends the effect.
        EXPECT_EQ(levels[41], 0.0f);
        EXPECT_EQ(levels[42], 0.0f);
        EXPECT_TRUE(allBlack(txt().image(), 0, txt().image().height()));
    }
}

// ---- Two device pixels per pixel ---------------------------------------------------------------

TEST_F(PlayField, AtPixelRatioTwoEveryCoordinateStaysLogicalAndLinesStayCrisp)
{
    setPixelRatio(2);
    layOut(366, 107);
    ASSERT_EQ(txt().scaleWidth(), 366);
    ASSERT_EQ(txt().image().width(), 732);

    form->drawMaskBand();
    // Each fade line covers exactly two device columns of its own grey: no blended columns.
    const QImage &mask = band().image();
    const int levels[] = {255, 230, 204, 178, 153, 128, 102, 76, 51, 26};
    for (int i = 0; i < 10; ++i) {
        const int x = 356 + i;
        for (int dx : {0, 1})
            for (int py = 0; py < 50; ++py)
                ASSERT_EQ(grey(pixel(band(), 2 * x + dx, py)), levels[i]) << x << "+" << dx << "," << py;
    }
    EXPECT_EQ(grey(pixel(band(), 711, 0)), 255);
    EXPECT_EQ(grey(pixel(band(), 700, 52)), 0); // below the band
    EXPECT_EQ(mask.height(), 214);

    hidden(10); // X = 36.6: the box and its fade start at the rounded column 37
    form->drawMaskBand();
    for (int dx : {0, 1}) {
        EXPECT_EQ(grey(pixel(band(), 2 * 37 + dx, 10)), 0);
        EXPECT_EQ(grey(pixel(band(), 2 * 38 + dx, 10)), 5);
        EXPECT_EQ(grey(pixel(band(), 2 * 87 + dx, 10)), 255);
    }

    // The gauge at 5: bar, marker and frame at logical places, two device pixels each.
    form->chkHidden->setChecked(false);
    form->drawMaskBand();
    RoundState &rs = form->rs;
    rs.gauge = 5;
    rs.textLeft = 202;
    pass();
    const int top = gaugeTop();
    for (int py = 2 * top; py < 2 * top + 10; ++py) {
        EXPECT_EQ(pixel(pts(), 2 * 82 + 1, py), rgb(0, 128, 0)) << py;
        EXPECT_EQ(pixel(pts(), 2 * 83, py), rgb(0, 0, 0)) << py;
        EXPECT_EQ(pixel(pts(), 2 * 92 - 1, py), rgb(0, 0, 0)) << py;
        for (int px = 2 * 92; px < 2 * 95; ++px)
            EXPECT_EQ(pixel(pts(), px, py), rgb(255, 0, 0)) << px << "," << py;
        EXPECT_EQ(pixel(pts(), 2 * 95, py), rgb(0, 0, 0)) << py;
        EXPECT_EQ(pixel(pts(), 731, py), rgb(159, 151, 25)) << py;
        EXPECT_EQ(pixel(pts(), 730, py), rgb(159, 151, 25)) << py;
        EXPECT_EQ(pixel(pts(), 729, py), rgb(0, 0, 0)) << py;
    }
    for (int px : {0, 300, 731}) {
        EXPECT_EQ(pixel(pts(), px, 2 * top - 2), rgb(159, 151, 25));
        EXPECT_EQ(pixel(pts(), px, 2 * top - 1), rgb(159, 151, 25));
        EXPECT_EQ(pixel(pts(), px, 2 * top - 3), rgb(0, 0, 0));
    }

    // Text lands at logical positions too: the judgement text starts where it does at ratio 1.
    rs.textLeft = 301;
    rs.judgeText = QStringLiteral("Perfect!");
    rs.judgeColor = 0x00FFFF;
    rs.lastHitTick = passTick;
    pass();
    const int lineHeight = toInt32(pts().textHeight());
    const int left = leftmostOf(pts(), yellow, 0, 2 * lineHeight);
    EXPECT_GE(left, 2 * 301);
    EXPECT_LE(left, 2 * 304);
}

} // namespace
} // namespace vx::test
