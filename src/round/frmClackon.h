#pragma once

#include "platform/Platform.h"
#include "platform/SurfaceView.h"
#include "play/StatusTexts.h"
#include "present/Module1.h"
#include "round/RoundState.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <cstdint>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QScrollBar;

namespace vx {

class Spinner;
class frmResult;

// The main window: the playing field, the banners and the settings.
class frmClackon : public QWidget, public BannerScreen {
    Q_OBJECT
public:
    explicit frmClackon(Platform &platform, QWidget *parent = nullptr);
    ~frmClackon() override;

    // BannerScreen: the window's own retained image.
    Surface &surface() override { return screen->surface(); }
    bool refresh() override;
    Platform &platform() override { return platform_; }

    RoundState rs;

    // Controls, owned by the window through Qt parenthood.
    SurfaceView *screen = nullptr; // the window's retained image, beneath every control
    SurfaceView *picPTS = nullptr;
    SurfaceView *picTxt = nullptr;
    QGroupBox *frSetting = nullptr;
    QScrollBar *hscHidP = nullptr;
    Spinner *vsNt = nullptr;
    Spinner *vsnS = nullptr;
    QCheckBox *chkHidden = nullptr;
    QLabel *lblhid = nullptr;
    QLabel *lblnumTxts = nullptr;
    QLabel *lblnSpd = nullptr;
    std::array<QLabel *, 2> lblCap{};
    QPushButton *cmdStart = nullptr;

    // The result window while it is open.
    QPointer<frmResult> resultWindow;

    // Events.
    void Form_Load();
    void Form_KeyPress(char32_t keyAscii);
    void Form_KeyDown(int keyCode, int shift);
    void Form_QueryUnload();
    void cmdStart_Click();
    void hscHidP_Change();
    void hscHidP_Scroll();
    void vsnS_Change();
    void vsNt_Change();

    // The whole round, from the opening banners to the settings state.
    void rgo();

    // Play-field drawing.
    void drawMaskBand();
    void drawPass(std::int32_t passTick, std::int32_t statusWidth, std::int32_t gaugeTop);

    // Round end, tally and report.
    void roundEnd();
    void publishReport(const QString &reportText);

    // The hidden-mode position, as the label shows it.
    int hiddenPosition() const;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void routeKey(const QKeyEvent &event);
    Platform &platform_;
    StatusTexts statusTexts_;
};

} // namespace vx
