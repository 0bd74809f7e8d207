// login-manager-standin ADDRESS JOURNAL: stands in for the login manager on the sandbox's
// private bus at ADDRESS. It owns org.freedesktop.login1, takes each Reboot call and writes it
// to JOURNAL as the sandbox's tools do: "org.freedesktop.login1.Manager.Reboot", a tab, and the
// interactive flag, "true" or "false". It never answers, as a login manager that waits on its
// own authorization dialog, and reboots nothing. Once it owns the name it prints "ready" and then
// serves until it is ended.
#include <systemd/sd-bus.h>

#include <cstdint>
#include <cstdio>
#include <fstream>

namespace {

constexpr char kManager[] = "org.freedesktop.login1.Manager";
const char* journal = nullptr;

int answer(sd_bus_message* call, void*, sd_bus_error*) {
  if (!sd_bus_message_is_method_call(call, kManager, "Reboot")) {
    return 0;  // not ours: the bus answers that the method is unknown
  }
  int interactive = 0;
  const int read = sd_bus_message_read(call, "b", &interactive);
  if (read < 0) {
    return read;
  }
  std::ofstream(journal, std::ios::app)
      << kManager << ".Reboot\t" << (interactive ? "true" : "false") << "\n";
  return 1;  // taken, and no answer
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: login-manager-standin ADDRESS JOURNAL\n");
    return 2;
  }
  journal = argv[2];
  sd_bus* bus = nullptr;
  if (sd_bus_new(&bus) < 0 || sd_bus_set_address(bus, argv[1]) < 0 ||
      sd_bus_set_bus_client(bus, 1) < 0 || sd_bus_start(bus) < 0 ||
      sd_bus_add_object(bus, nullptr, "/org/freedesktop/login1", answer, nullptr) < 0 ||
      sd_bus_request_name(bus, "org.freedesktop.login1", 0) < 0) {
    std::fprintf(stderr, "login-manager-standin: cannot serve on %s\n", argv[1]);
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  for (;;) {
    const int processed = sd_bus_process(bus, nullptr);
    if (processed < 0 || (processed == 0 && sd_bus_wait(bus, UINT64_MAX) < 0)) {
      return 1;
    }
  }
}
