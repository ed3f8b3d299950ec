#include "round/frmClackon.h"

#include "present/Module1.h"
#include "present/Spinner.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

namespace vx {

void frmClackon::Form_Load()
{
    rs.keyRows = {QStringLiteral("1234567890-^\\"), QStringLiteral("QWERTYUIOP@["), QStringLiteral("ASDFGHJKL;:]"),
                  QStringLiteral("ZXCVBNM,./_")};
    rs.speedSetting = 105 - vsnS->value();
    rs.charCount = static_cast<std::int16_t>(110 - vsNt->value());
    show();
    screenForm = this;
    ClearScreen();
    ShowBanner(QStringLiteral("Welcome to"), 1, false);
    platform_.sleep(500);
    ShowBanner(QStringLiteral("VX"), 3, false);
    platform_.sleep(500);
    ShowBanner(QStringLiteral("Clackon!"), 2, false);
    frSetting->setVisible(true);
    cmdStart->setVisible(true);
    // The first control in the tab order takes the focus and shows it.
    cmdStart->setFocus();
}

void frmClackon::hscHidP_Change()
{
    // The thumb's place: the value itself once a drag is over, the dragged place during one.
    lblhid->setText(QString::number(hscHidP->sliderPosition()));
}

void frmClackon::hscHidP_Scroll()
{
    lblhid->setText(QString::number(hscHidP->sliderPosition()));
}

void frmClackon::vsnS_Change()
{
    lblnSpd->setText(QString::number(105 - vsnS->value()));
    rs.speedSetting = 105 - vsnS->value();
}

void frmClackon::vsNt_Change()
{
    lblnumTxts->setText(QString::number(110 - vsNt->value()));
    rs.charCount = static_cast<std::int16_t>(110 - vsNt->value());
}

void frmClackon::Form_QueryUnload()
{
    rs.targetText.clear();
    rs.isPlaying = false;
    // The window system is answered, but nothing queued behind the request runs: a click on Start
    // must not play a whole round before the program ends.
    platform_.answerWindowSystem();
    platform_.end();
}

} // namespace vx
