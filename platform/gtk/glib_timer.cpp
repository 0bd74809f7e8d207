#include "platform/gtk/glib_timer.h"

#include <cmath>

namespace morvane {

GlibTimer::GlibTimer(double interval, std::function<void(Timer*)> tick) : tick_(std::move(tick)) {
  const auto milliseconds = static_cast<guint>(std::lround(interval * 1000));
  source_ = g_timeout_add(milliseconds, &GlibTimer::fire, this);
}

void GlibTimer::invalidate() {
  if (source_ != 0) {
    // Also right while the timer's own tick runs: GLib lets a source be removed from inside
    // its callback, and no tick comes after.
    g_source_remove(source_);
    source_ = 0;
  }
}

gboolean GlibTimer::fire(gpointer timer) {
  auto* self = static_cast<GlibTimer*>(timer);
  self->tick_(self);
  return self->source_ != 0 ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

}  // namespace morvane
