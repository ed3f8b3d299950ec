#include "present/StartupGuard.h"

#include <QByteArray>
#include <QRegularExpression>

#include <cstdio>
#include <cstdlib>

namespace vx {

StartupGuard *StartupGuard::active_ = nullptr;

StartupGuard::StartupGuard()
    : previous_(qInstallMessageHandler(&StartupGuard::handle))
{
    active_ = this;
}

StartupGuard::~StartupGuard()
{
    qInstallMessageHandler(previous_);
    active_ = nullptr;
    for (const Message &m : held_) {
        const QByteArray category = m.category.toUtf8();
        const QMessageLogContext context(nullptr, 0, nullptr, category.isEmpty() ? nullptr : category.constData());
        if (previous_)
            previous_(m.type, context, m.text);
        else
            std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(m.type, context, m.text)));
    }
}

QString StartupGuard::problemLine(const std::vector<QString> &messages)
{
    // The platform plugin's own words name the problem best: the display it could not reach or
    // the platform it could not find. The advice to reinstall is not true here.
    QString reason;
    for (const QString &m : messages) {
        if (m.contains(QStringLiteral("could not connect to display"), Qt::CaseInsensitive)
            || m.contains(QStringLiteral("Could not find the Qt platform plugin"))
            || m.contains(QStringLiteral("Failed to create wl_display"))) {
            reason = m.trimmed();
            break;
        }
    }
    reason.remove(QRegularExpression(QStringLiteral(" in \"[^\"]*\"$")));
    if (reason.endsWith(QStringLiteral("display")))
        reason += QStringLiteral(" (DISPLAY is not set)");
    if (reason.isEmpty())
        reason = QStringLiteral("no window system could be reached");
    else
        reason[0] = reason[0].toLower();
    return QStringLiteral("vx-clackon: cannot open a window: ") + reason
        + QStringLiteral("; run it on a desktop, or name one with -display or -platform");
}

void StartupGuard::handle(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    StartupGuard *guard = active_;
    if (!guard) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        return;
    }
    if (type != QtFatalMsg) {
        guard->held_.push_back({type, QString::fromUtf8(context.category ? context.category : ""), text});
        return;
    }
    std::vector<QString> said;
    for (const Message &m : guard->held_)
        said.push_back(m.text);
    std::fprintf(stderr, "%s\n", qPrintable(problemLine(said)));
    std::fflush(stderr);
    std::_Exit(1);
}

} // namespace vx
