#pragma once

#include <functional>
#include <string>

namespace morvane {

class Window;

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

  /// Chooses how the prompt is shown here (a window, or the terminal) and binds `window` and
  /// every control in it to that backend: from then on each change reaches the screen, and the
  /// controls send their actions from the loop. False when the prompt cannot be shown here:
  /// then `why` holds the reason, and nothing is bound or shown.
  virtual bool bindWindow(Window& window, std::string* why) = 0;

  /// Runs the event loop; returns only when the framework ends it.
  virtual int run() = 0;
};

}  // namespace morvane
