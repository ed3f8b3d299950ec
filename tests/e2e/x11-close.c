/* Asks a top-level window to close the way a window manager's close button does:
 * a WM_PROTOCOLS client message carrying WM_DELETE_WINDOW. (xdotool's windowclose
 * destroys the window instead, which no real desktop does to a running program.)
 *
 *   x11-close WINDOW-ID      decimal or 0x-hex, as xdotool and xwininfo print it
 *
 * Exit status: 0 sent, 1 bad usage or no display, 2 the window does not take the request.
 */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>

static int badWindow;

static int noteError(Display *display, XErrorEvent *error)
{
    (void)display;
    if (error->error_code == BadWindow)
        badWindow = 1;
    return 0;
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: x11-close WINDOW-ID\n");
        return 1;
    }
    char *end = NULL;
    errno = 0;
    const unsigned long id = strtoul(argv[1], &end, 0);
    if (errno != 0 || end == argv[1] || *end != '\0' || id == 0) {
        fprintf(stderr, "x11-close: not a window id: %s\n", argv[1]);
        return 1;
    }

    Display *display = XOpenDisplay(NULL);
    if (!display) {
        fprintf(stderr, "x11-close: cannot open display %s\n", XDisplayName(NULL));
        return 1;
    }
    XSetErrorHandler(noteError);

    const Window window = (Window)id;
    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);

    /* A window that does not list the protocol would be killed by a window manager, not asked. */
    Atom *listed = NULL;
    int count = 0;
    int takesIt = 0;
    if (XGetWMProtocols(display, window, &listed, &count)) {
        for (int i = 0; i < count; ++i)
            takesIt |= listed[i] == deleteWindow;
        XFree(listed);
    }
    XSync(display, False);
    if (badWindow) {
        fprintf(stderr, "x11-close: no such window: 0x%lx\n", id);
        XCloseDisplay(display);
        return 2;
    }
    if (!takesIt) {
        fprintf(stderr, "x11-close: window 0x%lx does not take WM_DELETE_WINDOW\n", id);
        XCloseDisplay(display);
        return 2;
    }

    XEvent event = {0};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = protocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long)deleteWindow;
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    const int failed = badWindow;
    XCloseDisplay(display);
    if (failed) {
        fprintf(stderr, "x11-close: window 0x%lx went away before the request\n", id);
        return 2;
    }
    return 0;
}
