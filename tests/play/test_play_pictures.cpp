// Every redraw pass of a scripted round, pixel for pixel against the straightforward drawing: each
// text laid out and drawn afresh with a new font and painter, every box filled in place. Whatever
// the pass keeps from one pass to the next must not show.

#include "fake/GameFixture.h"
#include "fake/ImageDifference.h"
#include "platform/Rounding.h"
#include "present/NumberFormat.h"

#include <QCheckBox>
#include <QPainter>
#include <QScrollBar>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

namespace vx::test {
namespace {

constexpr Color black = rgb(0, 0, 0);
constexpr int bandHeight = 25;

// A strip drawn the plain way: the same drawing state as a Surface, nothing kept between calls.
class PlainStrip {
public:
    PlainStrip(const Surface &like, double fontSize)
        : image_(like.image().size(), QImage::Format_RGB32)
        , dpr_(like.devicePixelRatio())
        , fontName_(like.fontName())
        , fontSize_(fontSize)
        , bold_(like.fontBold())
        , italic_(like.fontItalic())
    {
        image_.setDevicePixelRatio(dpr_);
        image_.setDotsPerMeterX(3780);
        image_.setDotsPerMeterY(3780);
        image_.fill(toPixel(black));
    }

    const QImage &image() const { return image_; }

    double x = 0;
    double y = 0;
    Color fore = black;

    void setFontSize(double s) { fontSize_ = s; }

    QFont font() const
    {
        QFont f(fontName_);
        f.setPointSizeF(fontSize_);
        f.setBold(bold_);
        f.setItalic(italic_);
        return f;
    }
    double lineHeight() const { return QFontMetricsF(font(), &image_).height(); }

    void print(const QString &text, bool lineEnd = true)
    {
        const QFont f = font();
        const QFontMetricsF m(f, &image_);
        if (!text.isEmpty()) {
            QPainter p(&image_);
            p.setFont(f);
            p.setPen(toQColor(fore));
            p.drawText(QPointF(x, y + m.ascent()), text);
        }
        if (lineEnd) {
            x = 0;
            y += m.height();
        } else {
            x += m.horizontalAdvance(text);
        }
    }

    // Both corners included, as the game's boxes.
    void filledBox(double bx, double by, double dx, double dy, Color c)
    {
        const int x0 = std::min(toInt32(bx), toInt32(bx + dx)), x1 = std::max(toInt32(bx), toInt32(bx + dx));
        const int y0 = std::min(toInt32(by), toInt32(by + dy)), y1 = std::max(toInt32(by), toInt32(by + dy));
        fill(x0, y0, x1 + 1, y1 + 1, c);
    }
    void box(double bx, double by, double dx, double dy, Color c)
    {
        const int x0 = std::min(toInt32(bx), toInt32(bx + dx)), x1 = std::max(toInt32(bx), toInt32(bx + dx));
        const int y0 = std::min(toInt32(by), toInt32(by + dy)), y1 = std::max(toInt32(by), toInt32(by + dy));
        fill(x0, y0, x1 + 1, y0 + 1, c);
        fill(x0, y1, x1 + 1, y1 + 1, c);
        fill(x0, y0, x0 + 1, y1 + 1, c);
        fill(x1, y0, x1 + 1, y1 + 1, c);
    }
    // The band's bright pixels let the strip through, its dark ones black it out.
    void maskWith(const QImage &band, int w, int h)
    {
        const int pw = std::min({image_.width(), band.width(), toInt32(w * dpr_)});
        const int ph = std::min({image_.height(), band.height(), toInt32(h * dpr_)});
        for (int py = 0; py < ph; ++py)
            for (int px = 0; px < pw; ++px)
                image_.setPixel(px, py, (image_.pixel(px, py) & (band.pixel(px, py) | 0xFF000000u)) | 0xFF000000u);
    }

private:
    void fill(int x0, int y0, int x1, int y1, Color c)
    {
        const QRect r = QRect(QPoint(toInt32(x0 * dpr_), toInt32(y0 * dpr_)),
                              QPoint(toInt32(x1 * dpr_) - 1, toInt32(y1 * dpr_) - 1))
                            .intersected(image_.rect());
        for (int py = r.top(); py <= r.bottom(); ++py)
            for (int px = r.left(); px <= r.right(); ++px)
                image_.setPixel(px, py, toPixel(c));
    }

    QImage image_;
    qreal dpr_;
    QString fontName_;
    double fontSize_;
    bool bold_;
    bool italic_;
};

bool isOdd(std::int32_t n) { return n % 2 != 0; }
Color dangerColor(std::int32_t n) { return rgb((n % 3) * 128, 0, 0); }

// The pass drawn the straightforward way from the state before it; rs takes the state after it.
void plainPass(RoundState &rs, PlainStrip &txt, PlainStrip &pts, const QImage &band, int bandWidth, double r,
               std::int32_t passTick, std::int32_t statusWidth, std::int32_t gaugeTop)
{
    const std::int32_t n = toInt32(rs.textLeft);
    if (rs.textLeft < 80) {
        txt.fore = dangerColor(n);
        txt.y = (n % 6) - 2;
        txt.print(QStringLiteral("DANGER!!"));
    }
    txt.x = rs.textLeft;
    txt.y = 0;
    txt.fore = rgb(0, 255, 255);
    txt.print(rs.targetText);
    txt.maskWith(band, bandWidth, bandHeight);

    const std::int32_t d = tickDiff(static_cast<std::uint32_t>(passTick), static_cast<std::uint32_t>(rs.lastHitTick));
    if (d > 2000) {
        rs.judgeText.clear();
        rs.combo = 0;
    }
    pts.fore = isOdd(n) ? static_cast<Color>(rs.judgeColor) : black;
    pts.x = rs.textLeft + d * 0.01 - (d / 1000.0) * (d / 10.0);
    pts.print(rs.judgeText + QLatin1Char(' '));
    pts.fore = rgb(0, 128, 255);
    pts.print(formatDigits(rs.shownScore, 7) + QStringLiteral(" PTS"), false);
    if (rs.score != 0) {
        pts.fore = isOdd(n) ? rgb(255, 255, 0) : rgb(0, 255, 0);
        pts.print(QStringLiteral("+ ") + formatDigits(rs.score, 6));
    } else {
        pts.print(QString());
    }
    if (rs.combo > 3) {
        pts.setFontSize(24);
        pts.fore = rgb(255, 255, 0);
        pts.print(QString::number(rs.combo) + QStringLiteral(" combo"));
        pts.setFontSize(10);
    }

    const std::int32_t gaugeSpan = static_cast<std::int32_t>(rs.gauge) * statusWidth;
    const int shade = std::min(255, 128 * (isOdd(n) ? 2 : 1));
    const Color gaugeColor = rgb(rs.gauge <= 4 ? shade : 0, rs.gauge >= 3 ? shade : 0, rs.gauge >= 18 ? shade : 0);
    pts.filledBox(0, gaugeTop, gaugeSpan / 20.0 - r * 20, 4, gaugeColor);
    pts.filledBox(gaugeSpan / 20.0, gaugeTop, 2, 4, rgb(255, 0, 0));
    if (rs.gauge <= 4) {
        pts.fore = dangerColor(n);
        pts.x = rs.textLeft;
        pts.y = gaugeTop - pts.lineHeight();
        pts.print(QStringLiteral("DANGER!!"));
        pts.box(0, gaugeTop - 1, statusWidth - 1, 6, isOdd(n) ? rgb(255, 0, 0) : black);
    } else {
        pts.box(0, gaugeTop - 1, statusWidth - 1, 6, 1677215);
    }

    float f = rs.judgeFade;
    if (f > 50 || f <= 0) {
        rs.judgeFade = 0;
        return;
    }
    f = static_cast<float>(f * 1.1);
    if (f > 50)
        f = 50;
    rs.judgeFade = f;
    txt.x = rs.judgeX - 2 * f;
    txt.y = -0.5 * f;
    const int g = toInt32((50 - f) * 255 / 50.0);
    const int red = rs.missFlag ? toInt32(255 - std::fabs(25 - f) * 255 / 25.0) : 0;
    txt.fore = rgb(red, g, g);
    txt.setFontSize(16 + f);
    txt.print(rs.lastKey);
    txt.setFontSize(16);
    if (f == 50)
        rs.judgeFade = 0;
}

struct PictureSetup {
    const char *name;
    qreal dpr;
    int hiddenPercent; // 0: not hidden
};

class PlayPictures : public GameFixture, public ::testing::WithParamInterface<PictureSetup> {
protected:
    void SetUp() override
    {
        GameFixture::SetUp();
        pf.randomOverride = [this] { return r; };
        const PictureSetup &s = GetParam();
        form->surface().setDevicePixelRatio(s.dpr);
        txt().setDevicePixelRatio(s.dpr);
        pts().setDevicePixelRatio(s.dpr);
        const int w = form->width(), h = form->height();
        txt().setFontSize(16);
        const int lineHeight = toInt32(txt().textHeight());
        form->picTxt->moveTo(0, 0, w, lineHeight);
        form->picPTS->moveTo(0, lineHeight + 1, w, h - lineHeight - 1);
        pts().setFontSize(10);
        if (s.hiddenPercent > 0) {
            form->hscHidP->setValue(s.hiddenPercent);
            form->chkHidden->setChecked(true);
        } else {
            form->chkHidden->setChecked(false);
        }
        form->drawMaskBand();

        RoundState &rs = form->rs;
        rs.targetText = QStringLiteral("FJ DK SL A; GH TY VB RU EI WO QP 12 90 -= [] ,. /' `~ !@ #$ %^ &* () "
                                       "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG");
        rs.textLeft = 200.37f;
        rs.gauge = 10;
        rs.score = 0;
        rs.shownScore = 0;
        rs.combo = 0;
        rs.judgeText.clear();
        rs.judgeFade = 0;
        rs.missFlag = 0;
        rs.speedSetting = 30;
        rs.isPlaying = true;
    }

    Surface &txt() { return form->picTxt->surface(); }
    Surface &pts() { return form->picPTS->surface(); }

    // One pass as the loop runs it, checked against the plain drawing of the same state.
    void pass(std::uint32_t tick, float travel)
    {
        RoundState &rs = form->rs;
        const std::int32_t statusWidth = pts().scaleWidth();
        const std::int32_t gaugeTop = toInt32(pts().scaleHeight() - 6.0);
        RoundState plain = rs;
        PlainStrip plainTxt(txt(), 16), plainPts(pts(), 10);
        plainPass(plain, plainTxt, plainPts, form->surface().image(), form->surface().scaleWidth(), r,
                  static_cast<std::int32_t>(tick), statusWidth, gaugeTop);
        form->drawPass(static_cast<std::int32_t>(tick), statusWidth, gaugeTop);
        ++passes;
        const QString t = firstDifference(txt().image(), plainTxt.image());
        const QString p = firstDifference(pts().image(), plainPts.image());
        ASSERT_TRUE(t.isEmpty()) << "line strip, pass " << passes << " at x " << rs.textLeft << ": " << qPrintable(t);
        ASSERT_TRUE(p.isEmpty()) << "status strip, pass " << passes << " at x " << rs.textLeft << ": "
                                 << qPrintable(p);
        EXPECT_EQ(rs.judgeFade, plain.judgeFade);
        EXPECT_EQ(rs.judgeText, plain.judgeText);
        // The loop's own step after drawing: the line moves on, the pending points drain.
        rs.textLeft = static_cast<float>(rs.textLeft - travel);
        if (rs.score != 0) {
            const double tenth = rs.score / 10;
            rs.shownScore += tenth;
            rs.score -= tenth;
            if (rs.score < 1) {
                rs.shownScore += rs.score;
                rs.score = 0;
            }
        }
        r = std::fmod(r + 0.318, 1.0);
    }

    double r = 0.25;
    int passes = 0;
};

TEST_P(PlayPictures, EveryPassOfAScriptedRoundMatchesThePlainDrawing)
{
    RoundState &rs = form->rs;
    // Keys at their own rhythm: every 7th pass right (then a pause that lets the line reach the
    // danger zone), every 41st wrong; a stretch at a low gauge.
    for (int i = 0; i < 420 && !HasFatalFailure(); ++i) {
        pf.advanceMicros(i % 3 == 0 ? 16'000 : 15'000);
        const std::uint32_t tick = now();
        if (i < 150 && i % 7 == 3 && !rs.targetText.isEmpty())
            form->Form_KeyPress(rs.targetText.toUcs4().value(0));
        if (i % 41 == 20)
            form->Form_KeyPress(U'\u00e9');
        if (i == 250)
            rs.gauge = 4;
        if (i == 330)
            rs.gauge = 2;
        // The line speeds up and slows down, so it passes fractional positions of every kind.
        pass(tick, 0.53f + static_cast<float>(i % 5) * 0.21f);
    }
    EXPECT_GE(rs.maxCombo, 5);
    EXPECT_GE(rs.missCount, 8);
    EXPECT_LT(rs.textLeft, 80);
}

INSTANTIATE_TEST_SUITE_P(Setups, PlayPictures,
                         ::testing::Values(PictureSetup{"plain", 1.0, 0}, PictureSetup{"hidden", 1.0, 40},
                                           PictureSetup{"twice", 2.0, 0}, PictureSetup{"hiddenTwice", 2.0, 60}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
} // namespace vx::test
