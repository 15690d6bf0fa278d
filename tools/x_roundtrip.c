// Times X round trips that the window itself must answer: the window owns the clipboard (copy
// something in it first), and each request for the clipboard's text goes through its event loop.
//
//   x_roundtrip SECONDS [STOP_FILE]   prints "worst MS median MS count N" and, per answer over
//                                     100 ms, a line; ends early once STOP_FILE exists
//
// Build: cc -O2 -o x_roundtrip tools/x_roundtrip.c -lX11
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

static double Now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

static int Compare(const void* a, const void* b) {
  const double x = *(const double*)a, y = *(const double*)b;
  return x < y ? -1 : x > y;
}

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? atof(argv[1]) : 10;
  const char* stop = argc > 2 ? argv[2] : NULL;
  Display* display = XOpenDisplay(NULL);
  if (!display) return fprintf(stderr, "no display\n"), 2;
  const Window self = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
  const Atom clipboard = XInternAtom(display, "CLIPBOARD", False);
  const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  const Atom property = XInternAtom(display, "TESSANE_PROBE", False);
  if (XGetSelectionOwner(display, clipboard) == None) return fprintf(stderr, "no owner\n"), 2;
  static double times[100000];
  int count = 0;
  const double end = Now() + seconds * 1000;
  while (Now() < end && count < 100000 && !(stop && access(stop, F_OK) == 0)) {
    const double start = Now();
    XConvertSelection(display, clipboard, utf8, property, self, CurrentTime);
    XFlush(display);
    for (;;) {
      XEvent event;
      if (XPending(display) == 0) {
        struct pollfd fd = {ConnectionNumber(display), POLLIN, 0};
        if (poll(&fd, 1, 60000) <= 0) return fprintf(stderr, "no answer in 60 s\n"), 1;
        continue;
      }
      XNextEvent(display, &event);
      if (event.type == SelectionNotify) break;
    }
    XDeleteProperty(display, self, property);
    times[count] = Now() - start;
    if (times[count] > 100)
      printf("gap %.0f ms at %.1f s\n", times[count], (start - (end - seconds * 1000)) / 1000);
    ++count;
    usleep(20000);
  }
  qsort(times, count, sizeof times[0], Compare);
  printf("worst %.0f median %.1f count %d\n", times[count - 1], times[count / 2], count);
  XCloseDisplay(display);
  return 0;
}
