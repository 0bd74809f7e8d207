#include "platform/terminal/terminal_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "platform/terminal/controlling_terminal.h"

namespace morvane {
namespace {

constexpr std::array kEnding = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr std::array kHandled = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP, SIGCONT, SIGWINCH};

// The handlers reach the pipe through this; there is one prompt per process.
volatile sig_atomic_t wakeWriteEnd = -1;
std::array<struct sigaction, kHandled.size()> previous;

void wake() {
  const int keptErrno = errno;
  const char byte = 0;
  // A full pipe already holds a wake-up.
  [[maybe_unused]] const ssize_t ignored = ::write(wakeWriteEnd, &byte, 1);
  errno = keptErrno;
}

/// Handlers run with every handled signal blocked, so that a second signal (Ctrl-C reaches the
/// whole process group, and a parent may pass it on once more) cannot end the process halfway
/// through giving the terminal back.
void setHandler(int signal, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (const int blocked : kHandled) {
    sigaddset(&action.sa_mask, blocked);
  }
  ::sigaction(signal, &action, nullptr);
}

/// Lets `signal` do what it does by default now: ends or stops the process.
void raiseDefault(int signal) {
  setHandler(signal, SIG_DFL);
  ::raise(signal);  // blocked in the handler, so it waits for the unblocking
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
}

void onEnding(int signal) {
  restoreTerminalFromSignal();
  raiseDefault(signal);
}

void onStop(int signal) {
  restoreTerminalFromSignal();
  raiseDefault(signal);  // the process stays stopped here until SIGCONT
  setHandler(signal, onStop);
  wake();
}

void onRedraw(int) {
  wake();
}

}  // namespace

std::unique_ptr<TerminalSignals> TerminalSignals::install(std::string* why) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
    *why = std::string("cannot make a pipe: ") + std::strerror(errno);
    return nullptr;
  }
  return std::make_unique<TerminalSignals>(UniqueFd(ends[0]), UniqueFd(ends[1]));
}

TerminalSignals::TerminalSignals(UniqueFd readEnd, UniqueFd writeEnd)
    : readEnd_(std::move(readEnd)), writeEnd_(std::move(writeEnd)) {
  wakeWriteEnd = writeEnd_.get();
  for (std::size_t i = 0; i < kHandled.size(); ++i) {
    ::sigaction(kHandled[i], nullptr, &previous[i]);
  }
  for (std::size_t i = 0; i < kEnding.size(); ++i) {
    // A signal the caller ignores (nohup) stays ignored.
    if (previous[i].sa_handler != SIG_IGN) {
      setHandler(kEnding[i], onEnding);
    }
  }
  setHandler(SIGTSTP, onStop);
  setHandler(SIGCONT, onRedraw);
  setHandler(SIGWINCH, onRedraw);
}

TerminalSignals::~TerminalSignals() {
  for (std::size_t i = 0; i < kHandled.size(); ++i) {
    ::sigaction(kHandled[i], &previous[i], nullptr);
  }
  wakeWriteEnd = -1;
}

void TerminalSignals::drain() const {
  char bytes[64];
  while (::read(wakeFd(), bytes, sizeof bytes) > 0) {
  }
}

}  // namespace morvane
