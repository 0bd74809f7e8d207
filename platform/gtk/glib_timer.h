#pragma once

#include <glib.h>

#include <functional>

#include "platform/application.h"

namespace morvane {

/// A repeating timeout on the GLib main loop. A tick that comes late, because the loop was
/// busy, is not made up: the next one is due one interval after it.
class GlibTimer final : public Timer {
 public:
  GlibTimer(double interval, std::function<void(Timer*)> tick);
  ~GlibTimer() override { invalidate(); }
  GlibTimer(const GlibTimer&) = delete;
  GlibTimer& operator=(const GlibTimer&) = delete;

  void invalidate() override;

 private:
  static gboolean fire(gpointer timer);

  std::function<void(Timer*)> tick_;
  guint source_ = 0;
};

}  // namespace morvane
