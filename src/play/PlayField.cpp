#include "round/frmClackon.h"

#include "platform/Rounding.h"
#include "present/NumberFormat.h"

#include <QCheckBox>
#include <QLabel>

#include <algorithm>
#include <cmath>

namespace vx {

namespace {

constexpr int bandHeight = 25;
constexpr Color black = rgb(0, 0, 0);
constexpr Color otherFrame = 1677215; // a dim olive, not white

bool isOdd(std::int32_t n) { return n % 2 != 0; }

// Dark, dim and bright red in turn with the line's position.
Color dangerColor(std::int32_t n) { return rgb((n % 3) * 128, 0, 0); }

} // namespace

void frmClackon::drawMaskBand()
{
    Surface &m = surface();
    const double W = m.scaleWidth();
    m.filledBox(0, 0, W, bandHeight, rgb(255, 255, 255));
    for (int i = 0; i <= 10; ++i) {
        const int g = toInt32(i * 25.5);
        m.line(W - i, 0, 0, bandHeight, rgb(g, g, g));
    }
    if (chkHidden->isChecked()) {
        const double X = W * hiddenPosition() * 0.01;
        m.filledBox(0, 0, X, bandHeight, black);
        for (int i = 0; i <= 50; ++i) {
            const double x = W * hiddenPosition() * 0.01 + i;
            const int g = toInt32(i * 5.1);
            m.line(x, 0, 0, bandHeight, rgb(g, g, g));
        }
    }
    // The band shows between the strips; the next yield puts it on screen.
    screen->update();
}

void frmClackon::drawPass(std::int32_t passTick, std::int32_t statusWidth, std::int32_t gaugeTop)
{
    Surface &txt = picTxt->surface();
    Surface &pts = picPTS->surface();
    const std::int32_t n = toInt32(rs.textLeft);

    txt.cls();
    pts.cls();

    if (rs.textLeft < 80) {
        txt.foreColor = dangerColor(n);
        txt.currentY = (n % 6) - 2;
        txt.print(QStringLiteral("DANGER!!"));
    }

    txt.currentX = rs.textLeft;
    txt.currentY = 0;
    txt.foreColor = rgb(0, 255, 255);
    txt.print(rs.targetText);

    txt.bitBlt(0, 0, toInt32(surface().scaleWidth()), bandHeight, RasterOp::SrcAnd, &surface(), 0, 0);

    // Status strip.
    const std::int32_t d = tickDiff(static_cast<std::uint32_t>(passTick), static_cast<std::uint32_t>(rs.lastHitTick));
    if (d > 2000) {
        rs.judgeText.clear();
        rs.combo = 0;
    }
    pts.foreColor = isOdd(n) ? static_cast<Color>(rs.judgeColor) : black;
    pts.currentX = rs.textLeft + d * 0.01 - (d / 1000.0) * (d / 10.0);
    pts.print(statusTexts_.judgement(rs.judgeText, [](const QString &t) { return t + QLatin1Char(' '); }));

    pts.foreColor = rgb(0, 128, 255);
    pts.print(statusTexts_.shownScore(rs.shownScore, [](double v) { return formatDigits(v, 7) + QStringLiteral(" PTS"); }),
              false);
    if (rs.score != 0) {
        pts.foreColor = isOdd(n) ? rgb(255, 255, 0) : rgb(0, 255, 0);
        pts.print(statusTexts_.pendingScore(rs.score, [](double v) { return QStringLiteral("+ ") + formatDigits(v, 6); }));
    } else {
        pts.print(QString());
    }

    if (rs.combo > 3) {
        pts.setFontSize(24);
        pts.foreColor = rgb(255, 255, 0);
        pts.print(statusTexts_.combo(rs.combo, [](std::int32_t c) { return QString::number(c) + QStringLiteral(" combo"); }));
        pts.setFontSize(10);
    }

    const double r = platform_.nextRandom();
    const std::int32_t gaugeSpan = static_cast<std::int32_t>(rs.gauge) * statusWidth;
    const int shade = std::min(255, 128 * (isOdd(n) ? 2 : 1));
    const Color gaugeColor = rgb(rs.gauge <= 4 ? shade : 0, rs.gauge >= 3 ? shade : 0, rs.gauge >= 18 ? shade : 0);
    pts.filledBox(0, gaugeTop, gaugeSpan / 20.0 - r * 20, 4, gaugeColor);
    pts.filledBox(gaugeSpan / 20.0, gaugeTop, 2, 4, rgb(255, 0, 0));

    if (rs.gauge <= 4) {
        pts.foreColor = dangerColor(n);
        pts.currentX = rs.textLeft;
        pts.currentY = gaugeTop - pts.textHeight(QStringLiteral("DANGER"));
        pts.print(QStringLiteral("DANGER!!"));
        pts.box(0, gaugeTop - 1, statusWidth - 1, 6, isOdd(n) ? rgb(255, 0, 0) : black);
    } else {
        pts.box(0, gaugeTop - 1, statusWidth - 1, 6, otherFrame);
    }

    // The last key's glyph grows, rises and fades over 42 passes.
    float f = rs.judgeFade;
    if (f > 50 || f <= 0) {
        rs.judgeFade = 0;
        return;
    }
    f = static_cast<float>(f * 1.1);
    if (f > 50)
        f = 50;
    rs.judgeFade = f;
    txt.currentX = rs.judgeX - 2 * f;
    txt.currentY = -0.5 * f;
    const int g = toInt32((50 - f) * 255 / 50.0);
    const int red = rs.missFlag ? toInt32(255 - std::fabs(25 - f) * 255 / 25.0) : 0;
    txt.foreColor = rgb(red, g, g);
    txt.setFontSize(16 + f);
    txt.print(rs.lastKey);
    txt.setFontSize(16);
    if (f == 50)
        rs.judgeFade = 0;
}

} // namespace vx
