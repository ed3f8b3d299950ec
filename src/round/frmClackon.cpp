#include "round/frmClackon.h"

#include "present/Layout.h"
#include "present/Spinner.h"
#include "results/frmResult.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

namespace vx {

frmClackon::frmClackon(Platform &platform, QWidget *parent)
    : QWidget(parent)
    , platform_(platform)
{
    layoutMainWindow(*this);
    connect(cmdStart, &QPushButton::clicked, this, [this] { cmdStart_Click(); });
    connect(hscHidP, &QScrollBar::valueChanged, this, [this] { hscHidP_Change(); });
    connect(hscHidP, &QScrollBar::sliderMoved, this, [this] { hscHidP_Scroll(); });
    connect(vsnS, &QScrollBar::valueChanged, this, [this] { vsnS_Change(); });
    connect(vsNt, &QScrollBar::valueChanged, this, [this] { vsNt_Change(); });
    // Every key of this window reaches the key handlers, whichever control has the focus.
    qApp->installEventFilter(this);
}

frmClackon::~frmClackon()
{
    if (screenForm == this)
        screenForm = nullptr;
}

bool frmClackon::refresh()
{
    return screen->refresh();
}

int frmClackon::hiddenPosition() const
{
    return lblhid->text().toInt();
}

void frmClackon::closeEvent(QCloseEvent *event)
{
    event->ignore();
    Form_QueryUnload();
}

namespace {

// The classic key code of a key, as the key-down handler knows it.
int keyCodeOf(const QKeyEvent &event)
{
    switch (event.key()) {
    case Qt::Key_Escape: return 27;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab: return 9;
    case Qt::Key_Space: return 32;
    default: break;
    }
    const int key = event.key();
    if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z))
        return key;
    return 0;
}

} // namespace

void frmClackon::routeKey(const QKeyEvent &event)
{
    Form_KeyDown(keyCodeOf(event), static_cast<int>(event.modifiers() >> 25));
    const QList<uint> chars = event.text().toUcs4();
    for (uint c : chars)
        Form_KeyPress(static_cast<char32_t>(c));
}

bool frmClackon::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    auto *target = static_cast<QWidget *>(watched);
    if (target->window() != this)
        return false;
    // A key travels up from the focus widget; take it once, where it first lands.
    QWidget *first = QApplication::focusWidget();
    if (!first || first->window() != this)
        first = this;
    if (target != first)
        return false;
    routeKey(*static_cast<QKeyEvent *>(event));
    return false;
}

} // namespace vx
