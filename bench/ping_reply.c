/* Pings a window the way a window manager checks that a program still answers (_NET_WM_PING),
 * every EVERY-MS, and logs how long each reply took.
 *
 *   ping_reply WINDOW [EVERY-MS]      (default 50) — runs until SIGINT or SIGTERM, or the window goes
 *
 * The reply is sent to the root window for the window manager (SubstructureRedirect); every client
 * that selects SubstructureNotify on the root sees it too, so this runs beside the window manager.
 * Each ping carries its own number where a timestamp goes, and the reply echoes it.
 * Prints one line per ping: its wall-clock send time (ms since the epoch) and the milliseconds
 * to its reply, or "-" and the milliseconds waited in vain when none came before the end.
 */
#include "xtools.h"

#include <X11/Xatom.h>

#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>

static volatile sig_atomic_t stop;
static void onSignal(int sig) { (void)sig; stop = 1; }

enum { MaxPings = 1 << 16 };

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: ping_reply WINDOW [EVERY-MS]\n");
        return 1;
    }
    const double every = argc > 2 && atof(argv[2]) > 0 ? atof(argv[2]) : 50;
    Display *display = openDisplayOrExit("ping_reply");
    const Window window = windowArgOrExit("ping_reply", argv[1]);
    signal(SIGINT, onSignal);
    signal(SIGTERM, onSignal);

    const Window root = DefaultRootWindow(display);
    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom ping = XInternAtom(display, "_NET_WM_PING", False);
    XSelectInput(display, root, SubstructureNotifyMask | StructureNotifyMask);
    XSync(display, False);

    static double sentMono[MaxPings], sentEpoch[MaxPings], replyMs[MaxPings];
    long sent = 0;
    double next = monotonicMs();
    bool windowGone = false;
    while (!stop && !windowGone && sent < MaxPings) {
        const double now = monotonicMs();
        if (now >= next) {
            XEvent e = {0};
            e.xclient.type = ClientMessage;
            e.xclient.window = window;
            e.xclient.message_type = protocols;
            e.xclient.format = 32;
            e.xclient.data.l[0] = (long)ping;
            e.xclient.data.l[1] = sent + 1; /* the ping's number */
            e.xclient.data.l[2] = (long)window;
            sentMono[sent] = monotonicMs();
            sentEpoch[sent] = epochMs();
            replyMs[sent] = -1;
            XSendEvent(display, window, False, NoEventMask, &e);
            XSync(display, False);
            windowGone = takeXError();
            ++sent;
            next += every;
            if (next < now)
                next = now + every;
        }
        while (XPending(display)) {
            XEvent e;
            XNextEvent(display, &e);
            if (e.type != ClientMessage || e.xclient.message_type != protocols || (Atom)e.xclient.data.l[0] != ping
                || e.xclient.window != root)
                continue;
            const long n = e.xclient.data.l[1] - 1;
            if (n >= 0 && n < sent && replyMs[n] < 0)
                replyMs[n] = monotonicMs() - sentMono[n];
        }
        struct pollfd fd = {ConnectionNumber(display), POLLIN, 0};
        const double wait = next - monotonicMs();
        poll(&fd, 1, wait > 0 ? (int)wait + 1 : 0);
    }
    const double end = monotonicMs();
    for (long i = 0; i < sent; ++i) {
        if (replyMs[i] >= 0)
            printf("%.3f %.2f\n", sentEpoch[i], replyMs[i]);
        else
            printf("%.3f - %.2f\n", sentEpoch[i], end - sentMono[i]);
    }
    XCloseDisplay(display);
    return 0;
}
