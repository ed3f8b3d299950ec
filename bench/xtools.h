/* What the real-display measuring tools share: clocks, reading the game's window back from the
 * X server, and keys sent through XTest. Each tool looks at the game from outside its process. */
#pragma once

#include <X11/Xlib.h>

#include <stdbool.h>
#include <stddef.h>

/* Milliseconds on the monotonic clock, and on the wall clock (to line up with other programs' logs). */
double monotonicMs(void);
double epochMs(void);
void sleepMs(double ms);

/* Opens $DISPLAY or exits with status 1 and a line naming `me`. X errors are then noted, not fatal. */
Display *openDisplayOrExit(const char *me);
/* Whether an X error (a window gone) came since the last call. */
bool takeXError(void);
/* A window id as xdotool prints it (decimal or 0x-hex); exits with status 1 on anything else. */
Window windowArgOrExit(const char *me, const char *text);

/* A rectangle of the window, in its own pixels. */
typedef struct {
    int x, y, w, h;
} Area;

/* The window's pixels in `r`, as 0xRRGGBB, row by row, into `out` (r.w * r.h entries).
 * False when the window cannot be read (gone, or the region lies outside it). */
bool readRegion(Display *display, Window window, Area r, unsigned *out);

typedef bool (*PixelTest)(unsigned rgb);
/* How many pixels of the region pass the test; -1 when it cannot be read. */
int countPixels(Display *display, Window window, Area r, PixelTest test);

/* Screens of the game, told apart by a few pixels (the main window's client area, 366 x 107). */
typedef enum { ScreenPlay, ScreenResult, ScreenSettings, ScreenBanner } GameScreen;
bool screenShown(Display *display, Window window, GameScreen screen);
/* Polls every `everyMs` until the screen shows; its monotonic time, or a negative number on timeout. */
double waitForScreen(Display *display, Window window, GameScreen screen, double everyMs, double timeoutMs);
/* Parses "play", "result", "settings" or "banner". */
bool screenNamed(const char *name, GameScreen *screen);

/* The status strip's top row: the text strip above it is one line of the 16-point face. */
enum { StatusTop = 22 };

/* Presses (and releases) one printable ASCII character through XTest, with Shift where the keyboard
 * map wants it. The caller flushes. False when no key makes it. */
bool pressCharacter(Display *display, char c);
void releaseCharacter(Display *display, char c);

/* Reads a whole small file into a new NUL-terminated buffer; NULL when it cannot. */
char *readSmallFile(const char *path);
/* Waits (polling) until the file exists with content, up to timeoutMs; its content or NULL. */
char *waitForFile(const char *path, double timeoutMs);
