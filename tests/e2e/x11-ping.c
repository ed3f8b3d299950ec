/* Pings a top-level window the way a window manager does (_NET_WM_PING) and times the answer,
 * which a client sends back to the root window.
 *
 *   x11-ping WINDOW-ID TIMEOUT-MS             one ping; prints the answer's delay in ms
 *   x11-ping WINDOW-ID --for SECONDS EVERY-MS  a ping every EVERY-MS for SECONDS (or until SIGTERM),
 *                                              one at a time; prints "pings N longest MS unanswered U"
 *
 * Exit status: 0 answered (every ping, with --for), 1 bad usage or no display, 2 not answered.
 */
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static double nowMs(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

static int badWindow;
static volatile sig_atomic_t stopped;

static void stop(int signal)
{
    (void)signal;
    stopped = 1;
}

static int noteError(Display *display, XErrorEvent *error)
{
    (void)display;
    if (error->error_code == BadWindow)
        badWindow = 1;
    return 0;
}

/* Sends one ping with the given serial and waits for its answer; the delay in ms, or -1. */
static double ping(Display *d, Window w, Atom protocols, Atom pingAtom, long serial, double timeoutMs)
{
    XEvent e;
    memset(&e, 0, sizeof e);
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = protocols;
    e.xclient.format = 32;
    e.xclient.data.l[0] = (long)pingAtom;
    e.xclient.data.l[1] = serial;
    e.xclient.data.l[2] = (long)w;
    const double sent = nowMs();
    XSendEvent(d, w, False, NoEventMask, &e);
    XFlush(d);
    for (;;) {
        while (XPending(d)) {
            XEvent got;
            XNextEvent(d, &got);
            if (got.type == ClientMessage && got.xclient.message_type == protocols
                && (Atom)got.xclient.data.l[0] == pingAtom && got.xclient.data.l[1] == serial)
                return nowMs() - sent;
        }
        if (badWindow || stopped)
            return -1;
        const double left = sent + timeoutMs - nowMs();
        if (left <= 0)
            return -1;
        struct pollfd p = {ConnectionNumber(d), POLLIN, 0};
        poll(&p, 1, (int)(left + 1));
    }
}

int main(int argc, char **argv)
{
    if (argc != 3 && !(argc == 5 && strcmp(argv[2], "--for") == 0)) {
        fprintf(stderr, "usage: x11-ping WINDOW-ID TIMEOUT-MS | x11-ping WINDOW-ID --for SECONDS EVERY-MS\n");
        return 1;
    }
    char *end = NULL;
    errno = 0;
    const unsigned long id = strtoul(argv[1], &end, 0);
    if (errno != 0 || end == argv[1] || *end != '\0' || id == 0) {
        fprintf(stderr, "x11-ping: not a window id: %s\n", argv[1]);
        return 1;
    }
    Display *d = XOpenDisplay(NULL);
    if (!d) {
        fprintf(stderr, "x11-ping: cannot open the display\n");
        return 1;
    }
    XSetErrorHandler(noteError);
    /* The answer goes to the root window, where any client may listen for it beside the window manager. */
    XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask | StructureNotifyMask);
    XSync(d, False);
    const Atom protocols = XInternAtom(d, "WM_PROTOCOLS", False);
    const Atom pingAtom = XInternAtom(d, "_NET_WM_PING", False);
    long serial = 1;

    if (argc == 3) {
        const double delay = ping(d, (Window)id, protocols, pingAtom, serial, atof(argv[2]));
        if (delay < 0) {
            printf("no answer\n");
            return 2;
        }
        printf("%.1f\n", delay);
        return 0;
    }
    const double until = nowMs() + atof(argv[3]) * 1000.0;
    const double every = atof(argv[4]);
    int pings = 0, unanswered = 0;
    double longest = 0;
    signal(SIGTERM, stop);
    while (nowMs() < until && !badWindow && !stopped) {
        const double start = nowMs();
        const double delay = ping(d, (Window)id, protocols, pingAtom, ++serial, 10000.0);
        if (stopped || badWindow)
            break;
        ++pings;
        if (delay < 0) {
            ++unanswered;
        } else if (delay > longest) {
            longest = delay;
        }
        const double rest = start + every - nowMs();
        if (rest > 0) {
            poll(NULL, 0, (int)rest);
        }
    }
    printf("pings %d longest %.1f unanswered %d\n", pings, longest, unanswered);
    return unanswered == 0 ? 0 : 2;
}
