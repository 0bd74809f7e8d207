// The program's side of the window module: the toolkit is loaded only when a prompt is shown
// and a display is named, so runs that end earlier never pay for it and the executable links
// none of it.
#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/gtk/window_module.h"
#include "platform/posix/executable_folder.h"

// The installed module's folder relative to the executable's (set by the build).
#ifndef MORVANE_WINDOW_MODULE_DIR
#define MORVANE_WINDOW_MODULE_DIR "../lib/morvane"
#endif

namespace morvane {
namespace {

namespace fs = std::filesystem;

struct LibraryCloser {
  void operator()(void* library) const { ::dlclose(library); }
};
using LibraryHandle = std::unique_ptr<void, LibraryCloser>;

/// The module's backend together with the library that holds its code: the backend is
/// destroyed first, then the library is closed.
class ModuleBackend final : public PromptBackend {
 public:
  ModuleBackend(LibraryHandle library, std::unique_ptr<PromptBackend> backend)
      : library_(std::move(library)), backend_(std::move(backend)) {}

  void attach(Window& window) override { backend_->attach(window); }
  Timer* scheduledTimer(double interval, std::function<void(Timer*)> tick) override {
    return backend_->scheduledTimer(interval, std::move(tick));
  }
  int run() override { return backend_->run(); }
  void controlChanged(const Control& control) override { backend_->controlChanged(control); }
  void windowChanged(const Window& window) override { backend_->windowChanged(window); }

 private:
  LibraryHandle library_;
  std::unique_ptr<PromptBackend> backend_;
};

bool displayNamed() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') {
      return true;
    }
  }
  return false;
}

/// Loads the module from beside the executable (a build folder), else from the installed
/// library folder relative to it.
LibraryHandle loadModule(std::string* why) {
  const auto found = findBesideExecutable(
      {kWindowModuleFile, fs::path(MORVANE_WINDOW_MODULE_DIR) / kWindowModuleFile},
      fs::file_type::regular);
  if (!found) {
    *why = std::string("the window module ") + kWindowModuleFile + " is not installed";
    return nullptr;
  }
  // Never unloaded: a toolkit that failed to open its display may have left threads and
  // handlers behind in its libraries.
  LibraryHandle library(::dlopen(found->c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE));
  if (!library) {
    const char* reason = ::dlerror();
    *why = std::string("the window module cannot be loaded: ") +
           (reason != nullptr ? reason : found->c_str());
  }
  return library;
}

}  // namespace

std::unique_ptr<PromptBackend> openWindowBackend(std::string* why) {
  if (!displayNamed()) {
    *why = "no display is named (DISPLAY, WAYLAND_DISPLAY)";
    return nullptr;
  }
  LibraryHandle library = loadModule(why);
  if (!library) {
    return nullptr;
  }
  auto* open = reinterpret_cast<decltype(&morvane_open_window_backend)>(
      ::dlsym(library.get(), kWindowModuleEntry));
  if (open == nullptr) {
    *why = std::string("the window module has no ") + kWindowModuleEntry;
    return nullptr;
  }
  const char* reason = "the window module failed";
  std::unique_ptr<PromptBackend> backend(open(&reason));
  if (!backend) {
    *why = reason;  // copied before the library closes
    return nullptr;
  }
  return std::make_unique<ModuleBackend>(std::move(library), std::move(backend));
}

}  // namespace morvane
