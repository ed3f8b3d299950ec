// The close-before-publish race on a real X server: the result window is asked to close, the way a
// window manager's close button does, by another X client; the request is on its way when the next
// report is published at once. Counts the reports lost (no shown window holds the newest report).
//
//   report_race X11-CLOSE [TRIES]     (run on the xcb platform, in Xvfb with a window manager)
#include "platform/SystemPlatform.h"
#include "present/Fonts.h"
#include "results/Report.h"
#include "results/frmResult.h"
#include "round/frmClackon.h"

#include <QApplication>
#include <QProcess>
#include <QWindow>

#include <cstdio>
#include <memory>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: report_race X11-CLOSE [TRIES]\n");
        return 2;
    }
    const QString closer = QString::fromLocal8Bit(argv[1]);
    const int tries = argc > 2 ? std::atoi(argv[2]) : 40;
    vx::installFontSubstitutions();
    vx::SystemPlatform platform(nullptr);
    vx::frmClackon form(platform);
    form.show();
    QCoreApplication::processEvents();

    int lost = 0;
    for (int i = 1; i <= tries; ++i) {
        form.publishReport(QStringLiteral("report %1 a\r\n").arg(i));
        for (int k = 0; k < 20; ++k)
            platform.sleep(20); // shown and taken on by the window manager
        QWindow *window = form.resultWindow ? form.resultWindow->windowHandle() : nullptr;
        if (!window) {
            std::fprintf(stderr, "try %d: no result window\n", i);
            return 1;
        }
        // The close is sent and flushed by the other client before the report is published.
        QProcess::execute(closer, {QString::number(window->winId())});
        const QString newest = QStringLiteral("report %1 b\r\n").arg(i);
        form.publishReport(newest);
        for (int k = 0; k < 10; ++k)
            platform.doEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const bool kept = form.resultWindow && form.resultWindow->isVisible()
            && form.resultWindow->text().startsWith(newest);
        if (!kept)
            ++lost;
        if (form.resultWindow)
            form.resultWindow->close();
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    std::printf("close-before-publish race: %d of %d reports lost\n", lost, tries);
    return lost == 0 ? 0 : 1;
}
