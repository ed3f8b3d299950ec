#include "round/frmClackon.h"

#include "platform/Rounding.h"
#include "present/Module1.h"
#include "present/NumberFormat.h"
#include "results/Report.h"
#include "results/frmResult.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

namespace vx {

namespace {

constexpr double pointsPerStep = 100;
constexpr int shortestStepMs = 50;
constexpr double perfectBonus = 1000;
constexpr int holdMs = 1000;
constexpr double tallyColorBound = 1677216;


} // namespace

void frmClackon::roundEnd()
{
    Platform &pf = platform_;
    Surface &s = surface();

    QString reportText = report::headLines(pf.now(), rs.charCount, rs.speedSetting, chkHidden->isChecked(),
                                           lblhid->text());
    const bool cleared = rs.targetText.isEmpty();
    if (cleared)
        announce(pf, QStringLiteral("cleared.wav"), QStringLiteral("CLEARED!"), 0);
    else
        announce(pf, QStringLiteral("failure.wav"), QStringLiteral("FAILURE"), 0);
    reportText += report::outcomeLine(cleared);
    reportText += report::countLines(rs.perfectCount, rs.greatCount, rs.goodCount, rs.missCount);

    picTxt->surface().foreColor = rgb(0, 255, 255);

    s.setFontName(QStringLiteral("ＭＳ ゴシック"));
    s.setFontSize(10);
    s.setFontBold(true);
    s.setFontItalic(false);
    s.fontTransparent = false;
    s.cls();
    s.foreColor = rgb(255, 255, 0);
    s.print(QStringLiteral("Result:"));
    s.print(QString());

    // One count-up: each step adds its points, flickers the line in a new colour and clicks.
    const auto countUp = [&](const QString &label, std::int32_t steps) {
        for (std::int32_t k = 1; k <= steps; ++k) {
            const std::uint32_t t0 = pf.tickCount();
            rs.shownScore += pointsPerStep;
            s.currentX = 0;
            s.foreColor = static_cast<Color>(toInt32(pf.nextRandom() * tallyColorBound));
            s.print(label + printItem(k) + QStringLiteral(" x 100 pts"), false);
            refresh();
            PlaySoundFile(pf.sound(), QStringLiteral("pi.wav"), 0, false);
            pf.waitUntil(t0 + shortestStepMs);
        }
    };
    const auto finalLine = [&](const QString &label, std::int32_t value) {
        s.currentX = 0;
        s.foreColor = rgb(255, 255, 255);
        s.print(label + printItem(value) + QStringLiteral(" x 100 pts"));
        refresh();
    };

    const QString comboLabel = QStringLiteral("MaxCombo:");
    countUp(comboLabel, rs.maxCombo);
    reportText += report::maxComboLine(rs.maxCombo);
    finalLine(comboLabel, rs.maxCombo);

    const QString gaugeLabel = QStringLiteral("Gauge:   ");
    countUp(gaugeLabel, rs.gauge);
    reportText += report::gaugeLine(rs.gauge);
    if (rs.gauge < 0)
        rs.gauge = 0;
    finalLine(gaugeLabel, rs.gauge);
    rs.gauge = 0;

    if (rs.missTotal == 0 && rs.hitCount == rs.charCount) {
        s.print(QStringLiteral("Perfect: ") + printItem(1000) + QStringLiteral(" pts"));
        rs.shownScore += perfectBonus;
        reportText += report::perfectBonusLine();
        refresh();
    }

    pf.waitUntil(pf.tickCount() + holdMs);
    reportText += report::totalLine(rs.shownScore);

    rs.isPlaying = false;
    rs.targetText.clear();
    announce(pf, QStringLiteral("total.wav"), QStringLiteral("Total"), 1);
    pf.sleep(500);

    const QString digits = formatDigits(rs.shownScore);
    const auto length = static_cast<std::int16_t>(digits.size());
    for (rs.digitIndex = 1; rs.digitIndex <= length; ++rs.digitIndex) {
        const QString ch = digits.mid(rs.digitIndex - 1, 1);
        announce(pf, ch + QStringLiteral(".wav"), ch, 3);
    }

    announce(pf, QStringLiteral("pts.wav"), formatGrouped(rs.shownScore) + QStringLiteral(" pts."), 2);

    publishReport(reportText);

    activateWindow();
    setFocus();
    picTxt->surface().cls();
    picPTS->surface().cls();
    frSetting->setVisible(true);
    rs.isPlaying = false;
    cmdStart->setVisible(true);
    // Within the main window the focus goes to the first control in the tab order, which shows it.
    cmdStart->setFocus();
    picPTS->setVisible(false);
    picTxt->setVisible(false);
    setWindowTitle(QStringLiteral("Total : ") + formatGrouped(rs.shownScore));
}

void frmClackon::publishReport(const QString &reportText)
{
    // A close the player made before this moment is handled first, so the report opens a new
    // window rather than going down with the old one.
    platform_.answerWindowSystem();
    // A window the player has just closed is only waiting to be deleted: it and its history are gone.
    if (!resultWindow || !resultWindow->isVisible()) {
        resultWindow = new frmResult(this);
        resultWindow->placeBeside(*this);
    }
    resultWindow->setText(report::stacked(reportText, resultWindow->text()));
    resultWindow->show();
    resultWindow->raise();
}

} // namespace vx
