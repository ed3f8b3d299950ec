#pragma once

#include "platform/Rounding.h"
#include "platform/SystemPlatform.h"
#include "round/frmClackon.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QScreen>

// A main window in the middle of play: a long line, pending points, a combo and the glyph.
// A pass is the play loop's: both strips drawn (the band applied), then both presented.
struct MidPlayField {
    explicit MidPlayField(QScreen *screen)
        : platform(nullptr)
        , form(platform)
    {
        form.setScreen(screen);
        form.move(screen->geometry().topLeft() + QPoint(50, 50));
        form.show();
        vx::Surface &txt = form.picTxt->surface();
        txt.foreColor = vx::rgb(0, 255, 255);
        txt.setFontSize(16);
        const int h = vx::toInt32(txt.textHeight());
        form.picTxt->moveTo(0, 0, form.width(), h);
        form.picPTS->moveTo(0, h + 1, form.width(), form.height() - h - 1);
        form.picPTS->surface().setFontSize(10);
        form.picPTS->setVisible(true);
        form.picTxt->setVisible(true);
        QCoreApplication::processEvents();

        vx::RoundState &rs = form.rs;
        rs.targetText = QStringLiteral("QWERTYUIOPASDFGHJKL;ZXCVBNM,./");
        rs.textLeft = 150;
        rs.gauge = 12;
        rs.combo = 6;
        rs.score = 4500;
        rs.shownScore = 12345;
        rs.judgeText = QStringLiteral("Perfect!");
        rs.judgeColor = 0x00FFFF;
        rs.lastKey = QStringLiteral("Q");
        rs.judgeX = 150;
        statusWidth = form.picPTS->surface().scaleWidth();
        gaugeTop = vx::toInt32(form.picPTS->surface().scaleHeight() - 6.0);
        form.chkHidden->setChecked(true);
        form.drawMaskBand();
    }

    void draw()
    {
        vx::RoundState &rs = form.rs;
        // Keep the round alive: the line wanders, the glyph restarts, the judgement stays fresh.
        rs.textLeft = rs.textLeft > 20 ? rs.textLeft - 0.5f : 300;
        if (rs.judgeFade == 0)
            rs.judgeFade = 1;
        tick += 16;
        rs.lastHitTick = static_cast<std::int32_t>(tick - 300);
        form.drawPass(static_cast<std::int32_t>(tick), statusWidth, gaugeTop);
    }

    void present()
    {
        vx::SurfaceView::refresh({form.picTxt, form.picPTS});
    }

    void pass()
    {
        draw();
        present();
    }

    vx::SystemPlatform platform;
    vx::frmClackon form;
    std::int32_t statusWidth = 0;
    std::int32_t gaugeTop = 0;
    std::uint32_t tick = 1'000'000;
};
