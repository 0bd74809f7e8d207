// Whole runs of the built executable: those that end at launch as they are, the others in the
// sandboxed host (tests/sandbox), checked by what its tools saw (the journal: a line per call,
// path and arguments split by tabs), the folders and the tools' state afterwards. Every change
// to the sandbox is made by a tool, so a run whose journal holds no tool that writes has
// changed nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/sandbox_host.h"

namespace morvane::testing {
namespace {

using E2eTest = SandboxTest;

/// The usage text, byte for byte.
inline constexpr char kUsage[] =
    "Usage: Morvane [-i] SOURCEPATH_1 SOURCEPATH_2 SOURCEPATH_3.......\n"
    "       Morvane [-i] -u TARGETPATH_1 TARGETPATH_2 TARGETPATH_3......\n"
    "   -n: write nvram arguments (private use only).\n"
    "   -t: specify the dialog title.\n"
    "   -u: uninstall the kext.\n"
    "   -f: force install the kext.\n"
    "   -l: try to load kext after install kext.\n"
    "   -i: please use the argument when install kext in instller.\n"
    "   -d: please use the argument with argument \"i\". You want to set default action when "
    "countdown auto-close.\n"
    "   -r: create check file for installer when User choose reboot in morvane.\n";

constexpr char kReadBootArgs[] = "/usr/bin/uname\t-m\n/usr/sbin/nvram\tboot-args\n";

TEST(WholeRunTest, EndsOfRunAtLaunch) {
  // A display is named on purpose: a run that ends at launch must not try to open it.
  const Args environment = {"PATH=/usr/bin:/bin", "DISPLAY=:97", "LANGUAGE=de", "LC_ALL=C.UTF-8"};
  const std::tuple<Args, int, std::string> rows[] = {
      {{}, 255, kUsage},
      {{"-i", "-d", "-t", "Title"}, 255, kUsage},
      {{"/nonexistent/a.kext", "-h"}, 0, kUsage},
      {{"/", "/nonexistent/a.kext", "/"}, 255, ""},
      {{"-u", "/", "/nonexistent/a.kext"}, 255, ""},
      {{"-f", ""}, 255, ""},
  };
  for (const auto& [arguments, status, out] : rows) {
    const ProgramResult run = runProgram(MORVANE_BINARY, arguments, environment);
    EXPECT_EQ(run.status, status) << ::testing::PrintToString(arguments);
    EXPECT_EQ(run.output, out) << ::testing::PrintToString(arguments);
  }
}

TEST_F(E2eTest, UninstallUnloadsThenRemovesEachKextAndLeavesOtherBootArguments) {
  const Sandbox host(Args{"--boot-args", "debug=0x144"} + installed("ABC"));
  // A trailing slash still names the entry, and the tools are given the entry itself.
  EXPECT_EQ(host.morvane({"-u", "-n", entry("A.kext"), entry("B.kext") + "/"}).status, 1);
  // Clearing the io argument is in WorldTest.BootArgumentDecision.
  EXPECT_EQ(host.state("journal"), removal("A.kext") + removal("B.kext") + kReadBootArgs);
  EXPECT_EQ(host.extensions(), std::set<std::string>{"C.kext"});
  EXPECT_EQ(host.state("loaded"), "com.quorix.c\t1.0\n");
  EXPECT_EQ(host.state("nvram"), "boot-args\tdebug=0x144\n");
}

TEST_F(E2eTest, TheFilterEndsTheRunWithOneWhenNothingIsLeftToInstall) {
  // Installed and loaded in the same or a newer version (1.10 after 1.9): nothing to do.
  const std::string a = "/Users/Shared/New/A.kext", b = "/Users/Shared/New/B.kext",
                    c = "/Users/Shared/New/C.kext";
  const Sandbox host(installed("A") + installed("B", "1.10") +
                     Args{"--kext", a, "com.quorix.a", "1.0", "--kext", b, "com.quorix.b", "1.9",
                          "--kext", c, "com.quorix.c", "1.0"});
  EXPECT_EQ(host.morvane({"-l", "-n", a, b, a}).status, 1);
  const std::string ask = "/usr/sbin/kextstat\t-l\t-bundle-id\tcom.quorix.";
  EXPECT_EQ(host.state("journal"), ask + "a\n" + ask + "b\n" + ask + "a\n");

  // A kext not installed is kept, and -f skips the filter, so the run goes on to the prompt,
  // which cannot be shown in the sandbox (no display, no terminal): 255, still nothing changed.
  const ProgramResult asked = host.morvane({a, c});
  EXPECT_EQ(asked.status, 255);
  // One line: why no window (in the window module's words), then why no terminal.
  EXPECT_TRUE(
      asked.output.starts_with("Morvane: cannot ask whether to restart, nothing was installed: "))
      << asked.output;
  EXPECT_TRUE(
      asked.output.ends_with("; no controlling terminal (/dev/tty: No such device or address)\n"))
      << asked.output;
  EXPECT_EQ(std::count(asked.output.begin(), asked.output.end(), '\n'), 1) << asked.output;
  EXPECT_EQ(host.morvane({"-f", a}).status, 255);
  EXPECT_EQ(host.state("journal"), ask + "a\n" + ask + "b\n" + ask + "a\n" + ask + "a\n");
}

TEST_F(E2eTest, AMissingOrUnsafePathEndsTheRunWith255) {
  const Sandbox host(Args{"--boot-args", "io=0x00040000"} + installed("ABC"));
  // An unsafe path after a safe one: the first kext is removed, then the run ends with a line
  // in the log (standard error in the sandbox); the third is not touched and boot-args stay.
  // Every rule of the refusal has its row in RulesTest.PathSafety.
  const ProgramResult run =
      host.morvane({"-u", "-n", entry("A.kext"), entry("B.kext/Contents"), entry("C.kext")});
  EXPECT_EQ(run.status, 255);
  EXPECT_TRUE(
      run.output.ends_with("Refused: a kext to remove is an absolute path ending in .kext, "
                           "without . or .. pieces. [" +
                           entry("B.kext/Contents") + "]\n"))
      << run.output;
  EXPECT_EQ(host.state("journal"), removal("A.kext"));
  EXPECT_EQ(host.extensions(), (std::set<std::string>{"B.kext", "C.kext"}));
  EXPECT_TRUE(fs::exists(host.inside(entry("B.kext/Contents/Info.plist"))));
  EXPECT_EQ(host.state("loaded"), "com.quorix.b\t1.0\ncom.quorix.c\t1.0\n");
  EXPECT_EQ(host.state("nvram"), "boot-args\tio=0x00040000\n");
}

/// Whether `done` comes true within 10 seconds.
bool eventually(const std::function<bool()>& done) {
  for (int tries = 0; tries < 200; ++tries) {
    if (done()) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

/// Morvane in `host` on an 80 by 24 tmux pane of its own, as a user at a terminal meets it;
/// the terminal's settings are written before and after the run, then its exit status.
class Pane {
 public:
  Pane(const Sandbox& host, const Args& arguments) : files_(host.inside("/tmp")) {
    const char* script =
        "stty -a >\"$0/before\"; \"$@\"; s=$?; stty -a >\"$0/after\"; echo $s >\"$0/s\"; "
        "mv \"$0/s\" \"$0/status\"";
    tmux(Args{"new-session", "-d", "-x", "80", "-y", "24", "bash", "-c", script, files_} +
         host.command(arguments));
  }
  ~Pane() { tmux({"kill-server"}); }

  std::string screen() const { return tmux({"capture-pane", "-p"}).output; }
  bool shows(const std::string& text) const {
    return eventually([&] { return screen().find(text) != std::string::npos; });
  }
  void keys(const std::string& key) const { tmux({"send-keys", key}); }
  /// The exit status once the run has ended, or -1.
  int status() const {
    return eventually([&] { return fs::exists(files_ / "status"); })
               ? std::stoi(fileText(files_ / "status"))
               : -1;
  }
  std::string settings(const std::string& when) const { return fileText(files_ / when); }

 private:
  ProgramResult tmux(const Args& arguments) const {
    return runProgram("tmux", Args{"-S", files_ / "tmux", "-f", "/dev/null"} + arguments,
                      sandboxEnvironment());
  }

  fs::path files_;
};

TEST_F(E2eTest, EachKeyOfThePromptOnATerminalAnswersAndTheTerminalIsGivenBack) {
  const std::string a = "/Users/Shared/New/A.kext", b = "/Users/Shared/New/B.kext";
  const std::string installs = removal("A.kext") + "/bin/cp\t-rf\t" + a + "\t" + entry("A.kext") +
                               "\n/bin/cp\t-rf\t" + b + "\t" + entry("B.kext") +
                               "\n/usr/bin/touch\t" + kExtensions + "\n";
  if (runProgram("tmux", {"-V"}, sandboxEnvironment()).status != 0) {
    GTEST_SKIP() << "tmux is not installed (scripts/install-deps installs it)";
  }
  struct Row {
    Args options;
    std::string key;
    int status;
    std::string journal;
  };
  // Restart Later, the default; closing; Continue, with the countdown; Restart Now: the pass
  // runs, the restart request is refused here and the question stands again, until Ctrl-C
  // ends the run as SIGINT does.
  for (const Row& row : {Row{{}, "Enter", 1, installs}, Row{{}, "Escape", 255, ""},
                         Row{{"-i"}, "1", 1, installs}, Row{{}, "2", 130, installs}}) {
    SCOPED_TRACE(row.key);
    const Sandbox host(installed("A") + Args{"--kext", a, "com.quorix.a", "1.1", "--kext", b,
                                             "com.quorix.b", "1.0"});
    const Pane pane(host, row.options + Args{a, b});
    ASSERT_TRUE(pane.shows("[1] ")) << pane.screen();
    if (row.options == Args{"-i"}) {
      EXPECT_TRUE(pane.shows("The dialog will be closed in 60 seconds")) << pane.screen();
      EXPECT_TRUE(pane.shows("The dialog will be closed in 59 seconds")) << pane.screen();
    }
    pane.keys("Up");  // an escape sequence, not Escape: no answer
    pane.keys(row.key);
    if (row.status == 130) {
      EXPECT_TRUE(eventually([&] { return host.state("journal") == installs; }));
      EXPECT_TRUE(pane.shows("[2] Restart Now")) << pane.screen();
      pane.keys("C-c");
    }
    EXPECT_EQ(pane.status(), row.status) << pane.screen();
    EXPECT_EQ(host.state("journal"), row.journal);
    EXPECT_EQ(fileText(host.inside(entry("A.kext/Contents/Info.plist"))) ==
                  fileText(host.inside(a + "/Contents/Info.plist")),
              !row.journal.empty());
    EXPECT_EQ(host.extensions().contains("B.kext"), !row.journal.empty());
    EXPECT_NE(pane.settings("before"), "");
    EXPECT_EQ(pane.settings("after"), pane.settings("before"));
  }
}

TEST_F(E2eTest, AHostileInfoPlistIsReadAsNothingAndNeverEndsTheProgram) {
  // Read, the offered kext's identifier would be looked up with kextstat; unread, "(null)" is.
  // Either way the prompt comes next, which cannot be shown here (255). A crash in libplist is
  // 139.
  const Sandbox host(installed("D") + Args{"--kext", "/tmp/D.kext", "com.quorix.d", "1.0"});
  const std::string info =
      "<plist><dict><key>CFBundleIdentifier</key><string>com.quorix.d</string>";
  std::string deep = "<key>A</key>";
  for (const char* tag : {"<array>", "</array>"}) {
    for (int level = 0; level < 200000; ++level)
      deep += tag;
  }
  for (const std::string& padding : {deep, std::string(8 << 20, ' ')}) {
    std::ofstream(host.inside("/tmp/D.kext/Contents/Info.plist"))
        << info + padding + "</dict></plist>";
    EXPECT_EQ(host.morvane({"/tmp/D.kext"}).status, 255) << padding.size() << " bytes";
    EXPECT_EQ(host.state("journal").find("com.quorix.d"), std::string::npos);
  }
}

TEST_F(E2eTest, SigtermDuringAPrivilegedToolEndsThatToolThenTheRunWith255) {
  // The unload signals its caller, then would take five seconds and write "finished".
  const Sandbox host(installed("AB") + Args{"--term-during", "/sbin/kextunload"});
  EXPECT_EQ(host.morvane({"-u", entry("A.kext"), entry("B.kext")}).status, 255);
  EXPECT_EQ(host.state("journal"), "/sbin/kextunload\t" + entry("A.kext") + "\n");
  EXPECT_EQ(host.extensions(), (std::set<std::string>{"A.kext", "B.kext"}));
}

TEST_F(E2eTest, ARemovalTakesAnyKextPathAsWrittenAndRemovesALinkedEntryItself) {
  const std::string plugIn = entry("A.kext/Contents/PlugIns/P.KEXT");
  const Sandbox host(installed("A") + Args{"--kext", "/Users/Shared/X.kext", "com.quorix.x", "1.0",
                                           "--kext", "/Users/Shared/Y.kext", "com.quorix.y", "1.0",
                                           "--kext", plugIn, "com.quorix.p", "1.0"});
  fs::create_symlink("/Users/Shared/Y.kext", host.inside(entry("L.kext")));
  fs::create_symlink("/nowhere", host.inside(entry("D.kext")));
  EXPECT_EQ(host.morvane({"-u", entry("L.kext") + "/", entry("D.kext"), "//Users/Shared//X.kext/",
                          plugIn})
                .status,
            1);
  EXPECT_EQ(host.state("journal"),
            removal("L.kext") + removal("D.kext") +
                "/sbin/kextunload\t/Users/Shared/X.kext\n/bin/rm\t-rf\t/Users/Shared/X.kext\n" +
                removal("A.kext/Contents/PlugIns/P.KEXT"));
  EXPECT_EQ(host.extensions(), std::set<std::string>{"A.kext"});
  EXPECT_FALSE(fs::exists(host.inside(plugIn)));
  EXPECT_FALSE(fs::exists(host.inside("/Users/Shared/X.kext")));
  EXPECT_TRUE(fs::exists(host.inside("/Users/Shared/Y.kext/Contents/Info.plist"))) << "followed";
}

}  // namespace
}  // namespace morvane::testing
