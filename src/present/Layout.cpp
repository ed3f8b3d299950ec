#include "present/Layout.h"

#include "platform/Rounding.h"
#include "present/AppIcon.h"
#include "present/MarkedScrollBar.h"
#include "present/Spinner.h"
#include "results/frmResult.h"
#include "round/frmClackon.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextDocument>

#include <algorithm>
#include <optional>

namespace vx {

int twips(int value)
{
    return toInt32(value / 15.0);
}

namespace {

void place(QWidget &w, int left, int top, int width, int height)
{
    w.setGeometry(twips(left), twips(top), twips(width), twips(height));
}

QFont designFont(const QString &face, double points, bool bold = false)
{
    QFont f(face);
    f.setPointSizeF(points);
    f.setBold(bold);
    f.setItalic(false);
    return f;
}

void setColors(QWidget &w, std::optional<Color> fore, std::optional<Color> back)
{
    QPalette pal = w.palette();
    if (fore) {
        pal.setColor(QPalette::WindowText, toQColor(*fore));
        pal.setColor(QPalette::Text, toQColor(*fore));
        pal.setColor(QPalette::ButtonText, toQColor(*fore));
    }
    if (back) {
        pal.setColor(QPalette::Window, toQColor(*back));
        w.setAutoFillBackground(true);
    }
    w.setPalette(pal);
}

QLabel *makeLabel(QWidget *parent, const char *name, const QString &caption, int tabIndex)
{
    auto *label = new QLabel(caption, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setProperty("tabIndex", tabIndex);
    label->setContentsMargins(0, 0, 0, 0);
    return label;
}

void setScrollRange(QScrollBar &bar, int min, int max, int small, int large, int value)
{
    bar.setRange(min, max);
    bar.setSingleStep(small);
    bar.setPageStep(large);
    bar.setValue(value);
}

// Qt's scroll bars invert their controls, which swaps Left and Right on a horizontal one;
// here Right steps up, like the right arrow button and like the desktop the layout was made for.
class HorizontalArrowKeys : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key != Qt::Key_Left && key != Qt::Key_Right)
            return false;
        static_cast<QScrollBar *>(watched)->triggerAction(key == Qt::Key_Right ? QAbstractSlider::SliderSingleStepAdd
                                                                                 : QAbstractSlider::SliderSingleStepSub);
        return true;
    }
};

// Every colour of the toolkit's own palette, set on the widget itself so none comes down from its parent.
void useToolkitColours(QWidget &w)
{
    QPalette own = QApplication::palette(&w);
    own.setResolveMask(~QPalette::ResolveMask(0));
    w.setPalette(own);
}

const QString msGothic = QStringLiteral("ＭＳ ゴシック");
const QString msPGothic = QStringLiteral("ＭＳ Ｐゴシック");

} // namespace

void layoutMainWindow(frmClackon &form)
{
    form.setObjectName(QStringLiteral("frmClackon"));
    form.setWindowTitle(QStringLiteral("VX-Clackon!"));
    form.setWindowIcon(appIcon());
    form.setFixedSize(twips(5490), twips(1605));
    form.setFont([] {
        QFont f = designFont(QStringLiteral("Impact"), 21.75);
        f.setItalic(true);
        return f;
    }());
    setColors(form, std::nullopt, rgb(0, 0, 0));

    // The retained image lies beneath every control.
    form.screen = new SurfaceView(&form);
    form.screen->setObjectName(QStringLiteral("screen"));
    form.screen->moveTo(0, 0, form.width(), form.height());

    form.picPTS = new SurfaceView(&form);
    form.picPTS->setObjectName(QStringLiteral("picPTS"));
    form.picPTS->setProperty("tabIndex", 4);
    place(*form.picPTS, 3600, 1560, 4695, 255);
    form.picPTS->moveTo(form.picPTS->x(), form.picPTS->y(), form.picPTS->width(), form.picPTS->height());
    form.picPTS->surface().setFontName(QStringLiteral("Arial"));
    form.picPTS->surface().setFontSize(12);
    form.picPTS->surface().setFontBold(true);
    form.picPTS->surface().setBackColor(rgb(0, 0, 0));
    form.picPTS->hide();

    form.picTxt = new SurfaceView(&form);
    form.picTxt->setObjectName(QStringLiteral("picTxt"));
    form.picTxt->setProperty("tabIndex", 5);
    place(*form.picTxt, 5160, 1080, 2535, 615);
    form.picTxt->moveTo(form.picTxt->x(), form.picTxt->y(), form.picTxt->width(), form.picTxt->height());
    form.picTxt->surface().setFontName(msPGothic);
    form.picTxt->surface().setFontSize(15.75);
    form.picTxt->surface().setFontBold(true);
    form.picTxt->surface().setBackColor(rgb(0, 0, 0));
    form.picTxt->hide();

    form.frSetting = new QGroupBox(QStringLiteral("Setting"), &form);
    form.frSetting->setObjectName(QStringLiteral("frSetting"));
    form.frSetting->setProperty("tabIndex", 1);
    place(*form.frSetting, 135, 0, 5295, 1095);
    form.frSetting->setFont(designFont(msPGothic, 9.75));
    setColors(*form.frSetting, rgb(255, 0, 0), rgb(0, 0, 0));
    form.frSetting->hide();
    QWidget *fr = form.frSetting;

    form.hscHidP = new MarkedScrollBar(Qt::Horizontal, fr);
    form.hscHidP->setObjectName(QStringLiteral("hscHidP"));
    form.hscHidP->setProperty("tabIndex", 11);
    place(*form.hscHidP, 3120, 240, 1575, 225);
    setScrollRange(*form.hscHidP, 10, 90, 1, 20, 10);
    // Change fires once the thumb is let go; dragging reports Scroll.
    form.hscHidP->setTracking(false);
    // A scroll bar of its own is a tab stop, so its arrow and page keys work.
    form.hscHidP->setFocusPolicy(Qt::TabFocus);
    form.hscHidP->installEventFilter(new HorizontalArrowKeys(form.hscHidP));
    // The bars have no colours of their own: the toolkit's, not the frame's red text.
    useToolkitColours(*form.hscHidP);

    form.vsNt = new Spinner(fr);
    form.vsNt->setObjectName(QStringLiteral("vsNt"));
    form.vsNt->setProperty("tabIndex", 9);
    place(*form.vsNt, 1440, 307, 240, 240);
    setScrollRange(*form.vsNt, 10, 100, 1, 10, 80);

    form.vsnS = new Spinner(fr);
    form.vsnS->setObjectName(QStringLiteral("vsnS"));
    form.vsnS->setProperty("tabIndex", 7);
    place(*form.vsnS, 1440, 667, 240, 240);
    setScrollRange(*form.vsnS, 5, 100, 1, 10, 75);
    for (Spinner *spinner : {form.vsNt, form.vsnS})
        useToolkitColours(*spinner);

    form.chkHidden = new QCheckBox(QStringLiteral("Hidden"), fr);
    form.chkHidden->setObjectName(QStringLiteral("chkHidden"));
    form.chkHidden->setProperty("tabIndex", 6);
    place(*form.chkHidden, 2160, 240, 975, 225);
    form.chkHidden->setFont(designFont(QStringLiteral("Arial"), 9, true));
    setColors(*form.chkHidden, rgb(255, 255, 255), rgb(0, 0, 0));
    {
        // Styles paint the label's ground in Button; the box itself stays light, as on the desktop,
        // with its mark in the box's own dark text colour so the setting can be read at a glance.
        QPalette pal = form.chkHidden->palette();
        pal.setColor(QPalette::Button, QColor(0, 0, 0));
        pal.setColor(QPalette::Base, QColor(255, 255, 255));
        pal.setColor(QPalette::Text, QColor(0, 0, 0));
        form.chkHidden->setPalette(pal);
    }
    form.chkHidden->setChecked(false);

    form.lblhid = makeLabel(fr, "lblhid", QStringLiteral("10"), 12);
    place(*form.lblhid, 4800, 255, 210, 195);
    form.lblhid->setFont(designFont(msPGothic, 9.75));
    // Wide enough for "90" in the stand-in face, which runs a little wider than the design's.
    form.lblhid->resize(std::max(form.lblhid->width(), form.lblhid->fontMetrics().horizontalAdvance(QStringLiteral("90")) + 1),
                        form.lblhid->height());
    setColors(*form.lblhid, rgb(0, 255, 255), std::nullopt);

    form.lblnumTxts = makeLabel(fr, "lblnumTxts", QStringLiteral("30"), 10);
    place(*form.lblnumTxts, 960, 307, 480, 240);
    form.lblnumTxts->setFont(designFont(msGothic, 9.75));
    // Transparent on the black panel: green on the design's pink could hardly be read.
    setColors(*form.lblnumTxts, rgb(0, 255, 0), std::nullopt);

    form.lblnSpd = makeLabel(fr, "lblnSpd", QStringLiteral("30"), 8);
    place(*form.lblnSpd, 960, 667, 480, 240);
    form.lblnSpd->setFont(designFont(msGothic, 9.75));
    setColors(*form.lblnSpd, rgb(0, 255, 0), std::nullopt);

    form.lblCap[1] = makeLabel(fr, "lblCap_1", QStringLiteral("速度："), 3);
    place(*form.lblCap[1], 435, 690, 495, 195);
    form.lblCap[0] = makeLabel(fr, "lblCap_0", QStringLiteral("文字数："), 2);
    place(*form.lblCap[0], 240, 330, 690, 195);
    for (QLabel *cap : form.lblCap) {
        cap->setFont(designFont(msPGothic, 9.75));
        setColors(*cap, rgb(255, 255, 0), std::nullopt);
    }

    form.cmdStart = new QPushButton(QStringLiteral("Start(&S)"), &form);
    form.cmdStart->setObjectName(QStringLiteral("cmdStart"));
    form.cmdStart->setProperty("tabIndex", 0);
    place(*form.cmdStart, 3360, 1200, 2055, 360);
    form.cmdStart->setFont(designFont(msPGothic, 9));
    form.cmdStart->hide();

    // Whichever control has the focus shows it, from the start and not only once Tab was pressed.
    form.setAttribute(Qt::WA_KeyboardFocusChange);

    // Tab order by the design's tab indices; labels, frame and strips take no focus.
    QWidget::setTabOrder(form.cmdStart, form.chkHidden);
    QWidget::setTabOrder(form.chkHidden, form.vsnS);
    QWidget::setTabOrder(form.vsnS, form.vsNt);
    QWidget::setTabOrder(form.vsNt, form.hscHidP);
}

void layoutResultWindow(frmResult &form)
{
    form.setObjectName(QStringLiteral("frmResult"));
    form.setWindowTitle(QStringLiteral("Result"));
    form.setWindowIcon(appIcon());
    form.resize(twips(4680), twips(3195));

    form.txtResult = new QPlainTextEdit(&form);
    form.txtResult->setObjectName(QStringLiteral("txtResult"));
    form.txtResult->setProperty("tabIndex", 0);
    place(*form.txtResult, 840, 960, 1215, 495);
    form.txtResult->setFont(designFont(msGothic, 9.75));
    form.txtResult->setLineWrapMode(QPlainTextEdit::NoWrap);
    form.txtResult->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    form.txtResult->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The face's lines are a pixel taller than its size here; without the document's own margin
    // a whole report still reads without scrolling at the window's designed size.
    form.txtResult->document()->setDocumentMargin(0);
}

} // namespace vx
