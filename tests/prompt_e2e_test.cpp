// Whole runs that reach the restart prompt: the built executable in the sandboxed host shows its
// window on a private X server (Xvfb) and is answered with xdotool, as a user would; the
// sandbox's private system bus carries the restart request to the login manager's stand-in,
// which writes it to the journal. No run can restart this machine.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

#include "tests/sandbox_host.h"

namespace morvane::testing {
namespace {

constexpr char kTitle[] = "Quorix Setup";
constexpr char kReboot[] = "org.freedesktop.login1.Manager.Reboot\ttrue\n";
constexpr char kMarker[] = "/Users/Shared/.quorix_marker";
const std::string kKitA = "/Users/Shared/Kit/A.kext", kKitB = "/Users/Shared/Kit/B.kext";

/// Two offered kexts: A is new, B upgrades an older copy that is installed and loaded.
Args twoOfferedKexts() {
  return installed("B") +
         Args{"--kext", kKitA, "com.quorix.a", "2.0", "--kext", kKitB, "com.quorix.b", "2.0"};
}

/// What the installation pass of the two offered kexts runs, in order.
std::string installPass() {
  return "/bin/cp\t-rf\t" + kKitA + "\t" + entry("A.kext") + "\n" + removal("B.kext") +
         "/bin/cp\t-rf\t" + kKitB + "\t" + entry("B.kext") + "\n/usr/bin/touch\t" + kExtensions +
         "\n";
}

/// A private X server on a free display, for as long as the test runs.
class XServer {
 public:
  XServer()
      : server_("/usr/bin/Xvfb", {"-displayfd", "1", "-nolisten", "tcp"}, {},
                (folder_.path() / "output").string()) {
    // Once it takes connections, Xvfb writes the display's number on a line of its own among
    // its messages.
    while (name_.empty() && !server_.wait(0.05)) {
      std::istringstream output(fileText(folder_.path() / "output"));
      for (std::string line; name_.empty() && std::getline(output, line) && !output.eof();) {
        if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos) {
          name_ = ":" + line;
        }
      }
    }
  }
  const std::string& name() const { return name_; }

  /// xdotool with `arguments` on this display, stopped after 30 seconds.
  ProgramResult xdotool(const Args& arguments) const {
    return runProgram("/usr/bin/timeout", Args{"30", "xdotool"} + arguments, {"DISPLAY=" + name_});
  }

 private:
  TempFolder folder_;
  StartedProgram server_;
  std::string name_;
};

/// Morvane started in `host` with `arguments`, its prompt titled `title` on `x`, the private
/// system bus on.
class PromptRun {
 public:
  PromptRun(const Sandbox& host, const XServer& x, const Args& arguments, const std::string& title)
      : x_(x),
        program_(host.start({"--display", x.name(), "--login-manager", MORVANE_LOGIN_STANDIN},
                            Args{"-t", title} + arguments)) {
    window_ = x.xdotool({"search", "--sync", "--onlyvisible", "--name", "^" + title + "$"}).output;
    window_ = window_.substr(0, window_.find('\n'));
  }
  bool shown() const { return !window_.empty(); }

  /// Runs xdotool with `command`, then the window, then `arguments`.
  void send(const Args& command, const Args& arguments = {}) const {
    x_.xdotool(command + Args{window_} + arguments);
  }
  /// Focuses the window, as the user does before typing there, and types `keys`.
  void type(const Args& keys) const { send({"windowfocus", "--sync"}, Args{"key"} + keys); }
  std::optional<int> wait(double seconds) { return program_->wait(seconds); }

 private:
  const XServer& x_;
  std::unique_ptr<StartedProgram> program_;
  std::string window_;
};

class PromptE2eTest : public SandboxTest {
 protected:
  void SetUp() override {
    SandboxTest::SetUp();
    if (IsSkipped()) {
      return;
    }
    for (const char* tool : {"/usr/bin/Xvfb", "/usr/bin/xdotool", "/usr/bin/dbus-daemon"}) {
      if (!std::filesystem::exists(tool)) {
        GTEST_SKIP() << "no " << tool << " on this machine (scripts/install-deps installs it)";
      }
    }
    x_ = std::make_unique<XServer>();
    ASSERT_FALSE(x_->name().empty()) << "Xvfb did not start";
  }

  /// Runs with `arguments` up to a shown prompt.
  std::unique_ptr<PromptRun> prompt(const Sandbox& host, const Args& arguments) {
    auto run = std::make_unique<PromptRun>(host, *x_, arguments + Args{kKitA, kKitB}, kTitle);
    EXPECT_TRUE(run->shown()) << host.startedOutput();
    return run;
  }

  std::unique_ptr<XServer> x_;
};

TEST_F(PromptE2eTest, FromTheKeyboardRestartNowAsksForTheRestartAndStaysContinueEndsWithOne) {
  const Sandbox now(twoOfferedKexts());
  auto run = prompt(now, {});
  run->type({"Tab", "Return"});  // from "Restart Later", which has the focus first
  for (int tries = 0; tries < 300 && !now.state("journal").ends_with(kReboot); ++tries) {
    run->wait(0.1);
  }
  EXPECT_EQ(now.state("journal"), installPass() + kReboot);
  EXPECT_EQ(run->wait(1), std::nullopt) << "the system ends the process when it restarts";
  EXPECT_EQ(now.extensions(), (std::set<std::string>{"A.kext", "B.kext"}));
  run.reset();  // ends it, and its window with it

  // No control of the pre-install layout confirms the restart: "Continue", in Restart Now's
  // place, restarts later and never makes the marker.
  const Sandbox later(twoOfferedKexts());
  run = prompt(later, {"-i", "-r", kMarker});
  run->type({"space"});
  EXPECT_EQ(run->wait(30), 1) << later.startedOutput();
  EXPECT_EQ(later.state("journal"), installPass());
  EXPECT_EQ(later.extensions(), (std::set<std::string>{"A.kext", "B.kext"}));
  EXPECT_FALSE(std::filesystem::exists(later.inside(kMarker)));
}

TEST_F(PromptE2eTest, EscapeOrClosingTheWindowLeavesWithoutChangingAnything) {
  // Even with a countdown whose end would install.
  const Sandbox host(twoOfferedKexts());
  for (const bool escape : {true, false}) {
    SCOPED_TRACE(escape ? "Escape" : "closed");
    auto run = prompt(host, {"-i", "-d", "-r", kMarker});
    escape ? run->type({"Escape"}) : run->send({"windowclose"});
    EXPECT_EQ(run->wait(30), 255);
    EXPECT_EQ(host.state("journal"), "") << "no tool ran, so nothing changed";
  }
}

TEST_F(PromptE2eTest, TheCountdownsEndInstallsWithTheDefaultAction) {
  // The end without -d, and each tick shown, are in PromptTest on the simulated clock.
  const Sandbox host(twoOfferedKexts());
  auto run = prompt(host, {"-i", "-d"});
  EXPECT_EQ(run->wait(55), std::nullopt) << "the countdown ended early";
  EXPECT_EQ(run->wait(30), 1) << host.startedOutput();
  EXPECT_EQ(host.state("journal"), installPass());
  EXPECT_EQ(host.extensions(), (std::set<std::string>{"A.kext", "B.kext"}));
}

}  // namespace
}  // namespace morvane::testing
