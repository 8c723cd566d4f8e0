/* What any X client pays to show a change: a 128 x 128 shaped window that, N times a second, switches
 * to the other of two pictures kept in the X server (background pixmap, bounding and input shapes,
 * a clear) and, with "move", moves by a pixel: the requests of one of Zinna's wing beats, from a
 * program that does nothing else. With "idle" it only wakes. With "held" it also hands the server
 * the other picture for half a period later (Sync's Await on the server's clock, as Zinna holds a
 * wing beat's second frame): two changes shown for each wake-up. It prints its own CPU time (every
 * thread's run time, /proc/self/schedstat) per minute and per wake-up.
 *
 *   wake-floor RATE idle|frames|move|held [SECONDS]      (run on an X display)
 *
 * Built and run by scripts/measure-wake-floor.sh. Kept in C with Xlib alone, so that the figure is
 * the floor of the kernel's and the X connection's costs, not of any program's own work. */
#define _GNU_SOURCE /* ppoll */
#include <X11/Xlib.h>
#include <X11/extensions/shape.h>
#include <X11/extensions/sync.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static long long RunTimeNs(void) {
    long long ns = 0;
    FILE* f = fopen("/proc/self/schedstat", "r");
    if (!f || fscanf(f, "%lld", &ns) != 1) {
        fprintf(stderr, "wake-floor: cannot read /proc/self/schedstat\n");
        exit(1);
    }
    fclose(f);
    return ns;
}

static long long MonotonicNs(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: wake-floor RATE idle|frames|move|held [SECONDS]\n");
        return 2;
    }
    const int rate = atoi(argv[1]);
    const int held = strcmp(argv[2], "held") == 0;
    const int draws = strcmp(argv[2], "idle") != 0, moves = strcmp(argv[2], "move") == 0 || held;
    const int seconds = argc > 3 ? atoi(argv[3]) : 10;
    if (rate <= 0 || seconds <= 0) return 2;
    Display* display = XOpenDisplay(NULL);
    if (!display) {
        fprintf(stderr, "wake-floor: no X display\n");
        return 1;
    }
    const int screen = DefaultScreen(display);
    XSetWindowAttributes attributes = {0};
    attributes.override_redirect = True;
    Window window = XCreateWindow(display, RootWindow(display, screen), 100, 100, 128, 128, 0, CopyFromParent,
                                  InputOutput, CopyFromParent, CWOverrideRedirect, &attributes);
    Pixmap picture[2], mask[2];
    GC gc = XCreateGC(display, window, 0, NULL);
    for (int i = 0; i < 2; i++) {
        picture[i] = XCreatePixmap(display, window, 128, 128, DefaultDepth(display, screen));
        XSetForeground(display, gc, i ? 0xc04040 : 0x40c040);
        XFillRectangle(display, picture[i], gc, 0, 0, 128, 128);
        mask[i] = XCreatePixmap(display, window, 128, 128, 1);
        GC bits = XCreateGC(display, mask[i], 0, NULL);
        XSetForeground(display, bits, 0);
        XFillRectangle(display, mask[i], bits, 0, 0, 128, 128);
        XSetForeground(display, bits, 1);
        XFillArc(display, mask[i], bits, i * 12, 0, 110, 110, 0, 360 * 64);
        XFreeGC(display, bits);
    }
    XSyncCounter serverTime = None;
    if (held) {
        int eventBase, errorBase, major, minor, count = 0;
        if (XSyncQueryExtension(display, &eventBase, &errorBase) && XSyncInitialize(display, &major, &minor)) {
            XSyncSystemCounter* counters = XSyncListSystemCounters(display, &count);
            for (int i = 0; i < count; i++)
                if (strcmp(counters[i].name, "SERVERTIME") == 0) serverTime = counters[i].counter;
            if (counters) XSyncFreeSystemCounterList(counters);
        }
        if (serverTime == None) {
            fprintf(stderr, "wake-floor: the X server has no SERVERTIME counter\n");
            return 1;
        }
    }
    XMapWindow(display, window);
    XSync(display, False);

    const long long period = 1000000000LL / rate, start = MonotonicNs(), before = RunTimeNs();
    long long next = start + period;
    int wakeUps = 0;
    while (MonotonicNs() - start < seconds * 1000000000LL) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
        }
        long long wait = next - MonotonicNs();
        if (wait < 0) wait = 0;
        struct timespec timeout = {wait / 1000000000LL, wait % 1000000000LL};
        struct pollfd fd = {ConnectionNumber(display), POLLIN, 0};
        ppoll(&fd, 1, &timeout, NULL);
        if (MonotonicNs() < next) continue;
        next += period;
        ++wakeUps;
        if (!draws) continue;
        const int i = wakeUps & 1;
        XSetWindowBackgroundPixmap(display, window, picture[i]);
        XShapeCombineMask(display, window, ShapeBounding, 0, 0, mask[i], ShapeSet);
        XShapeCombineMask(display, window, ShapeInput, 0, 0, mask[i], ShapeSet);
        XClearWindow(display, window);
        if (moves) XMoveWindow(display, window, 100 + wakeUps % 500, 100);
        if (held) {
            XSyncWaitCondition condition;
            memset(&condition, 0, sizeof condition);
            condition.trigger.counter = serverTime;
            condition.trigger.value_type = XSyncRelative;
            XSyncIntToValue(&condition.trigger.wait_value, (int)(period / 2000000));
            condition.trigger.test_type = XSyncPositiveComparison;
            XSyncIntsToValue(&condition.event_threshold, 0xffffffffu, 0x7fffffff); /* no CounterNotify back */
            XSyncAwait(display, &condition, 1);
            XSetWindowBackgroundPixmap(display, window, picture[!i]);
            XShapeCombineMask(display, window, ShapeBounding, 0, 0, mask[!i], ShapeSet);
            XShapeCombineMask(display, window, ShapeInput, 0, 0, mask[!i], ShapeSet);
            XClearWindow(display, window);
        }
    }
    const long long used = RunTimeNs() - before;
    printf("%d a second, %s: %.0f ms a minute, %.0f us a wake-up (%d wake-ups in %d s)\n", rate, argv[2],
           used / 1e6 * 60 / seconds, used / 1e3 / (wakeUps ? wakeUps : 1), wakeUps, seconds);
    XCloseDisplay(display);
    return 0;
}
