// qel-xping: asks an X11 window's program whether it is responsive, the way
// a window manager does (_NET_WM_PING), and prints the round trip in
// milliseconds. The answer comes from the program's user-interface thread,
// so a busy or blocked event loop shows as a long or missing round trip.
//
//   qel-xping WINDOW-ID [TIMEOUT-MS]     exit status 1 when no answer in time
//   qel-xping --close WINDOW-ID          asks the window to close, as a window
//                                        manager's close button does
//                                        (WM_DELETE_WINDOW), and returns

#include <X11/Xlib.h>
#include <sys/select.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {
int Close(const char* id) {
  Display* d = XOpenDisplay(nullptr);
  if (!d) {
    std::fprintf(stderr, "qel-xping: no display\n");
    return 2;
  }
  const Window window = std::strtoul(id, nullptr, 0);
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = window;
  e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, window, False, NoEventMask, &e);
  XFlush(d);
  XCloseDisplay(d);
  return 0;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: qel-xping WINDOW-ID [TIMEOUT-MS] | qel-xping --close WINDOW-ID\n");
    return 2;
  }
  if (std::string_view(argv[1]) == "--close") {
    if (argc < 3) return 2;
    return Close(argv[2]);
  }
  const Window window = std::strtoul(argv[1], nullptr, 0);
  const long timeoutMs = argc > 2 ? std::atol(argv[2]) : 5000;
  Display* d = XOpenDisplay(nullptr);
  if (!d) {
    std::fprintf(stderr, "qel-xping: no display\n");
    return 2;
  }
  const Window root = DefaultRootWindow(d);
  // The program sends its answer to the root window.
  XSelectInput(d, root, StructureNotifyMask | SubstructureNotifyMask);
  const Atom protocols = XInternAtom(d, "WM_PROTOCOLS", False);
  const Atom ping = XInternAtom(d, "_NET_WM_PING", False);
  const long stamp = static_cast<long>(std::chrono::steady_clock::now().time_since_epoch().count() & 0x7FFFFFFF);
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = window;
  e.xclient.message_type = protocols;
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(ping);
  e.xclient.data.l[1] = stamp;
  e.xclient.data.l[2] = static_cast<long>(window);
  const auto start = std::chrono::steady_clock::now();
  XSendEvent(d, window, False, NoEventMask, &e);
  XFlush(d);
  const int fd = ConnectionNumber(d);
  for (;;) {
    while (XPending(d)) {
      XEvent r;
      XNextEvent(d, &r);
      if (r.type == ClientMessage && r.xclient.message_type == protocols &&
          static_cast<Atom>(r.xclient.data.l[0]) == ping && r.xclient.data.l[1] == stamp) {
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        std::printf("%.2f\n", ms);
        XCloseDisplay(d);
        return 0;
      }
    }
    const long left =
        timeoutMs - std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    if (left <= 0) break;
    fd_set in;
    FD_ZERO(&in);
    FD_SET(fd, &in);
    timeval tv{left / 1000, (left % 1000) * 1000};
    select(fd + 1, &in, nullptr, nullptr, &tv);
  }
  std::printf("timeout\n");
  XCloseDisplay(d);
  return 1;
}
