// The reboot request over sd-bus. libsystemd is loaded here, on the first request of a run, and
// never linked: most runs end at launch, and they should neither pay for loading it nor need it.
#include "platform/dbus/login_manager.h"

#include <dlfcn.h>
#include <systemd/sd-bus.h>

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
  decltype(&sd_bus_message_read) read = nullptr;
  decltype(&sd_bus_message_new_method_call) newCall = nullptr;
  decltype(&sd_bus_message_set_expect_reply) setExpectReply = nullptr;
  decltype(&sd_bus_message_append) append = nullptr;
  decltype(&sd_bus_send) send = nullptr;
  decltype(&sd_bus_flush) flush = nullptr;
  decltype(&sd_bus_message_unref) unref = nullptr;
  decltype(&sd_bus_error_free) errorFree = nullptr;
  decltype(&sd_bus_flush_close_unref) closeUnref = nullptr;

  bool complete() const {
    return openSystem && callMethod && read && newCall && setExpectReply && append && send &&
           flush && unref && errorFree && closeUnref;
  }
};

template <typename Function>
void lookUp(void* library, const char* name, Function* function) {
  *function = reinterpret_cast<Function>(::dlsym(library, name));
}

SdBus lookUpAll(void* library) {
  SdBus bus;
  lookUp(library, "sd_bus_open_system", &bus.openSystem);
  lookUp(library, "sd_bus_call_method", &bus.callMethod);
  lookUp(library, "sd_bus_message_read", &bus.read);
  lookUp(library, "sd_bus_message_new_method_call", &bus.newCall);
  lookUp(library, "sd_bus_message_set_expect_reply", &bus.setExpectReply);
  lookUp(library, "sd_bus_message_append", &bus.append);
  lookUp(library, "sd_bus_send", &bus.send);
  lookUp(library, "sd_bus_flush", &bus.flush);
  lookUp(library, "sd_bus_message_unref", &bus.unref);
  lookUp(library, "sd_bus_error_free", &bus.errorFree);
  lookUp(library, "sd_bus_flush_close_unref", &bus.closeUnref);
  return bus;
}

}  // namespace

/// The loaded library and the open system bus; the bus is closed before the library goes.
struct LoginManagerRestarter::Connection {
  Library library;
  SdBus api;
  sd_bus* bus = nullptr;

  ~Connection() {
    if (bus != nullptr) {
      api.closeUnref(bus);
    }
  }

  /// Whether somebody owns the login manager's name: the bus answers that itself, at once.
  bool loginManagerIsThere() {
    sd_bus_error error{};
    sd_bus_message* reply = nullptr;
    int owned = 0;
    const bool asked =
        api.callMethod(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                       "NameHasOwner", &error, &reply, "s", kService) >= 0 &&
        api.read(reply, "b", &owned) >= 0;
    api.unref(reply);
    api.errorFree(&error);
    return asked && owned != 0;
  }

  bool sendReboot() {
    sd_bus_message* request = nullptr;
    // interactive = true: the login manager may ask the user to authorize the reboot.
    const bool sent = api.newCall(bus, &request, kService, kObject, kInterface, "Reboot") >= 0 &&
                      api.setExpectReply(request, 0) >= 0 && api.append(request, "b", 1) >= 0 &&
                      api.send(bus, request, nullptr) >= 0 && api.flush(bus) >= 0;
    api.unref(request);
    return sent;
  }
};

LoginManagerRestarter::LoginManagerRestarter() = default;
LoginManagerRestarter::~LoginManagerRestarter() = default;

bool LoginManagerRestarter::requestRestart() {
  if (!connection_) {
    auto connection = std::make_unique<Connection>();
    connection->library.reset(::dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL));
    if (!connection->library) {
      return false;
    }
    connection->api = lookUpAll(connection->library.get());
    if (!connection->api.complete() || connection->api.openSystem(&connection->bus) < 0) {
      connection->bus = nullptr;
      return false;
    }
    connection_ = std::move(connection);
  }
  return connection_->loginManagerIsThere() && connection_->sendReboot();
}

}  // namespace morvane
