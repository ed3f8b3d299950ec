// Start-up time: from spawning the game to the first presented frame of its first banner.
#include "BenchClock.h"
#include "platform/SdlSoundOutput.h"
#include "platform/SystemPlatform.h"
#include "present/Fonts.h"
#include "round/frmClackon.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

// The game's own window, which reports the moment its first frame is presented.
class TimedWindow final : public vx::frmClackon {
public:
    using frmClackon::frmClackon;
    bool refresh() override
    {
        const bool ok = frmClackon::refresh();
        std::printf("%lld\n", monotonicNs());
        std::fflush(stdout);
        std::_Exit(0);
        return ok;
    }
};

int child(int argc, char **argv)
{
    QApplication app(argc, argv);
    vx::installFontSubstitutions();
    vx::SystemPlatform platform(std::make_unique<vx::SdlSoundOutput>());
    TimedWindow form(platform);
    form.Form_Load();
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    if (argc > 1 && std::strcmp(argv[1], "--child") == 0)
        return child(argc, argv);

    const int runs = 15;
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        int fds[2];
        if (pipe(fds) != 0)
            return 1;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        char childFlag[] = "--child";
        char *args[] = {argv[0], childFlag, nullptr};
        pid_t pid = 0;
        const long long t0 = monotonicNs();
        if (posix_spawn(&pid, argv[0], &actions, nullptr, args, environ) != 0)
            return 1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        char buf[64] = {};
        const ssize_t n = read(fds[0], buf, sizeof buf - 1);
        close(fds[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        if (n <= 0)
            return 1;
        ms.push_back((std::atoll(buf) - t0) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("| measure | runs | median ms | min ms | max ms | goal |\n|---|---|---|---|---|---|\n");
    std::printf("| start-up to first banner frame (%s) | %d | %.1f | %.1f | %.1f | <= 300 |\n",
                std::getenv("QT_QPA_PLATFORM"), runs, ms[ms.size() / 2], ms.front(), ms.back());
    return 0;
}
