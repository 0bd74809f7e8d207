// The reboot request over sd-bus. libsystemd is loaded here, on the one request of a run, and
// never linked: most runs end at launch, and they should neither pay for loading it nor need it.
#include "platform/dbus/login_manager.h"

#include <dlfcn.h>
#include <systemd/sd-bus.h>

#include <memory>

namespace morvane {
namespace {

constexpr char kLibrary[] = "libsystemd.so.0";
constexpr char kService[] = "org.freedesktop.login1";
constexpr char kObject[] = "/org/freedesktop/login1";
constexpr char kInterface[] = "org.freedesktop.login1.Manager";

struct LibraryCloser {
  void operator()(void* handle) const { ::dlclose(handle); }
};
using Library = std::unique_ptr<void, LibraryCloser>;

/// The few sd-bus calls the request needs, looked up in a loaded library.
struct SdBus {
  decltype(&sd_bus_open_system) openSystem = nullptr;
  decltype(&sd_bus_call_method) callMethod = nullptr;
  decltype(&sd_bus_error_free) errorFree = nullptr;
  decltype(&sd_bus_flush_close_unref) closeUnref = nullptr;

  bool complete() const { return openSystem && callMethod && errorFree && closeUnref; }
};

template <typename Function>
void lookUp(void* library, const char* name, Function* function) {
  *function = reinterpret_cast<Function>(::dlsym(library, name));
}

SdBus lookUpAll(void* library) {
  SdBus bus;
  lookUp(library, "sd_bus_open_system", &bus.openSystem);
  lookUp(library, "sd_bus_call_method", &bus.callMethod);
  lookUp(library, "sd_bus_error_free", &bus.errorFree);
  lookUp(library, "sd_bus_flush_close_unref", &bus.closeUnref);
  return bus;
}

RebootRequest callReboot(const SdBus& api) {
  sd_bus* bus = nullptr;
  if (api.openSystem(&bus) < 0) {
    return RebootRequest::kNoBus;
  }
  std::unique_ptr<sd_bus, decltype(api.closeUnref)> connection(bus, api.closeUnref);
  sd_bus_error error{};
  // interactive = true: the login manager may ask the user to authorize the reboot.
  const int called =
      api.callMethod(bus, kService, kObject, kInterface, "Reboot", &error, nullptr, "b", 1);
  api.errorFree(&error);
  return called < 0 ? RebootRequest::kRefused : RebootRequest::kAccepted;
}

}  // namespace

RebootRequest requestReboot() {
  const Library library(::dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL));
  if (!library) {
    return RebootRequest::kNoBus;
  }
  const SdBus api = lookUpAll(library.get());
  return api.complete() ? callReboot(api) : RebootRequest::kNoBus;
}

}  // namespace morvane
