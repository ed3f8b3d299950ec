#include "results/frmResult.h"

#include "present/Layout.h"

#include <QPlainTextEdit>
#include <QResizeEvent>

namespace vx {

frmResult::frmResult(QWidget *owner)
    : QWidget(owner, Qt::Window)
{
    // Closing it throws the history away; the next report starts a new one.
    setAttribute(Qt::WA_DeleteOnClose);
    layoutResultWindow(*this);
    // The report is a record of the rounds: readable and copyable, not editable.
    txtResult->setReadOnly(true);
}

void frmResult::setText(const QString &text)
{
    text_ = text;
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    // A trailing line end would show as an extra empty block.
    if (shown.endsWith(QLatin1Char('\n')))
        shown.chop(1);
    txtResult->setPlainText(shown);
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
