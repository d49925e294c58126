// SPDX-License-Identifier: MIT
// A second X client for the hot-key tests: grabs one key combination on the root window and holds
// it until its standard input closes. Prints "ready" once the grab is in place, "refused" when
// another client holds it already.
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

static bool g_failed = false;

static int onError(Display*, XErrorEvent*) {
    g_failed = true;
    return 0;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <keysym> <X modifier mask>\n", argv[0]);
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return 2;
    XSetErrorHandler(onError);
    const KeySym keysym = XStringToKeysym(argv[1]);
    const KeyCode keycode = XKeysymToKeycode(display, keysym);
    const unsigned modifiers = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 0));
    if (!keycode) {
        XCloseDisplay(display);
        return 2;
    }
    XGrabKey(display, keycode, modifiers, DefaultRootWindow(display), True, GrabModeAsync, GrabModeAsync);
    XSync(display, False);
    std::printf(g_failed ? "refused\n" : "ready\n");
    std::fflush(stdout);
    if (g_failed) {
        XCloseDisplay(display);
        return 3;
    }
    char buffer[64];
    while (read(0, buffer, sizeof buffer) > 0) {
    }
    XCloseDisplay(display);
    return 0;
}
