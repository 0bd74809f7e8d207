#include "platform/prompt_application.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace morvane {

Timer* PromptApplication::scheduledTimer(double interval, std::function<void(Timer*)> tick) {
  return backend_ ? backend_->scheduledTimer(interval, std::move(tick)) : nullptr;
}

namespace {

/// The variables that make GTK, GIO and GdkPixbuf load code or module lists from where they
/// name. An installer run as root, or `sudo -E`, may pass on a user's: as root the window must
/// load only what the system installed.
constexpr const char* kCodeLoadingVariables[] = {
    "GTK_MODULES",          "GTK3_MODULES",    "GTK_PATH",
    "GTK_EXE_PREFIX",       "GTK_IM_MODULE",   "GTK_IM_MODULE_FILE",
    "GIO_EXTRA_MODULES",    "GIO_MODULE_DIR",  "GDK_PIXBUF_MODULE_FILE",
    "GDK_PIXBUF_MODULEDIR", "GTK_DATA_PREFIX", "GSETTINGS_BACKEND"};

}  // namespace

bool PromptApplication::bindWindow(Window& window, std::string* why) {
  if (::geteuid() == 0) {
    for (const char* name : kCodeLoadingVariables) {
      ::unsetenv(name);
    }
  }
  std::string windowWhy;
  backend_ = openWindowBackend(&windowWhy);
  if (!backend_) {
    std::string terminalWhy;
    backend_ = openTerminalBackend(localizer_, &terminalWhy);
    if (!backend_) {
      *why = windowWhy + "; " + terminalWhy;
      return false;
    }
    std::fprintf(stderr, "Morvane: no window (%s): asking on the terminal\n", windowWhy.c_str());
  }
  process_.addBeforeEnd([this] { backend_->release(); });
  backend_->attach(window);
  return true;
}

int PromptApplication::run() {
  // Every run that reaches the loop has a backend: without one the prompt ended the run.
  return backend_ ? backend_->run() : -1;
}

}  // namespace morvane
