#pragma once

#include <functional>

namespace morvane {

/// A repeating timer on the main loop. The loop keeps it until it is invalidated.
class Timer {
 public:
  virtual ~Timer() = default;
  /// Stops the timer for good; no tick arrives after this returns.
  virtual void invalidate() = 0;
};

/// The application framework's event loop.
class Application {
 public:
  virtual ~Application() = default;

  /// Schedules a repeating timer that first fires one `interval` after now. The returned timer
  /// belongs to the loop.
  virtual Timer* scheduledTimer(double interval, std::function<void(Timer*)> tick) = 0;

  /// Runs the event loop; returns only when the framework ends it.
  virtual int run() = 0;
};

}  // namespace morvane
