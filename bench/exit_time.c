/* Times how long a process takes to end after a command (a close request) is sent to it.
 *
 *   exit_time PID COMMAND [ARG...]
 *
 * Runs the command, then waits for PID to end (any process, not only a child: through a pidfd).
 * Prints the milliseconds from just before the command started to the end of PID.
 * Exit status: 0 it ended, 3 still running after 30 s, 2 the command failed, 1 bad usage.
 */
#include "xtools.h"

#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: exit_time PID COMMAND [ARG...]\n");
        return 1;
    }
    const pid_t pid = (pid_t)atol(argv[1]);
    const int pidfd = pid > 0 ? (int)syscall(SYS_pidfd_open, pid, 0) : -1;
    if (pidfd < 0) {
        fprintf(stderr, "exit_time: no process %s\n", argv[1]);
        return 1;
    }
    const double t0 = monotonicMs();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[2], argv + 2);
        _exit(127);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "exit_time: %s failed\n", argv[2]);
        return 2;
    }
    struct pollfd ended = {pidfd, POLLIN, 0};
    if (poll(&ended, 1, 30000) != 1) {
        fprintf(stderr, "exit_time: process %ld still running after 30 s\n", (long)pid);
        return 3;
    }
    printf("%.1f\n", monotonicMs() - t0);
    return 0;
}
