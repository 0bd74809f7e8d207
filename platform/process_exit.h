#pragma once

#include <cstdlib>
#include <functional>

namespace morvane {

/// Ends the run. The real one flushes standard output and ends the process at once, without
/// any termination callbacks.
class ProcessExit {
 public:
  virtual ~ProcessExit() = default;

  [[noreturn]] void exit(int status) {
    if (beforeEnd_) {
      beforeEnd_();
    }
    endProcess(status);
    std::abort();  // endProcess never returns; this keeps the promise if one ever did
  }

  /// Runs `hook` right before every later end of the run. The prompt's backend gives the
  /// terminal back this way: the process ends without any callbacks of the runtime.
  void setBeforeEnd(std::function<void()> hook) { beforeEnd_ = std::move(hook); }

  /// True once the program was asked to end (SIGINT, SIGTERM, SIGHUP) while it waited for a
  /// privileged tool. The run then starts no other tool and ends as a failure.
  virtual bool interrupted() const = 0;

 protected:
  /// Ends the process with `status`, or leaves by an exception in tests. Never returns.
  virtual void endProcess(int status) = 0;

 private:
  std::function<void()> beforeEnd_;
};

}  // namespace morvane
