#include "results/frmResult.h"

#include "present/Layout.h"

#include <QPlainTextEdit>
#include <QResizeEvent>
#include <QScreen>

#include <algorithm>

namespace vx {

// Owned by the main window: a transient of it for the window manager, so it stays in front of
// it, is minimised and restored with it, and is never covered by it; yet an ordinary sizable,
// modeless window.
frmResult::frmResult(QWidget *owner)
    : QWidget(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint
                         | Qt::WindowCloseButtonHint)
{
    // Closing it throws the history away; the next report starts a new one.
    setAttribute(Qt::WA_DeleteOnClose);
    layoutResultWindow(*this);
}

QString frmResult::text() const
{
    QString text = txtResult->toPlainText();
    if (text.isEmpty())
        return text;
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text + QStringLiteral("\r\n");
}

void frmResult::setText(const QString &text)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    // A trailing line end would show as an extra empty block.
    if (shown.endsWith(QLatin1Char('\n')))
        shown.chop(1);
    txtResult->setPlainText(shown);
}

void frmResult::placeBeside(const QWidget &owner)
{
    const QScreen *screen = owner.screen();
    if (!screen)
        return;
    const QRect room = screen->availableGeometry();
    const QRect ownerFrame = owner.frameGeometry();
    // Not shown yet, so its frame is not known: take the owner's decoration as its own.
    const int frameHeight = height() + (ownerFrame.height() - owner.height());
    const int frameWidth = width() + (ownerFrame.width() - owner.width());
    const int left = std::clamp(ownerFrame.left(), room.left(), std::max(room.left(), room.right() + 1 - frameWidth));
    if (ownerFrame.bottom() + 1 + frameHeight <= room.bottom() + 1)
        move(left, ownerFrame.bottom() + 1);
    else if (ownerFrame.top() - frameHeight >= room.top())
        move(left, ownerFrame.top() - frameHeight);
}

void frmResult::Form_Resize()
{
    const QSize inner = size();
    if (inner.width() > 0 && inner.height() > 0)
        txtResult->setGeometry(0, 0, inner.width(), inner.height());
}

void frmResult::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

} // namespace vx
