#pragma once

// The sandboxed host (sandbox/) as the whole-run tests use it: a sandbox of their own, the
// built executable run inside it, without a terminal or as a user meets it (on a terminal or a
// private X server, answered with keys), and what its tools saw and left behind.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/process_launcher_posix.h"
#include "tests/temp_folder.h"

namespace morvane::testing {

namespace fs = std::filesystem;

using Args = std::vector<std::string>;

inline constexpr char kExtensions[] = "/System/Library/Extensions";

inline Args operator+(Args a, const Args& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct ProgramResult {
  int status = -1;     // the exit status, or -1 when the program did not exit normally
  std::string output;  // standard output and error, as they came
};

/// A plain PATH and the sanitizers' options, for the scripts of sandbox/.
inline Args sandboxEnvironment() {
  Args environment = {"PATH=/usr/sbin:/usr/bin:/sbin:/bin"};
  for (const char* option : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
    if (const char* value = std::getenv(option)) {
      environment.push_back(std::string(option) + "=" + value);
    }
  }
  return environment;
}

/// Runs `command` (the program and its arguments) in exactly `environment`, through the
/// program's own launcher; a shell joins the two output streams and appends the exit status.
/// The program runs in a session of its own, without the tester's terminal, where a prompt
/// could wait.
inline ProgramResult runProgram(const Args& command,
                                const Args& environment = sandboxEnvironment()) {
  const Args shell = {"/bin/sh", "-c", "setsid -w \"$0\" \"$@\" 2>&1; printf '\\n%d' \"$?\""};
  const std::string output =
      PosixProcessLauncher()
          .launchAndReadOutput("/usr/bin/env", Args{"-i"} + environment + shell + command)
          .value_or("\n-1");
  const std::size_t end = output.rfind('\n');
  return {std::stoi(output.substr(end + 1)), output.substr(0, end)};
}

inline std::string entry(const std::string& name) {
  return std::string(kExtensions) + "/" + name;
}

/// make-sandbox options for each letter X: "X.kext" installed and loaded as "com.quorix.x".
inline Args installed(const std::string& letters, const std::string& version = "1.0") {
  Args options;
  for (const char letter : letters) {
    const std::string id = "com.quorix." + std::string(1, letter + 'a' - 'A');
    options.insert(options.end(), {"--kext", entry(letter + std::string(".kext")), id, version,
                                   "--loaded", id, version});
  }
  return options;
}

inline std::string removal(const std::string& name) {
  return "/sbin/kextunload\t" + entry(name) + "\n/bin/rm\t-rf\t" + entry(name) + "\n";
}

/// A sandbox of its own in a temporary folder, built with the options of make-sandbox.
class Sandbox {
 public:
  explicit Sandbox(const Args& options) : root_(folder_.path() / "root") {
    const ProgramResult made =
        runProgram(Args{MORVANE_SANDBOX_DIR "/make-sandbox", root_.string()} + options);
    EXPECT_EQ(made.status, 0) << made.output;
  }

  /// The command line that runs Morvane with `arguments` in this sandbox, after the `options`
  /// of run-in-sandbox.
  Args command(const Args& options, const Args& arguments) const {
    return Args{MORVANE_SANDBOX_DIR "/run-in-sandbox", root_.string()} + options +
           Args{"--binary", MORVANE_BINARY, "--"} + arguments;
  }
  ProgramResult morvane(const Args& arguments) const {
    ProgramResult result = runProgram(command({}, arguments));
    EXPECT_NE(result.status, 125) << result.output;
    return result;
  }
  /// A folder beside the sandbox, for the files of a test.
  fs::path beside() const { return folder_.path(); }

  /// Every file, folder and link of the sandbox outside what a run may change (the extensions
  /// folder, the stand-ins' state, the default reboot marker): its type and permissions, and but
  /// for a folder (whose time changes with its entries, each looked at itself) the time of the
  /// last change, a link's target and a hash of a file's content.
  std::string snapshot() const {
    const std::string r = root_.string();
    // clang-format off
    return runProgram({"find", r, "(", "-path", r + kExtensions, "-o", "-path", r + "/var/sandbox",
        "-o", "-path", r + "/Users/Shared/.quorix_install_reboot", ")", "-prune", "-o", "-type", "d",
        "-printf", "%P %m\n", "-o", "-printf", "%P %y %m %T@ %l\n", "-type", "f", "-exec",
        "sha1sum", "{}", "+"}).output;
    // clang-format on
  }

  /// A stand-in's state file in /var/sandbox: "journal", "loaded" or "nvram".
  std::string state(const std::string& name) const {
    return fileText(root_ / "var/sandbox" / name);
  }
  fs::path inside(const std::string& path) const { return root_ / path.substr(1); }

 private:
  TempFolder folder_;
  fs::path root_;
};

/// Skips, with the reason, where this machine does not let us enter the sandbox.
class SandboxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static const ProgramResult check = runProgram(Sandbox({}).command({"--check"}, {}));
    if (check.status != 0) {
      GTEST_SKIP() << "the sandboxed host cannot run here: " << check.output;
    }
  }
};

/// Whether `done` comes true within `seconds`.
inline bool eventually(const std::function<bool()>& done, double seconds = 10) {
  for (int tries = 0; tries < seconds * 20; ++tries) {
    if (done()) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return done();
}

/// tmux with `arguments`, on the server whose socket is in `folder`.
inline ProgramResult tmux(const fs::path& folder, const Args& arguments) {
  return runProgram(Args{"tmux", "-S", folder / "tmux", "-f", "/dev/null"} + arguments);
}

/// A private X server on a free display, for as long as it is kept.
class XServer {
 public:
  XServer() {
    // Once it takes connections, Xvfb writes the display's number on a line of its own among
    // its messages. The shell ends it when tmux goes.
    tmux(folder_.path(), {"new-session", "-d", "bash", "-c",
                          "/usr/bin/Xvfb -displayfd 1 -nolisten tcp & trap 'kill $!' HUP; wait"});
    eventually([&] {
      std::istringstream screen(tmux(folder_.path(), {"capture-pane", "-p"}).output);
      for (std::string line; name_.empty() && std::getline(screen, line);) {
        if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos) {
          name_ = ":" + line;
        }
      }
      return !name_.empty();
    });
  }
  ~XServer() { tmux(folder_.path(), {"kill-server"}); }
  const std::string& name() const { return name_; }

  /// xdotool with `arguments` on this display, stopped after 30 seconds.
  ProgramResult xdotool(const Args& arguments) const {
    return runProgram(Args{"/usr/bin/timeout", "30", "xdotool"} + arguments, {"DISPLAY=" + name_});
  }

 private:
  TempFolder folder_;
  std::string name_;
};

/// The first argument of a run on a terminal that closes Morvane's standard input, output and
/// error.
inline constexpr char kClosedStreams[] = ">&-";
/// The window title of the runs with a window, by which xdotool finds it.
inline constexpr char kPromptTitle[] = "Quorix Setup";

/// Morvane in `host` as a user meets it: on an 80 by 24 tmux pane of its own, or, given an X
/// server, in a window there with the sandbox's private system bus on; answered with keys
/// (xdotool's names). On the terminal, its settings are written before and after the run.
class UserRun {
 public:
  UserRun(const Sandbox& host, const Args& arguments, const XServer* x = nullptr)
      : x_(x), files_(host.beside()) {
    const Args command =
        x ? host.command({"--display", x->name(), "--login-manager", MORVANE_LOGIN_STANDIN},
                         Args{"-t", kPromptTitle} + arguments)
          : host.command({}, arguments);
    // The command goes by a file, so that no byte of an argument is left to tmux.
    std::string text;
    for (const std::string& argument : command) {
      text += argument + '\0';
    }
    std::ofstream(files_ / "command", std::ios::binary) << text;
    const char* script =
        "mapfile -d '' c <\"$0/command\"; stty -a >\"$0/before\"; if [[ ${c[5]} == '>&-' ]]; "
        "then unset 'c[5]'; \"${c[@]}\" <&- >&- 2>&-; else \"${c[@]}\"; fi; s=$?; "
        "stty -a >\"$0/after\"; echo $s >\"$0/s\"; mv \"$0/s\" \"$0/status\"";
    tmux(files_, {"new-session", "-d", "-x", "80", "-y", "24", "bash", "-c", script, files_});
  }
  ~UserRun() { tmux(files_, {"kill-server"}); }

  /// Waits until the prompt is shown: false when the run ended before.
  bool prompted() {
    if (x_ != nullptr) {
      window_ = x_->xdotool({"search", "--sync", "--onlyvisible", "--name",
                             std::string("^") + kPromptTitle + "$"})
                    .output;
      window_ = window_.substr(0, window_.find('\n'));
      return !window_.empty();
    }
    eventually([&] { return fs::exists(files_ / "status") || shows("[1] "); }, 30);
    return !fs::exists(files_ / "status") && shows("[1] ");
  }
  /// Presses each key ("close" closes the window) on the prompt.
  void keys(const Args& keys) const {
    for (const std::string& key : keys) {
      if (x_ == nullptr) {
        tmux(files_, {"send-keys", key == "Return" ? "Enter" : key == "space" ? "Space" : key});
      } else if (key == "close") {
        x_->xdotool({"windowclose", window_});
      } else {  // focused first, as the user does before typing there
        x_->xdotool({"windowfocus", "--sync", window_, "key", key});
      }
    }
  }
  /// The exit status, once the run has ended within `seconds`.
  std::optional<int> wait(double seconds) {
    if (!eventually([&] { return fs::exists(files_ / "status"); }, seconds)) {
      return std::nullopt;
    }
    return std::stoi(fileText(files_ / "status"));
  }
  bool shows(const std::string& text) const {
    return eventually([&] { return screen().find(text) != std::string::npos; }, 0);
  }
  std::string screen() const { return tmux(files_, {"capture-pane", "-p"}).output; }
  std::string settings(const std::string& when) const { return fileText(files_ / when); }

 private:
  const XServer* x_;
  fs::path files_;
  std::string window_;
};

}  // namespace morvane::testing
