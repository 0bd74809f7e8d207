#pragma once

#include <cstdlib>
#include <functional>
#include <vector>

namespace morvane {

/// Ends the run. The real one flushes standard output and ends the process at once, without
/// any termination callbacks.
class ProcessExit {
 public:
  virtual ~ProcessExit() = default;

  [[noreturn]] void exit(int status) {
    for (const std::function<void()>& hook : beforeEnd_) {
      hook();
    }
    endProcess(status);
    std::abort();  // endProcess never returns; this keeps the promise if one ever did
  }

  /// Runs `hook` right before every later end of the run, after the hooks added before it. The
  /// prompt's backend gives the terminal back this way, and a helper process of the run is
  /// stopped: the process ends without any callbacks of the runtime.
  void addBeforeEnd(std::function<void()> hook) { beforeEnd_.push_back(std::move(hook)); }

 protected:
  /// Ends the process with `status`, or leaves by an exception in tests. Never returns.
  virtual void endProcess(int status) = 0;

 private:
  std::vector<std::function<void()>> beforeEnd_;
};

}  // namespace morvane
