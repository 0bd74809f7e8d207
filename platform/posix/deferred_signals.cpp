#include "platform/posix/deferred_signals.h"

#include <cerrno>
#include <csignal>
#include <iterator>

namespace morvane {
namespace {

constexpr int kDeferred[] = {SIGINT, SIGTERM, SIGHUP};

// Written by the handler, so of the one type it may write.
volatile std::sig_atomic_t gAskedToEnd = 0;
volatile std::sig_atomic_t gChild = 0;
volatile std::sig_atomic_t gTermPending = 0;

extern "C" void noteSignal(int signal) {
  const int savedErrno = errno;
  gAskedToEnd = 1;
  if (signal == SIGTERM) {
    if (gChild > 0) {
      ::kill(static_cast<pid_t>(gChild), SIGTERM);
    } else {
      gTermPending = 1;
    }
  }
  errno = savedErrno;
}

}  // namespace

DeferredSignals::DeferredSignals() {
  gChild = 0;
  gTermPending = 0;
  struct sigaction deferred {};
  deferred.sa_handler = noteSignal;
  ::sigemptyset(&deferred.sa_mask);
  deferred.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < std::size(kDeferred); ++i) {
    ::sigaction(kDeferred[i], nullptr, &previous_[i]);
    if (previous_[i].sa_handler != SIG_IGN) {
      ::sigaction(kDeferred[i], &deferred, nullptr);
    }
  }
}

DeferredSignals::~DeferredSignals() {
  gChild = 0;
  for (std::size_t i = 0; i < std::size(kDeferred); ++i) {
    ::sigaction(kDeferred[i], &previous_[i], nullptr);
  }
}

void DeferredSignals::forwardTo(pid_t child) {
  gChild = child;
  // A SIGTERM between the start of the child and this line found no child to pass it to.
  if (gTermPending != 0) {
    ::kill(child, SIGTERM);
  }
}

void DeferredSignals::childEnded() {
  gChild = 0;
}

bool askedToEnd() {
  return gAskedToEnd != 0;
}

}  // namespace morvane
