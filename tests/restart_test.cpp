// The restart request against a private system bus.
#include <gtest/gtest.h>
#include <signal.h>

#include <optional>
#include <string>

#include "platform/dbus/login_manager.h"
#include "platform/posix/process_launcher_posix.h"
#include "tests/temp_folder.h"

namespace morvane::testing {
namespace {

TEST(RestartRequestTest, IsHandedOverOnlyToALoginManagerOnTheBus) {
  TempFolder folder;
  const std::string socket = (folder.path() / "bus").string();
  // Every request of this test goes to a private bus: none can reach the login manager.
  const ScopedVariable bus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + socket);
  EXPECT_FALSE(LoginManagerRestarter().requestRestart()) << "no bus";

  const std::optional<std::string> daemon = PosixProcessLauncher().launchAndReadOutput(
      "/usr/bin/dbus-daemon", {"--config-file=" MORVANE_SANDBOX_DIR "/private-bus.conf",
                               "--address=unix:path=" + socket, "--fork", "--print-pid"});
  ASSERT_TRUE(daemon && !daemon->empty()) << "no private bus";
  // A message to a name nobody owns would be dropped without an error.
  EXPECT_FALSE(LoginManagerRestarter().requestRestart()) << "nobody owns the name";
  ::kill(std::stoi(*daemon), SIGTERM);
}

}  // namespace
}  // namespace morvane::testing
