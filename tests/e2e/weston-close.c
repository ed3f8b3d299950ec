/* A weston module for tests: on SIGUSR2 the compositor asks every toplevel whose title starts
 * with $VX_CLOSE_TITLE to close (xdg_toplevel.close), as its close button would. Wayland gives
 * one client no way to close another's window, so the request has to come from the compositor.
 *
 *   weston --modules=/path/to/weston-close.so ...      then: kill -USR2 <weston pid>
 */
#include <libweston-desktop/libweston-desktop.h>
#include <libweston/libweston.h>

#include <signal.h>
#include <stdlib.h>
#include <string.h>

static int closeMatching(int signalNumber, void *data)
{
    (void)signalNumber;
    struct weston_compositor *compositor = data;
    const char *prefix = getenv("VX_CLOSE_TITLE");
    struct weston_view *view;
    int closed = 0;

    wl_list_for_each(view, &compositor->view_list, link) {
        struct weston_desktop_surface *surface = weston_surface_get_desktop_surface(view->surface);
        const char *title = surface ? weston_desktop_surface_get_title(surface) : NULL;
        if (!title || (prefix && strncmp(title, prefix, strlen(prefix)) != 0))
            continue;
        weston_log("weston-close: closing \"%s\"\n", title);
        weston_desktop_surface_close(surface);
        ++closed;
    }
    if (!closed)
        weston_log("weston-close: no window to close\n");
    return 0;
}

WL_EXPORT int wet_module_init(struct weston_compositor *compositor, int *argc, char *argv[])
{
    (void)argc;
    (void)argv;
    struct wl_event_loop *loop = wl_display_get_event_loop(compositor->wl_display);
    return wl_event_loop_add_signal(loop, SIGUSR2, closeMatching, compositor) ? 0 : -1;
}
