#pragma once

#include <signal.h>
#include <sys/types.h>

namespace morvane {

/// While one lives, SIGINT, SIGTERM and SIGHUP do not end the program: each is noted for
/// askedToEnd(), and SIGTERM is passed on to the child named with forwardTo(). It is made
/// around the wait for a privileged tool, so the program outlives its tool and the tool never
/// outlives the run. A signal the program was started to ignore stays ignored; the handlers
/// that were there before come back when it ends.
class DeferredSignals {
 public:
  DeferredSignals();
  ~DeferredSignals();
  DeferredSignals(const DeferredSignals&) = delete;
  DeferredSignals& operator=(const DeferredSignals&) = delete;

  /// Passes SIGTERM on to `child` from now on, and at once if one arrived before the child was
  /// known.
  void forwardTo(pid_t child);
  /// Passes nothing on any more: the child has been waited for, and its pid may be reused.
  void childEnded();

 private:
  struct sigaction previous_[3];
};

/// True once SIGINT, SIGTERM or SIGHUP arrived while signals were deferred. It stays true: the
/// run is then to end as a failure.
bool askedToEnd();

}  // namespace morvane
