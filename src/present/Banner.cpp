#include "present/Module1.h"

#include "platform/Rounding.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>

namespace vx {

namespace {

// A moving coordinate is 16 bits wide; one that does not fit counts as a failure.
bool toCoordinate(double v, std::int16_t &out)
{
    const double r = roundHalfEven(v);
    if (!(r >= std::numeric_limits<std::int16_t>::min() && r <= std::numeric_limits<std::int16_t>::max()))
        return false;
    out = static_cast<std::int16_t>(r);
    return true;
}

// Runs one animation phase: `pass(t)` draws the picture for t ms into the phase and says
// whether the phase goes on. A pass in the same tick as the last picture would draw that
// picture again, so it only yields and naps instead of burning a core.
template <class Pass>
void animate(BannerScreen &screen, bool &failed, Pass &&pass)
{
    Platform &pf = screen.platform();
    const std::uint32_t t0 = pf.tickCount();
    std::optional<std::uint32_t> shown;
    while (!failed) {
        const std::uint32_t tick = pf.tickCount();
        if (shown == tick) {
            pf.doEvents();
            pf.sleep(1);
            continue;
        }
        if (!pass(tickDiff(tick, t0)))
            break;
        if (!screen.refresh())
            failed = true;
        shown = tick;
        pf.doEvents();
    }
}

} // namespace

void ShowBanner(const QString &text, std::int32_t mode, bool cuePlaying)
{
    if (bannerBusy || !screenForm)
        return;
    bannerBusy = true;
    BannerScreen &screen = *screenForm;
    Surface &s = screen.surface();
    Platform &pf = screen.platform();
    bool failed = false;

    s.setFontName(QStringLiteral("Times New Roman"));
    s.setFontItalic(true);
    s.setFontSize(32);

    const std::int32_t w = toInt32(s.textWidth(text));
    const std::int32_t X = toInt32((s.scaleWidth() - w) / 2.0);
    const std::int32_t Y = toInt32((s.scaleHeight() - s.textHeight(text)) / 2.0);
    const std::int32_t W = s.scaleWidth();
    const std::int32_t H = s.scaleHeight();
    const std::int32_t half = toInt32(w / 2.0);

    PrintAt(text, 0, Y, rgb(255, 255, 255));
    {
        // The text as one-bit picture, laid out at x = 0; every copy places it by its destination.
        const MonoSnapshot snapshot(s, W, H);
        s.bitBlt(0, 0, W, H, RasterOp::Blackness);

        if (mode == 2 || mode == 3) {
            failed = false;
            const std::int32_t rightX = toInt32(X + w / 2.0);
            animate(screen, failed, [&](std::int32_t t) {
                std::int16_t p = 0;
                if (!toCoordinate(static_cast<double>(H) - t, p)) {
                    failed = true;
                    return false;
                }
                if (p <= 0)
                    return false;
                s.bitBlt(X, -p, half, H, snapshot, 0, 0);
                s.bitBlt(rightX, p, half, H, snapshot, half, 0);
                return true;
            });
        } else {
            animate(screen, failed, [&](std::int32_t t) {
                std::int16_t p = 0;
                const double q = t / 20.0;
                if (!toCoordinate(W - q * q, p)) {
                    failed = true;
                    return false;
                }
                if (p <= X - 10)
                    return false;
                s.bitBlt(p, 0, W, H, snapshot, 0, 0);
                // A text wider than the surface, once past the left edge, leaves columns the copy
                // no longer reaches; they would keep the picture before.
                if (p < 0)
                    s.bitBlt(W + p, 0, -p, H, RasterOp::Blackness);
                return true;
            });
        }

        failed = false;
        if (!cuePlaying)
            PlaySoundFile(pf.sound(), QStringLiteral("gan.wav"), 0, false);
        animate(screen, failed, [&](std::int32_t t) {
            if (t >= 100)
                return false;
            s.bitBlt(0, 0, W, H, RasterOp::Blackness);
            const double r1 = pf.nextRandom();
            const double r2 = pf.nextRandom();
            s.bitBlt(toInt32(X + r1 * 6 - 3), toInt32(r2 * 6 - 3), W, H, snapshot, 0, 0);
            return true;
        });
        failed = false;

        // The last shaken copy can reach up to 3 pixels past the ends of the resting one; clear them first.
        s.bitBlt(0, 0, W, H, RasterOp::Blackness);
        s.bitBlt(X, 0, W, H, snapshot, 0, 0);
        if (!screen.refresh())
            failed = true;

        if (mode != 1 && mode != 3) {
            pf.sleep(500);
            animate(screen, failed, [&](std::int32_t t) {
                std::int16_t p = 0;
                const double q = t / 10.0;
                if (!toCoordinate(X - q * q, p)) {
                    failed = true;
                    return false;
                }
                if (p <= -w)
                    return false;
                // Wider copies would reach past the snapshot, which has nothing there: everything right
                // of it shows the background, so a text wider than the surface leaves no smear.
                s.bitBlt(p, 0, W, H, snapshot, 0, 0);
                s.bitBlt(std::max(0, p + W), 0, W, H, RasterOp::Blackness);
                return true;
            });
            ClearScreen();
            screen.refresh();
        }
    }
    bannerBusy = false;
}

} // namespace vx
