// Whole runs that reach the restart prompt, answered as a user would: on a terminal (a tmux
// pane), or in the window on a private X server (Xvfb) with xdotool, where the sandbox's private
// system bus carries the restart request to the login manager's stand-in, which writes it to
// the journal. No run can restart this machine.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/sandbox_host.h"

namespace morvane::testing {
namespace {

using PromptE2eTest = SandboxTest;

constexpr char kMarker[] = "/Users/Shared/.quorix_marker";
const Args kOffered = offered(kKitA) + offered(kKitB);

TEST_F(PromptE2eTest, EachAnswerOnTheTerminalAndInTheWindow) {
  const XServer x, w(true), lost(true);
  ASSERT_FALSE(x.name().empty() || w.name().empty() || lost.name().empty()) << "no display";
  // The installation pass of the two offered kexts: A is new, B upgrades an installed, loaded one.
  const auto pass = copy(kKitA) + removal("B.kext") + copy(kKitB) + kTouch;
  const std::string reboot = "org.freedesktop.login1.Manager.Reboot\ttrue\n";
  // On the terminal: Up (an escape sequence) is no answer; Enter is Restart Later, the default;
  // Escape closes; "1" is Continue with -i; "2" is Restart Now, refused there (no bus), so the
  // question stands again and Ctrl-C then ends the run as SIGINT does, Escape with 1 (the kexts
  // are installed); a 20x5 terminal still shows both keys and the legend. In the window: the login
  // manager never answers Restart Now's request, and the next answer is taken at once; Continue
  // never makes the marker (no control of the pre-install layout confirms a restart); Escape or
  // closing leave even when the countdown's end would install; that end installs with -d. On
  // Wayland the buttons answer by their names, and a lost compositor is a close.
  struct Row {
    const XServer* window = nullptr;  // none: on the terminal
    int columns = 80, rows = 24;
    Args options = {}, keys = {};
    std::optional<int> status = {};  // none: the run stays, as once the restart was asked for
    std::string journal = "";
    Args then = {};  // keys for the run that stayed, at once
    std::optional<int> thenStatus = {};
  };
  // clang-format off
  const Row rows[] = {
      {.keys = {"Up", "Enter"}, .status = 1, .journal = pass},
      {.keys = {"Escape"}, .status = 255},
      {.options = {"-i"}, .keys = {"1"}, .status = 1, .journal = pass},
      {.columns = 20, .rows = 5, .keys = {"2"}, .journal = pass, .then = {"C-c"}, .thenStatus = 130},
      {.keys = {"2"}, .journal = pass, .then = {"Escape"}, .thenStatus = 1},
      {.window = &x, .keys = {"Tab", "Return"}, .journal = pass + reboot, .then = {"Escape"}, .thenStatus = 1},
      {.window = &x, .options = {"-i", "-r", kMarker}, .keys = {"space"}, .status = 1, .journal = pass},
      {.window = &x, .options = {"-i", "-d", "-r", kMarker}, .keys = {"Escape"}, .status = 255},
      {.window = &x, .options = {"-i", "-d", "-r", kMarker}, .keys = {"close"}, .status = 255},
      {.window = &x, .options = {"-i", "-d"}, .status = 1, .journal = pass},
      {.window = &w, .keys = {"Restart Now"}, .journal = pass + reboot},
      {.window = &lost, .options = {"-i", "-d"}, .keys = {"lose"}, .status = 255},
  };
  // clang-format on
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.options + row.keys) +
                 (row.window ? " in the window" : ""));
    const Sandbox host(offered(kEntries + "B.kext", "1.0", true) + kOffered);
    UserRun run(host, row.options + Args{kKitA, kKitB},
                {.window = row.window, .columns = row.columns, .rows = row.rows});
    ASSERT_TRUE(run.prompted()) << run.screen();
    EXPECT_TRUE(row.rows == 24 || (run.shows("[1] Restart Later") && run.shows("[2] Restart Now") &&
                                   run.shows("Esc = close")))
        << run.screen();
    EXPECT_TRUE(row.window || row.options != Args{"-i"} ||
                eventually([&] { return run.shows("closed in 59 seconds"); }))
        << run.screen();
    run.keys(row.keys);
    EXPECT_TRUE(row.status || eventually([&] { return host.state("journal") == row.journal; }, 30));
    EXPECT_EQ(run.wait(row.status ? 90 : 1), row.status) << run.screen();
    EXPECT_EQ(host.state("journal"), row.journal);
    EXPECT_EQ(fs::exists(host.inside(kEntries + "A.kext")), !row.journal.empty());
    EXPECT_FALSE(fs::exists(host.inside(kMarker)));
    if (!row.then.empty()) {
      EXPECT_TRUE(row.window || eventually([&] { return run.shows("[2] Restart Now"); }))
          << run.screen();
      run.keys(row.then);
      EXPECT_EQ(run.wait(10), row.thenStatus) << run.screen();
    }
    EXPECT_TRUE(row.window ||
                (run.settings("before") != "" && run.settings("after") == run.settings("before")))
        << run.settings("after");
  }
}

TEST_F(PromptE2eTest, PackageRunsUnpacked) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitized build is never packaged";
#endif
  // The Debian package, unpacked into the sandbox (nothing is installed on this machine), finds
  // its translations and its window module relative to its own folder.
  const Sandbox host(kOffered);
  const ProgramResult made =
      runProgram({"cpack", "-G", "DEB", "--config",
                  fs::path(MORVANE_BINARY).parent_path() / "CPackConfig.cmake", "-B",
                  host.inside("/tmp"), "-D", "CPACK_DEBIAN_FILE_NAME=morvane.deb", "-D",
                  "CPACK_PACKAGING_INSTALL_PREFIX=/morvane"});
  ASSERT_EQ(made.status, 0) << made.output;
  ASSERT_EQ(
      runProgram({"dpkg-deb", "-x", host.inside("/tmp/morvane.deb"), host.inside("/opt")}).status,
      0);
  const Args program = {"--program", "/opt/morvane/bin/Morvane"};
  UserRun german(host, {kKitA}, {.sandbox = program, .language = "de"});
  EXPECT_TRUE(german.prompted() && eventually([&] { return german.shows("Später neu starten"); }))
      << german.screen();
  const XServer x;
  UserRun window(host, {kKitA}, {.window = &x, .sandbox = program});
  EXPECT_TRUE(window.prompted()) << "no window";
}

}  // namespace
}  // namespace morvane::testing
