#include "round/frmClackon.h"

#include "platform/Rounding.h"
#include "present/Module1.h"

#include <cmath>

namespace vx {

void frmClackon::rgo()
{
    Platform &pf = platform_;

    rs.isPlaying = false;
    announce(pf, QStringLiteral("ready.wav"), QStringLiteral("Ready?"), 3);
    pf.sleep(2000);
    announce(pf, QStringLiteral("herewego.wav"), QStringLiteral("Here We Go!"), 2);
    rs.isPlaying = true;
    picPTS->setVisible(true);
    picTxt->setVisible(true);

    for (;;) {
        const std::int32_t statusWidth = toInt32(picPTS->surface().scaleWidth());
        const std::int32_t gaugeTop = toInt32(picPTS->surface().scaleHeight() - 6.0);
        std::uint32_t refTick = pf.tickCount();
        drawMaskBand();

        while (rs.isPlaying && rs.textLeft >= 0 && rs.gauge > 0) {
            const std::uint32_t passTick = pf.tickCount();
            const double travel = static_cast<double>(tickDiff(passTick, refTick)) / rs.speedSetting;
            if (rs.textLeft - travel == rs.textLeft) {
                pf.sleep(1);
                continue;
            }
            if (rs.targetText.isEmpty() && rs.score == 0)
                rs.isPlaying = false;
            drawPass(static_cast<std::int32_t>(passTick), statusWidth, gaugeTop);
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
            refTick = passTick;
            SurfaceView::refresh({picTxt, picPTS});
            pf.doEvents();
        }

        if (rs.targetText.isEmpty() || rs.gauge < 5)
            break;

        // Edge recovery: the gauge buys the next character and the line comes back in.
        rs.gauge -= 5;
        Form_KeyPress(rs.targetText.toUcs4().value(0));
        if (rs.targetText.isEmpty())
            break;
        Surface &txt = picTxt->surface();
        for (rs.textLeft = 1; rs.textLeft <= 120; rs.textLeft += 2) {
            const std::uint32_t passTick = pf.tickCount();
            txt.cls();
            txt.currentX = rs.textLeft;
            txt.print(rs.targetText);
            // Not presented at once: the strip shows its new image at the yield.
            picTxt->update();
            pf.doEvents();
            pf.waitUntil(passTick + static_cast<std::uint32_t>(std::ceil(rs.textLeft / 10.0)));
        }
        rs.isPlaying = true;
    }

    if (rs.score != 0) {
        rs.shownScore += rs.score;
        rs.score = 0;
    }
    picPTS->setVisible(false);
    picTxt->setVisible(false);
    roundEnd();
}

} // namespace vx
