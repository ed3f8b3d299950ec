#include "round/frmClackon.h"

#include "present/Module1.h"

#include <QChar>

namespace vx {

namespace {

struct Judgement {
    const char *sound;
    double points;
    const char *text;
    std::int32_t color;
};

constexpr Judgement perfect{"perfect.wav", 500, "Perfect!", 0x00FFFF};
constexpr Judgement great{"great.wav", 300, "Great!", 0x00FF00};
constexpr Judgement good{"good.wav", 100, "Good!", 0xFF0000};

// One character to one character, so a code point outside the keyboard rows stays a single miss.
QString upperCased(char32_t code)
{
    const char32_t upper = QChar::toUpper(static_cast<char32_t>(code));
    return QString::fromUcs4(&upper, 1);
}

} // namespace

void frmClackon::Form_KeyPress(char32_t keyAscii)
{
    if (!rs.isPlaying)
        return;
    const QString k = upperCased(keyAscii);
    rs.lastKey = k;
    rs.judgeX = rs.textLeft;
    rs.judgeFade = 1.0f;
    rs.missFlag = 0;

    const QString expected = rs.targetText.left(1);
    const std::int32_t now = static_cast<std::int32_t>(platform_.tickCount());
    if (!expected.isEmpty() && expected == k) {
        rs.hitCount += 1;
        if (rs.lastHitTick == 0)
            rs.lastHitTick = now;
        const std::int32_t elapsed = tickDiff(static_cast<std::uint32_t>(now), static_cast<std::uint32_t>(rs.lastHitTick));
        const Judgement &j = elapsed < 500 ? perfect : elapsed < 2000 ? great : good;
        PlaySoundFile(platform_.sound(), QString::fromLatin1(j.sound), 0, false);
        rs.score += j.points;
        rs.judgeText = QString::fromLatin1(j.text);
        rs.judgeColor = j.color;
        if (&j == &perfect)
            rs.perfectCount += 1;
        else if (&j == &great)
            rs.greatCount += 1;
        else {
            rs.goodCount += 1;
            rs.combo = 0;
        }
        rs.lastHitTick = now;
        rs.textLeft += static_cast<float>(picTxt->surface().textWidth(expected));
        rs.targetText.remove(0, 1);
        rs.gauge += 1;
        if (rs.gauge > 20)
            rs.gauge = 20;
        if (rs.judgeText != QLatin1String("Good!") && rs.textLeft > 0) {
            rs.combo += 1;
            if (rs.combo > rs.maxCombo)
                rs.maxCombo = rs.combo;
            if (rs.combo >= 4)
                rs.score += static_cast<double>(static_cast<std::int32_t>(rs.combo - 3) * 1000);
        }
    } else {
        rs.missFlag = -1;
        PlaySoundFile(platform_.sound(), QStringLiteral("miss.wav"), 0, false);
        rs.judgeText = k + QStringLiteral(" : MISS!");
        rs.judgeColor = 0x0000FF;
        rs.lastHitTick = now;
        rs.missCount += 1;
        platform_.beep();
        // The red is presented at once; the black under it waits for the next redraw pass to be
        // presented, so the flash stays on screen for a frame instead of a millisecond.
        picTxt->surface().setBackColor(rgb(255, 0, 0));
        picTxt->refresh();
        picTxt->surface().setBackColor(rgb(0, 0, 0));
        rs.combo = 0;
        rs.gauge -= 1;
        rs.missTotal += 1;
        if (rs.gauge == 0)
            rs.isPlaying = false;
    }
    setWindowTitle(QStringLiteral("Perf:%1 Great:%2 Good:%3 Miss:%4")
                       .arg(rs.perfectCount)
                       .arg(rs.greatCount)
                       .arg(rs.goodCount)
                       .arg(rs.missCount));
}

void frmClackon::Form_KeyDown(int keyCode, int)
{
    if (keyCode == 27) {
        rs.isPlaying = false;
        rs.gauge = 0;
    }
}

} // namespace vx
