#include "platform/loop_timers.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace morvane {

using Clock = std::chrono::steady_clock;

class LoopTimers::LoopTimer final : public Timer {
 public:
  LoopTimer(const std::function<void()>& stopped, double interval, std::function<void(Timer*)> tick)
      : stopped_(stopped),
        interval_(
            std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(interval))),
        due_(Clock::now() + interval_),
        tick_(std::move(tick)) {}

  void invalidate() override {
    valid_ = false;
    if (stopped_) {
      stopped_();
    }
  }
  bool valid() const { return valid_; }
  Clock::time_point due() const { return due_; }
  void fireIfDue(Clock::time_point now) {
    if (!valid_ || now < due_) {
      return;
    }
    due_ += interval_;
    if (due_ <= now) {
      due_ = now + interval_;
    }
    tick_(this);
  }

 private:
  const std::function<void()>& stopped_;
  Clock::duration interval_;
  Clock::time_point due_;
  std::function<void(Timer*)> tick_;
  bool valid_ = true;
};

LoopTimers::LoopTimers(std::function<void()> stopped) : stopped_(std::move(stopped)) {}

LoopTimers::~LoopTimers() = default;

Timer* LoopTimers::schedule(double interval, std::function<void(Timer*)> tick) {
  timers_.push_back(std::make_unique<LoopTimer>(stopped_, interval, std::move(tick)));
  return timers_.back().get();
}

int LoopTimers::untilNextTick() const {
  int wait = -1;
  const Clock::time_point now = Clock::now();
  for (const auto& timer : timers_) {
    if (timer->valid()) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(timer->due() - now).count();
      const int milliseconds = static_cast<int>(std::max<decltype(left)>(left, 0));
      wait = wait < 0 ? milliseconds : std::min(wait, milliseconds);
    }
  }
  return wait;
}

void LoopTimers::fireDue() {
  std::erase_if(timers_, [](const auto& timer) { return !timer->valid(); });
  // By index: a tick may schedule another timer.
  for (std::size_t i = 0; i < timers_.size(); ++i) {
    timers_[i]->fireIfDue(Clock::now());
  }
}

}  // namespace morvane
