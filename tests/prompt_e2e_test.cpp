// Whole runs that reach the restart prompt, answered as a user would: on a terminal (a tmux
// pane), or in the window on a private X server (Xvfb) with xdotool, where the sandbox's private
// system bus carries the restart request to the login manager's stand-in, which writes it to
// the journal. No run can restart this machine.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "tests/sandbox_host.h"

namespace morvane::testing {
namespace {

using PromptE2eTest = SandboxTest;

constexpr char kReboot[] = "org.freedesktop.login1.Manager.Reboot\ttrue\n";
constexpr char kMarker[] = "/Users/Shared/.quorix_marker";
const std::string kKitA = "/Users/Shared/Kit/A.kext", kKitB = "/Users/Shared/Kit/B.kext";

/// What the installation pass of the two offered kexts runs, in order: A is new, B upgrades an
/// older copy that is installed and loaded.
const std::string kInstallPass = "/bin/cp\t-rf\t" + kKitA + "\t" + entry("A.kext") + "\n" +
                                 removal("B.kext") + "/bin/cp\t-rf\t" + kKitB + "\t" +
                                 entry("B.kext") + "\n/usr/bin/touch\t" + kExtensions + "\n";

TEST_F(PromptE2eTest, EachAnswerOnTheTerminalAndInTheWindow) {
  for (const char* tool :
       {"/usr/bin/tmux", "/usr/bin/Xvfb", "/usr/bin/xdotool", "/usr/bin/dbus-daemon"}) {
    if (!std::filesystem::exists(tool)) {
      GTEST_SKIP() << "no " << tool << " on this machine (scripts/install-deps installs it)";
    }
  }
  const XServer x;
  ASSERT_FALSE(x.name().empty()) << "Xvfb did not start";
  struct Row {
    const XServer* window;  // none: on the terminal
    Args options, keys;
    std::optional<int> status;  // none: the run stays, as once the restart was asked for
    std::string journal;
  };
  // On the terminal: an escape sequence (Up) is no answer; Enter is Restart Later, the default;
  // Escape closes; "1" is Continue with -i; "2" is Restart Now, whose request is refused there
  // (no bus), so the question stands again. In the window, from the keyboard: Restart Now asks
  // for the restart and the system ends the process; no control of the pre-install layout
  // confirms the restart, so Continue never makes the marker; Escape or closing leave even with
  // a countdown whose end would install; the countdown's end installs with -d.
  const Row rows[] = {
      {nullptr, {}, {"Up", "Return"}, 1, kInstallPass},
      {nullptr, {}, {"Escape"}, 255, ""},
      {nullptr, {"-i"}, {"1"}, 1, kInstallPass},
      {nullptr, {}, {"2"}, std::nullopt, kInstallPass},
      {&x, {}, {"Tab", "Return"}, std::nullopt, kInstallPass + kReboot},
      {&x, {"-i", "-r", kMarker}, {"space"}, 1, kInstallPass},
      {&x, {"-i", "-d", "-r", kMarker}, {"Escape"}, 255, ""},
      {&x, {"-i", "-d", "-r", kMarker}, {"close"}, 255, ""},
      {&x, {"-i", "-d"}, {}, 1, kInstallPass},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.options) + ::testing::PrintToString(row.keys) +
                 (row.window ? " in the window" : " on the terminal"));
    const Sandbox host(installed("B") + Args{"--kext", kKitA, "com.quorix.a", "2.0", "--kext",
                                             kKitB, "com.quorix.b", "2.0"});
    UserRun run(host, row.options + Args{kKitA, kKitB}, row.window);
    ASSERT_TRUE(run.prompted()) << run.screen();
    if (!row.window && row.options == Args{"-i"}) {
      EXPECT_TRUE(eventually([&] { return run.shows("closed in 59 seconds"); })) << run.screen();
    }
    run.keys(row.keys);
    if (!row.status) {
      EXPECT_TRUE(eventually([&] { return host.state("journal") == row.journal; }, 30));
    }
    EXPECT_EQ(run.wait(row.status ? 90 : 1), row.status) << run.screen();
    EXPECT_EQ(host.state("journal"), row.journal);
    EXPECT_EQ(std::filesystem::exists(host.inside(entry("A.kext"))), !row.journal.empty());
    EXPECT_FALSE(std::filesystem::exists(host.inside(kMarker)));
    if (!row.window) {
      if (!row.status) {  // Ctrl-C ends the run as SIGINT does
        EXPECT_TRUE(eventually([&] { return run.shows("[2] Restart Now"); })) << run.screen();
        run.keys({"C-c"});
        EXPECT_EQ(run.wait(10), 130) << run.screen();
      }
      EXPECT_NE(run.settings("before"), "");
      EXPECT_EQ(run.settings("after"), run.settings("before"));
    }
  }
}

}  // namespace
}  // namespace morvane::testing
