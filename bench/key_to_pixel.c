/* Key to pixel, from outside the game: types a round's line through XTest, one correct key every
 * 170 to 230 ms (at random, so keys land at every phase of the game's tick), and after each key reads
 * the status strip's combo counter back from the X server until its pixels change.
 *
 *   key_to_pixel WINDOW LINE-FILE
 *
 * Waits for play to begin. The combo counter (big yellow "N combo" under the score) is redrawn in
 * the same place and colour on every pass and changes only when a key is judged a hit; everything
 * else in the strip moves, blinks or jitters from pass to pass. The first three hits show no counter.
 * Prints one line per key: its number, the milliseconds from the key press to the changed pixels,
 * or "-" when nothing changed within 250 ms.
 * Exit status: 0, or 1 on bad usage, no display, no line or no play.
 */
#include "xtools.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const Area comboCounter = {0, 52, 220, 34};

static bool sameImage(const unsigned *a, const unsigned *b, size_t n) { return memcmp(a, b, n * sizeof *a) == 0; }

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: key_to_pixel WINDOW LINE-FILE\n");
        return 1;
    }
    Display *display = openDisplayOrExit("key_to_pixel");
    const Window window = windowArgOrExit("key_to_pixel", argv[1]);
    char *line = waitForFile(argv[2], 10e3);
    if (!line) {
        fprintf(stderr, "key_to_pixel: no line in %s\n", argv[2]);
        return 1;
    }
    if (waitForScreen(display, window, ScreenPlay, 2, 30e3) < 0) {
        fprintf(stderr, "key_to_pixel: play did not begin\n");
        return 1;
    }
    const size_t n = (size_t)comboCounter.w * (size_t)comboCounter.h;
    unsigned *before = malloc(n * sizeof *before), *now = malloc(n * sizeof *now);
    if (!before || !now)
        return 1;
    srand48(12345);
    double next = monotonicMs();
    for (size_t i = 0; line[i] && line[i] != '\n'; ++i) {
        next += 170 + 60 * drand48();
        sleepMs(next - monotonicMs());
        if (!readRegion(display, window, comboCounter, before))
            break;
        const double t0 = monotonicMs();
        if (!pressCharacter(display, line[i])) {
            fprintf(stderr, "key_to_pixel: no key types '%c'\n", line[i]);
            continue;
        }
        XFlush(display);
        double took = -1;
        while (monotonicMs() - t0 < 250) {
            if (!readRegion(display, window, comboCounter, now))
                break;
            if (!sameImage(before, now, n)) {
                took = monotonicMs() - t0;
                break;
            }
            sleepMs(0.5);
        }
        releaseCharacter(display, line[i]);
        XFlush(display);
        if (took >= 0)
            printf("%zu %.3f\n", i + 1, took);
        else
            printf("%zu -\n", i + 1);
        fflush(stdout);
    }
    free(before);
    free(now);
    free(line);
    XCloseDisplay(display);
    return 0;
}
