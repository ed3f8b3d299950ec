/* A scripted player: types a round's line, one correct key every EVERY-MS, through XTest.
 *
 *   xplayer LINE-FILE [EVERY-MS]     (default 200 ms: five keys a second)
 *
 * Starts at once (run it when play has begun) and waits up to 10 s for the line to be written.
 * Prints how many keys it typed. Exit status 0, or 1 on bad usage, no display or no line.
 */
#include "xtools.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: xplayer LINE-FILE [EVERY-MS]\n");
        return 1;
    }
    const double every = argc > 2 ? atof(argv[2]) : 200;
    char *line = waitForFile(argv[1], 10e3);
    if (!line) {
        fprintf(stderr, "xplayer: no line in %s\n", argv[1]);
        return 1;
    }
    Display *display = openDisplayOrExit("xplayer");
    int typed = 0;
    const double t0 = monotonicMs();
    for (size_t i = 0; line[i] && line[i] != '\n'; ++i) {
        sleepMs(t0 + (double)i * every - monotonicMs());
        if (!pressCharacter(display, line[i])) {
            fprintf(stderr, "xplayer: no key types '%c'\n", line[i]);
            continue;
        }
        XFlush(display);
        sleepMs(20);
        releaseCharacter(display, line[i]);
        XFlush(display);
        ++typed;
    }
    XCloseDisplay(display);
    free(line);
    printf("%d\n", typed);
    return 0;
}
