#pragma once

#include <cstdlib>

namespace morvane {

/// Ends the run. The real one flushes standard output and ends the process at once, without
/// any termination callbacks.
class ProcessExit {
 public:
  virtual ~ProcessExit() = default;

  [[noreturn]] void exit(int status) {
    endProcess(status);
    std::abort();  // endProcess never returns; this keeps the promise if one ever did
  }

  /// True once the program was asked to end (SIGINT, SIGTERM, SIGHUP) while it waited for a
  /// privileged tool. The run then starts no other tool and ends as a failure.
  virtual bool interrupted() const = 0;

 protected:
  /// Ends the process with `status`, or leaves by an exception in tests. Never returns.
  virtual void endProcess(int status) = 0;
};

}  // namespace morvane
