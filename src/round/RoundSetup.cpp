#include "round/frmClackon.h"

#include "platform/Rounding.h"
#include "present/Spinner.h"

#include <QGroupBox>
#include <QPushButton>

#include <cmath>

namespace vx {

namespace {

// The character at position p (1 to 48) of the keyboard rows.
QString rowCharacter(const std::array<QString, 4> &rows, int p)
{
    int offset = 0;
    for (const QString &row : rows) {
        if (p - offset <= row.size())
            return row.mid(p - offset - 1, 1);
        offset += static_cast<int>(row.size());
    }
    return {};
}

} // namespace

void frmClackon::cmdStart_Click()
{
    rs.targetText.clear();
    rs.shownScore = 0;
    // Points judged after the previous round's play ended belong to no round.
    rs.score = 0;
    rs.combo = 0;
    rs.maxCombo = 0;
    rs.perfectCount = 0;
    rs.goodCount = 0;
    rs.greatCount = 0;
    rs.missCount = 0;
    rs.lastKey.clear();
    rs.judgeFade = 0;
    rs.judgeX = 0;

    Surface &txt = picTxt->surface();
    txt.foreColor = rgb(0, 255, 255);
    txt.setFontSize(16);
    const int h = toInt32(txt.textHeight(QStringLiteral("I")));
    picTxt->moveTo(0, 0, width(), h);
    picPTS->moveTo(0, h + 1, width(), height() - h - 1);
    Surface &pts = picPTS->surface();
    pts.setFontSize(10);
    pts.foreColor = rgb(0, 128, 255);

    platform_.randomize(platform_.now().time().second());
    rs.hitCount = 0;
    rs.missTotal = 0;
    for (int i = 0; i < rs.charCount; ++i) {
        rs.pickIndex = static_cast<std::int16_t>(std::floor(platform_.nextRandom() * 48) + 1);
        rs.pickChar = rowCharacter(rs.keyRows, rs.pickIndex);
        rs.targetText += rs.pickChar;
    }
    rs.textLeft = static_cast<float>(txt.scaleWidth());

    frSetting->setVisible(false);
    rs.isPlaying = true;
    cmdStart->setVisible(false);
    // The hidden controls must not keep the keys: Space on the button would start a round inside this one.
    setFocus();
    rs.speedSetting = static_cast<std::int16_t>(105 - vsnS->value());
    rs.charCount = static_cast<std::int16_t>(110 - vsNt->value());
    rs.gauge = 5;
    rs.lastHitTick = 0;
    rgo();
}

} // namespace vx
