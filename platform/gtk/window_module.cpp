// The window module's one entry point.
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/gtk/gtk_window_backend.h"
#include "platform/gtk/window_module.h"

extern "C" __attribute__((visibility("default"))) morvane::PromptBackend*
morvane_open_window_backend(const char** why) {
  // The program keeps the locale it has: its texts come translated, and numbers stay as the C
  // locale writes them.
  gtk_disable_setlocale();
  // gtk_init would end the process with status 1, the program's success status, when the
  // display cannot be opened.
  if (!gtk_init_check(nullptr, nullptr)) {
    static std::string reason;
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    reason =
        std::string("cannot open the display ") + (display != nullptr && *display != '\0' ? display
                                                   : wayland != nullptr                   ? wayland
                                                                                          : "");
    *why = reason.c_str();
    return nullptr;
  }
  return std::make_unique<morvane::GtkWindowBackend>().release();
}
