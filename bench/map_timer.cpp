// map_timer RUNS COMMAND_A... -- COMMAND_B...: starts the two commands in turn, RUNS times each,
// on the display named by DISPLAY, and measures the wall time from the spawn to the moment the
// first window of the run is mapped (the server's MapNotify on the root window, so no polling
// delay is counted). Each program is then ended with SIGTERM before anything is answered.
// Prints the median of each side and their ratio.
#include <X11/Xlib.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

/// Waits for the next MapNotify of a top-level window; false after 10 seconds without one.
bool awaitMap(Display* display) {
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (Clock::now() < deadline) {
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == MapNotify && !event.xmap.override_redirect) {
        return true;
      }
    }
    pollfd ready{ConnectionNumber(display), POLLIN, 0};
    ::poll(&ready, 1, 100);
  }
  return false;
}

/// Milliseconds from spawn to mapped, or a negative value on failure.
double timeOneRun(Display* display, const std::vector<char*>& command) {
  XSync(display, True);  // forget the events of the run before
  const auto start = Clock::now();
  pid_t pid = -1;
  if (posix_spawnp(&pid, command[0], nullptr, nullptr, command.data(), environ) != 0) {
    return -1;
  }
  const bool mapped = awaitMap(display);
  const auto end = Clock::now();
  ::kill(pid, SIGTERM);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return mapped ? std::chrono::duration<double, std::milli>(end - start).count() : -1;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

std::string joined(const std::vector<char*>& command) {
  std::string text;
  for (const char* word : command) {
    if (word != nullptr) {
      text += (text.empty() ? "" : " ") + std::string(word);
    }
  }
  return text.size() > 60 ? text.substr(0, 57) + "..." : text;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> a, b;
  bool second = false;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0 && !second) {
      second = true;
    } else {
      (second ? b : a).push_back(argv[i]);
    }
  }
  if (argc < 2 || a.empty() || b.empty()) {
    std::fprintf(stderr, "usage: map_timer RUNS COMMAND_A... -- COMMAND_B...\n");
    return 2;
  }
  a.push_back(nullptr);
  b.push_back(nullptr);
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "map_timer: cannot open the display\n");
    return 1;
  }
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  const int runs = std::max(1, std::atoi(argv[1]));
  std::vector<double> timesA, timesB;
  for (int i = 0; i < runs; ++i) {
    timesA.push_back(timeOneRun(display, a));
    timesB.push_back(timeOneRun(display, b));
    if (timesA.back() < 0 || timesB.back() < 0) {
      std::fprintf(stderr, "map_timer: a program did not map a window\n");
      return 1;
    }
  }
  const double ma = median(timesA), mb = median(timesB);
  std::printf("%-60s median %7.1f ms\n%-60s median %7.1f ms\nratio of the medians: %.2f\n",
              joined(a).c_str(), ma, joined(b).c_str(), mb, ma / mb);
  XCloseDisplay(display);
  return 0;
}
