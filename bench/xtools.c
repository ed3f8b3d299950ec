#include "xtools.h"

#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <ctype.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static double clockMs(clockid_t clock)
{
    struct timespec ts;
    clock_gettime(clock, &ts);
    return (double)ts.tv_sec * 1e3 + (double)ts.tv_nsec / 1e6;
}

double monotonicMs(void) { return clockMs(CLOCK_MONOTONIC); }
double epochMs(void) { return clockMs(CLOCK_REALTIME); }

void sleepMs(double ms)
{
    if (ms <= 0)
        return;
    struct timespec ts = {(time_t)(ms / 1e3), (long)((ms - (double)(time_t)(ms / 1e3) * 1e3) * 1e6)};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

/* A window that went away is an answer (a failed read, the end of a watch), not a reason to die. */
static int xErrors;
static int noteXError(Display *display, XErrorEvent *error)
{
    (void)display;
    (void)error;
    xErrors = 1;
    return 0;
}

bool takeXError(void)
{
    const bool had = xErrors != 0;
    xErrors = 0;
    return had;
}

Display *openDisplayOrExit(const char *me)
{
    Display *display = XOpenDisplay(NULL);
    if (!display) {
        fprintf(stderr, "%s: cannot open display %s\n", me, XDisplayName(NULL));
        exit(1);
    }
    XSetErrorHandler(noteXError);
    return display;
}

Window windowArgOrExit(const char *me, const char *text)
{
    char *end = NULL;
    errno = 0;
    const unsigned long id = strtoul(text, &end, 0);
    if (errno != 0 || end == text || *end != '\0' || id == 0) {
        fprintf(stderr, "%s: not a window id: %s\n", me, text);
        exit(1);
    }
    return (Window)id;
}

bool readRegion(Display *display, Window window, Area r, unsigned *out)
{
    if (r.w <= 0 || r.h <= 0)
        return false;
    takeXError();
    XImage *image = XGetImage(display, window, r.x, r.y, (unsigned)r.w, (unsigned)r.h, AllPlanes, ZPixmap);
    if (!image || takeXError()) {
        if (image)
            XDestroyImage(image);
        return false;
    }
    for (int y = 0; y < r.h; ++y)
        for (int x = 0; x < r.w; ++x)
            out[y * r.w + x] = (unsigned)(XGetPixel(image, x, y) & 0xFFFFFFu);
    XDestroyImage(image);
    return true;
}

int countPixels(Display *display, Window window, Area r, PixelTest test)
{
    unsigned *px = malloc(sizeof(unsigned) * (size_t)r.w * (size_t)r.h);
    if (!px)
        return -1;
    int n = -1;
    if (readRegion(display, window, r, px)) {
        n = 0;
        for (int i = 0; i < r.w * r.h; ++i)
            n += test(px[i]) ? 1 : 0;
    }
    free(px);
    return n;
}

#define RED(c) (((c) >> 16) & 0xFFu)
#define GREEN(c) (((c) >> 8) & 0xFFu)
#define BLUE(c) ((c) & 0xFFu)

/* "0000000 PTS" in its blue. */
static bool isScoreBlue(unsigned c) { return BLUE(c) >= 200 && GREEN(c) >= 80 && GREEN(c) <= 180 && RED(c) <= 70; }
/* "Result:" in yellow. */
static bool isYellow(unsigned c) { return RED(c) >= 200 && GREEN(c) >= 200 && BLUE(c) <= 80; }
static bool isLight(unsigned c) { return RED(c) >= 200 && GREEN(c) >= 200 && BLUE(c) >= 200; }
/* The settings frame's red title. */
static bool isTitleRed(unsigned c) { return RED(c) >= 150 && GREEN(c) < 90 && BLUE(c) < 90; }

static const Area scoreArea = {0, StatusTop, 130, 30};
static const Area resultTitle = {0, 0, 70, 16};
static const Area startButton = {224, 80, 137, 24};
static const Area settingsTitle = {9, 0, 60, 14};
static const Area wholeWindow = {0, 0, 366, 107};

static bool settingsShown(Display *display, Window window)
{
    const int lit = countPixels(display, window, startButton, isLight);
    const int red = countPixels(display, window, settingsTitle, isTitleRed);
    return lit * 10 >= startButton.w * startButton.h * 6 && red >= 10;
}

bool screenShown(Display *display, Window window, GameScreen screen)
{
    switch (screen) {
    case ScreenPlay:
        return countPixels(display, window, scoreArea, isScoreBlue) >= 40;
    case ScreenResult:
        return countPixels(display, window, resultTitle, isYellow) >= 20;
    case ScreenSettings:
        return settingsShown(display, window);
    case ScreenBanner:
        return countPixels(display, window, wholeWindow, isLight) >= 60 && !settingsShown(display, window);
    }
    return false;
}

double waitForScreen(Display *display, Window window, GameScreen screen, double everyMs, double timeoutMs)
{
    const double t0 = monotonicMs();
    for (;;) {
        const double t = monotonicMs();
        if (screenShown(display, window, screen))
            return t;
        if (t - t0 > timeoutMs)
            return -1;
        sleepMs(everyMs);
    }
}

bool screenNamed(const char *name, GameScreen *screen)
{
    static const struct {
        const char *name;
        GameScreen screen;
    } names[] = {{"play", ScreenPlay}, {"result", ScreenResult}, {"settings", ScreenSettings}, {"banner", ScreenBanner}};
    for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i) {
        if (strcmp(name, names[i].name) == 0) {
            *screen = names[i].screen;
            return true;
        }
    }
    return false;
}

/* The key that makes `c`, and whether it takes Shift. Letters are typed small: the game
 * judges them in capitals either way. */
static bool keyFor(Display *display, char c, KeyCode *code, bool *shift)
{
    if (!isprint((unsigned char)c))
        return false;
    const KeySym sym = (KeySym)(unsigned char)tolower((unsigned char)c);
    *code = XKeysymToKeycode(display, sym);
    if (*code == 0)
        return false;
    if (XkbKeycodeToKeysym(display, *code, 0, 0) == sym) {
        *shift = false;
        return true;
    }
    if (XkbKeycodeToKeysym(display, *code, 0, 1) == sym) {
        *shift = true;
        return true;
    }
    return false;
}

bool pressCharacter(Display *display, char c)
{
    KeyCode code;
    bool shift;
    if (!keyFor(display, c, &code, &shift))
        return false;
    if (shift)
        XTestFakeKeyEvent(display, XKeysymToKeycode(display, XK_Shift_L), True, CurrentTime);
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    return true;
}

void releaseCharacter(Display *display, char c)
{
    KeyCode code;
    bool shift;
    if (!keyFor(display, c, &code, &shift))
        return;
    XTestFakeKeyEvent(display, code, False, CurrentTime);
    if (shift)
        XTestFakeKeyEvent(display, XKeysymToKeycode(display, XK_Shift_L), False, CurrentTime);
}

char *readSmallFile(const char *path)
{
    FILE *f = fopen(path, "rb");
    if (!f)
        return NULL;
    char *text = calloc(1, 65536);
    size_t n = text ? fread(text, 1, 65535, f) : 0;
    fclose(f);
    if (text && n == 0) {
        free(text);
        return NULL;
    }
    return text;
}

char *waitForFile(const char *path, double timeoutMs)
{
    const double t0 = monotonicMs();
    for (;;) {
        char *text = readSmallFile(path);
        if (text || monotonicMs() - t0 > timeoutMs)
            return text;
        sleepMs(5);
    }
}
