/* Holds the keyboard and pointer grab, as a VM viewer, a remote desktop or a
 * game does, until it is killed: prints "grabbed" once it holds both. */
#include <X11/Xlib.h>
#include <stdio.h>
#include <unistd.h>

int main(void) {
  Display* display = XOpenDisplay(NULL);
  if (!display) {
    fprintf(stderr, "grab_client: cannot open the display\n");
    return 1;
  }
  const Window root = DefaultRootWindow(display);
  XSetWindowAttributes sa = {0};
  sa.override_redirect = True;
  const Window w = XCreateWindow(display, root, 0, 0, 10, 10, 0, CopyFromParent, InputOnly, CopyFromParent,
                                 CWOverrideRedirect, &sa);
  XMapWindow(display, w);
  XSync(display, False);
  for (int tries = 0; tries < 100; ++tries) {
    const int keyboard = XGrabKeyboard(display, w, False, GrabModeAsync, GrabModeAsync, CurrentTime);
    const int pointer = XGrabPointer(display, w, False, ButtonPressMask | PointerMotionMask, GrabModeAsync,
                                     GrabModeAsync, None, None, CurrentTime);
    if (keyboard == GrabSuccess && pointer == GrabSuccess) {
      printf("grabbed\n");
      fflush(stdout);
      for (;;) {
        XEvent ev;
        XNextEvent(display, &ev);  /* takes the keys and motion, as the grabbing application would */
      }
    }
    usleep(50000);
  }
  fprintf(stderr, "grab_client: could not grab the keyboard and pointer\n");
  return 1;
}
