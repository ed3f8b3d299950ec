#pragma once

#include <QString>
#include <QtGlobal>

#include <vector>

namespace vx {

// Watches the toolkit's messages while the application object is made. Should no window system
// be reachable (no display, an unknown platform), the toolkit would abort with a core and advice
// to reinstall; instead the program says in one line what is wrong and exits with status 1.
// Messages of a start that succeeds are passed on unchanged once it has.
class StartupGuard {
public:
    StartupGuard();
    ~StartupGuard();
    StartupGuard(const StartupGuard &) = delete;
    StartupGuard &operator=(const StartupGuard &) = delete;

    // The line printed for a failed start, from the messages that came before the failure.
    static QString problemLine(const std::vector<QString> &messages);

private:
    struct Message {
        QtMsgType type;
        QString category;
        QString text;
    };
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &text);

    QtMessageHandler previous_;
    std::vector<Message> held_;
    // The toolkit's handler is a plain function: it finds the guard alive during the start here.
    static StartupGuard *active_;
};

} // namespace vx
