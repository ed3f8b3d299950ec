/* Waits until the game's main window shows a screen, polling its pixels from outside.
 *
 *   xwait WINDOW SCREEN [EVERY-MS [TIMEOUT-S]]    SCREEN: play, result, settings or banner
 *
 * Prints the wall-clock time it was seen, in ms since the epoch (bash's EPOCHREALTIME lines up).
 * Exit status: 0 seen, 3 timed out, 1 bad usage or no display.
 */
#include "xtools.h"

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv)
{
    GameScreen screen;
    if (argc < 3 || argc > 5 || !screenNamed(argv[2], &screen)) {
        fprintf(stderr, "usage: xwait WINDOW play|result|settings|banner [EVERY-MS [TIMEOUT-S]]\n");
        return 1;
    }
    const double every = argc > 3 ? atof(argv[3]) : 5;
    const double timeout = argc > 4 ? atof(argv[4]) * 1e3 : 60e3;
    Display *display = openDisplayOrExit("xwait");
    const Window window = windowArgOrExit("xwait", argv[1]);
    const double seen = waitForScreen(display, window, screen, every > 0 ? every : 5, timeout);
    const double lag = monotonicMs() - seen;
    XCloseDisplay(display);
    if (seen < 0)
        return 3;
    printf("%.3f\n", epochMs() - lag);
    return 0;
}
