#include "platform/terminal/controlling_terminal.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/write_all.h"

namespace morvane {
namespace {

// The prompt's screen with the cursor hidden, and back: the user's screen is as it was after.
constexpr char kEnterScreen[] = "\x1b[?1049h\x1b[?25l";
constexpr char kLeaveScreen[] = "\x1b[?25h\x1b[?1049l";

// What restoring needs, where a signal handler can reach it: the process has one controlling
// terminal, and the handler gets no argument to find it by.
struct Saved {
  int fd = -1;
  bool settingsKnown = false;
  termios settings{};
  volatile sig_atomic_t raw = 0;
};
Saved saved;

winsize windowSize(int fd) {
  winsize size{};
  if (::ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0) {
    size.ws_col = 80;
    size.ws_row = 24;
  }
  return size;
}

}  // namespace

void restoreTerminalFromSignal() {
  if (saved.raw == 0) {
    return;
  }
  saved.raw = 0;
  const int keptErrno = errno;
  writeAll(saved.fd, {kLeaveScreen, sizeof kLeaveScreen - 1});
  ::tcsetattr(saved.fd, TCSADRAIN, &saved.settings);
  errno = keptErrno;
}

std::unique_ptr<ControllingTerminal> ControllingTerminal::open(std::string* why) {
  UniqueFd fd(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) {
    *why = std::string("no controlling terminal (/dev/tty: ") + std::strerror(errno) + ")";
    return nullptr;
  }
  auto terminal = std::make_unique<ControllingTerminal>(std::move(fd));
  if (!terminal->inForeground()) {
    *why = "the terminal belongs to another job (this process runs in the background)";
    return nullptr;
  }
  return terminal;
}

ControllingTerminal::ControllingTerminal(UniqueFd fd) : fd_(std::move(fd)) {
  saved.fd = fd_.get();
}

ControllingTerminal::~ControllingTerminal() {
  restore();
  saved.fd = -1;
}

bool ControllingTerminal::inForeground() const {
  // In a process namespace that does not see the foreground group both calls answer 0; the
  // sandboxed host runs so, and there the terminal is the run's own.
  return ::tcgetpgrp(fd()) == ::getpgrp();
}

bool ControllingTerminal::enterRaw() {
  if (saved.raw != 0) {
    return true;
  }
  if (!saved.settingsKnown) {
    if (::tcgetattr(fd(), &saved.settings) != 0) {
      return false;
    }
    saved.settingsKnown = true;
  }
  termios raw = saved.settings;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | IEXTEN);
  raw.c_iflag &= ~static_cast<tcflag_t>(IXON);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  // Keys typed before the question stood on the screen are no answer to it.
  if (::tcsetattr(fd(), TCSAFLUSH, &raw) != 0) {
    return false;
  }
  saved.raw = 1;
  return write(kEnterScreen);
}

bool ControllingTerminal::isRaw() const {
  return saved.raw != 0;
}

void ControllingTerminal::restore() {
  restoreTerminalFromSignal();
}

bool ControllingTerminal::write(std::string_view bytes) {
  return writeAll(fd(), bytes);
}

std::size_t ControllingTerminal::columns() const {
  return windowSize(fd()).ws_col;
}

std::size_t ControllingTerminal::rows() const {
  return windowSize(fd()).ws_row;
}

}  // namespace morvane
