// The restart prompt on a terminal: whole runs in the sandboxed host, each on a tmux pane of
// its own, driven by keys and read from the screen as a user would.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/temp_folder.h"

extern char** environ;

namespace morvane::testing {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

constexpr char kKit[] = "/Users/Shared/Kit/";
constexpr char kExtensions[] = "/System/Library/Extensions/";
const std::string kInstallJournal =
    std::string("/sbin/kextunload\t") + kExtensions + "QuorixAudio.kext\n/bin/rm\t-rf\t" +
    kExtensions + "QuorixAudio.kext\n/bin/cp\t-rf\t" + kKit + "QuorixAudio.kext\t" + kExtensions +
    "QuorixAudio.kext\n/bin/cp\t-rf\t" + kKit + "QuorixDisplay.kext\t" + kExtensions +
    "QuorixDisplay.kext\n/usr/bin/touch\t/System/Library/Extensions\n";

std::string readFile(const fs::path& path) {
  std::ostringstream contents;
  contents << std::ifstream(path, std::ios::binary).rdbuf();
  return contents.str();
}

/// Runs `arguments` (the program is looked up on PATH) without a controlling terminal, its
/// output in `out`; the exit status, or -1.
int run(Args arguments, const std::string& out = "/dev/null") {
  std::vector<char*> argv;
  for (std::string& argument : arguments) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  pid_t pid = -1;
  int status = 0;
  const bool started =
      ::posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  while (started && ::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return started && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

/// A sandboxed host with QuorixAudio 1.4.2 installed and loaded, and two offered kexts in
/// /Users/Shared/Kit: QuorixAudio 1.5.0 and the new QuorixDisplay.
class Host {
 public:
  Host()
      : root_(folder_.path() / "root"),
        made_(run({sandbox("make-sandbox"), root_, "--kext", kExtensions + audio_,
                   "com.quorix.audio", "1.4.2", "--loaded", "com.quorix.audio", "1.4.2", "--kext",
                   kKit + audio_, "com.quorix.audio", "1.5.0", "--kext", kKit + display_,
                   "com.quorix.display", "2.0.1"}) == 0) {}

  static std::string sandbox(const std::string& script) {
    return std::string(MORVANE_SANDBOX_DIR) + "/" + script;
  }
  /// run-in-sandbox's command line for Morvane with `options` and the two offered kexts.
  Args morvane(const Args& options) const {
    Args command = {sandbox("run-in-sandbox"), root_, "--binary", MORVANE_BINARY, "--"};
    command.insert(command.end(), options.begin(), options.end());
    command.insert(command.end(), {kKit + audio_, kKit + display_});
    return command;
  }
  bool made() const { return made_; }
  std::string journal() const { return readFile(root_ / "var/sandbox/journal"); }
  /// The extensions folder: each kext with its version.
  std::string extensions() const {
    std::string listing;
    for (const std::string& name : {audio_, display_}) {
      const std::string plist =
          readFile(root_ / ("System/Library/Extensions/" + name + "/Contents/Info.plist"));
      const std::string key = "CFBundleVersion</key>\n\t<string>";
      const auto at = plist.find(key);
      listing +=
          at == std::string::npos ? "" : name + " " + plist.substr(at + key.size(), 5) + "\n";
    }
    return listing;
  }
  const fs::path& folder() const { return folder_.path(); }

 private:
  TempFolder folder_;
  fs::path root_;
  const std::string audio_ = "QuorixAudio.kext", display_ = "QuorixDisplay.kext";
  bool made_;
};

/// Morvane on an 80 by 24 tmux pane of its own, with the terminal's settings written before
/// and after the run.
class Pane {
 public:
  explicit Pane(const Host& host, const Args& options) : host_(host) {
    Args command = {
        "tmux",
        "-S",
        socket(),
        "-f",
        "/dev/null",
        "new-session",
        "-d",
        "-x",
        "80",
        "-y",
        "24",
        "bash",
        "-c",
        "stty -a >\"$0/before\"; \"$@\"; s=$?; stty -a >\"$0/after\"; echo $s >\"$0/s\"; "
        "mv \"$0/s\" \"$0/status\"",
        host.folder()};
    const Args morvane = host.morvane(options);
    command.insert(command.end(), morvane.begin(), morvane.end());
    started_ = run(command) == 0;
  }
  ~Pane() { run({"tmux", "-S", socket(), "kill-server"}); }

  std::string screen() const {
    const std::string file = host_.folder() / "screen";
    run({"tmux", "-S", socket(), "capture-pane", "-p"}, file);
    return readFile(file);
  }
  /// Waits up to 10 seconds for `text` on the screen.
  bool shows(const std::string& text) const {
    return waitUntil([&] { return screen().find(text) != std::string::npos; });
  }
  void keys(const std::string& key) const { run({"tmux", "-S", socket(), "send-keys", key}); }
  /// The run's exit status, once it has ended (within 10 seconds), or -1.
  int status() const {
    const fs::path file = host_.folder() / "status";
    return started_ && waitUntil([&] { return fs::exists(file); }) ? std::stoi(readFile(file)) : -1;
  }
  std::string settings(const std::string& when) const { return readFile(host_.folder() / when); }

  static bool waitUntil(const std::function<bool()>& done) {
    for (int tries = 0; tries < 200; ++tries) {
      if (done()) {
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

 private:
  std::string socket() const { return host_.folder() / "tmux"; }

  const Host& host_;
  bool started_ = false;
};

class TerminalE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (run({"tmux", "-V"}) != 0) {
      GTEST_SKIP() << "tmux is not installed (scripts/install-deps installs it)";
    }
    const Host host;
    const std::string why = host.folder() / "why";
    if (!host.made() ||
        run({Host::sandbox("run-in-sandbox"), host.folder() / "root", "--check"}, why) != 0) {
      GTEST_SKIP() << "the sandboxed host cannot run here: " << readFile(why);
    }
  }
};

TEST_F(TerminalE2eTest, EachKeyAnswersAndTheTerminalIsGivenBackAsItWas) {
  struct Row {
    Args options;
    std::string key;
    int status;
    bool installs;
  };
  // Restart Later; closing; Continue, the one and so the default button, with the countdown;
  // Restart Now: the pass runs, the restart request is refused here and the question stands
  // again, until Ctrl-C ends the run as SIGINT does.
  for (const Row& row : {Row{{}, "1", 1, true}, Row{{}, "Escape", 255, false},
                         Row{{"-i"}, "Enter", 1, true}, Row{{}, "2", 130, true}}) {
    SCOPED_TRACE(row.key);
    const Host host;
    const Pane pane(host, row.options);
    ASSERT_TRUE(pane.shows("[1] ")) << pane.screen();
    if (row.options == Args{"-i"}) {
      EXPECT_TRUE(pane.shows("The dialog will be closed in 60 seconds")) << pane.screen();
      EXPECT_TRUE(pane.shows("The dialog will be closed in 59 seconds")) << pane.screen();
    }
    pane.keys("Up");  // an escape sequence, not Escape: no answer
    pane.keys(row.key);
    if (row.status == 130) {
      EXPECT_TRUE(Pane::waitUntil([&] { return host.journal() == kInstallJournal; }));
      EXPECT_TRUE(pane.shows("[2] Restart Now")) << pane.screen();
      pane.keys("C-c");
    }
    EXPECT_EQ(pane.status(), row.status) << pane.screen();
    EXPECT_EQ(host.journal(), row.installs ? kInstallJournal : "");
    EXPECT_EQ(host.extensions(), row.installs ? "QuorixAudio.kext 1.5.0\nQuorixDisplay.kext 2.0.1\n"
                                              : "QuorixAudio.kext 1.4.2\n");
    EXPECT_NE(pane.settings("before"), "");
    EXPECT_EQ(pane.settings("after"), pane.settings("before"));
  }
}

TEST_F(TerminalE2eTest, WithoutDisplayAndTerminalOneLineAnd255BeforeAnyChange) {
  const Host host;
  const std::string out = host.folder() / "out";
  EXPECT_EQ(run(host.morvane({}), out), 255);
  // One line: why no window (the window module's own words), then why no terminal.
  const std::string line = readFile(out);
  EXPECT_EQ(line.rfind("Morvane: cannot ask whether to restart, nothing was installed: ", 0), 0u)
      << line;
  EXPECT_TRUE(line.ends_with("; no controlling terminal (/dev/tty: No such device or address)\n"))
      << line;
  EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << line;
  EXPECT_EQ(host.journal(), "");
  EXPECT_EQ(host.extensions(), "QuorixAudio.kext 1.4.2\n");
}

}  // namespace
}  // namespace morvane::testing
