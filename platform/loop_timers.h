#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/application.h"

namespace morvane {

/// The repeating timers of a loop that waits with poll: the loop asks how long it may sleep,
/// then fires what has fallen due. A tick that comes late is not made up.
class LoopTimers {
 public:
  /// `stopped` runs whenever a timer is invalidated.
  explicit LoopTimers(std::function<void()> stopped = {});
  ~LoopTimers();
  LoopTimers(const LoopTimers&) = delete;
  LoopTimers& operator=(const LoopTimers&) = delete;

  /// A new timer that first fires one `interval` (in seconds) from now; it belongs to this.
  Timer* schedule(double interval, std::function<void(Timer*)> tick);
  /// Milliseconds until the next timer is due, or -1 without one: poll's timeout.
  int untilNextTick() const;
  /// Fires every timer that is due, and forgets the invalidated ones.
  void fireDue();

 private:
  class LoopTimer;
  std::vector<std::unique_ptr<LoopTimer>> timers_;
  std::function<void()> stopped_;
};

}  // namespace morvane
