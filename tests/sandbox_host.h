#pragma once

// The sandboxed host (sandbox/) as the whole runs use it: a sandbox of their own, a program run in
// it, without a terminal or as a user meets it, and what its tools saw (the journal) and left.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/process_launcher_posix.h"
#include "tests/temp_folder.h"

namespace morvane::testing {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

/// The extensions folder, with the slash before an entry's name, and the kexts offered.
inline const std::string kEntries = "/System/Library/Extensions/", kKit = "/Users/Shared/Kit/",
                         kKitA = kKit + "A.kext", kKitB = kKit + "B.kext";

inline Args operator+(Args a, const Args& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

/// One line of the journal: the tool and its arguments, escaped as the stand-ins write them.
inline std::string call(const Args& words) {
  std::string line;
  for (const std::string& word : words) {
    line += line.empty() ? "" : "\t";
    for (const char c : word) {
      line += c == '\\' ? "\\\\" : c == '\t' ? "\\t" : c == '\n' ? "\\n" : std::string(1, c);
    }
  }
  return line + "\n";
}
/// What the end of an installation pass, a copy of the kext at `source` into the extensions and
/// a removal of the entry `name` run.
inline const std::string kTouch = call({"/usr/bin/touch", "/System/Library/Extensions"});
inline std::string copy(const std::string& source) {
  return call({"/bin/cp", "-RH", source, kEntries + source.substr(source.rfind('/') + 1)});
}
inline std::string removal(const std::string& name) {
  return call({"/sbin/kextunload", kEntries + name}) + call({"/bin/rm", "-rf", kEntries + name});
}

/// make-sandbox options for the kext at `path`, identified by the first letter of its name;
/// `loaded` at that version too.
inline Args offered(const std::string& path, const std::string& version = "2.0",
                    bool loaded = false) {
  const std::string id = "com.quorix." + std::string(1, std::tolower(path[path.rfind('/') + 1]));
  return Args{"--kext", path, id, version} + (loaded ? Args{"--loaded", id, version} : Args{});
}

struct ProgramResult {
  int status = -1;     // -1: the program did not exit normally
  std::string output;  // standard output and error, as they came
};

/// Runs `command` in `environment` and the sanitizers' options, in a session of its own without
/// the tester's terminal, through the program's own launcher; a shell joins the two output
/// streams and appends the exit status.
inline ProgramResult runProgram(const Args& command,
                                Args environment = {"PATH=/usr/sbin:/usr/bin:/sbin:/bin"}) {
  for (const char* option : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
    if (const char* value = std::getenv(option)) {
      environment.push_back(std::string(option) + "=" + value);
    }
  }
  const Args shell = {"/bin/sh", "-c", "setsid -w \"$0\" \"$@\" 2>&1; printf '\\n%d' \"$?\""};
  const std::string output =
      PosixProcessLauncher()
          .launchAndReadOutput("/usr/bin/env", Args{"-i"} + environment + shell + command)
          .value_or("\n-1");
  const std::size_t end = output.rfind('\n');
  return {std::stoi(output.substr(end + 1)), output.substr(0, end)};
}

/// A sandbox of its own in a temporary folder, built with the options of make-sandbox.
class Sandbox {
 public:
  explicit Sandbox(const Args& options) {
    const ProgramResult made =
        runProgram(Args{MORVANE_SANDBOX_DIR "/make-sandbox", root()} + options);
    EXPECT_EQ(made.status, 0) << made.output;
  }
  /// run-in-sandbox with `options` (--program runs another than Morvane) and its `arguments`.
  Args command(const Args& options, const Args& arguments) const {
    return Args{MORVANE_SANDBOX_DIR "/run-in-sandbox", root(), "--binary", MORVANE_BINARY} +
           options + Args{"--"} + arguments;
  }
  std::string root() const { return folder_.path() / "root"; }
  fs::path inside(const std::string& path) const { return root() + path; }
  /// A stand-in's state file in /var/sandbox: "journal", "loaded" or "nvram".
  std::string state(const std::string& name) const {
    return fileText(inside("/var/sandbox/" + name));
  }

  /// Every file, folder and link outside what a run may change: its type and permissions, and
  /// but for a folder (whose time changes with its entries) its time, target and content hash.
  std::string snapshot() const {
    // clang-format off
    return runProgram({"find", root(), "-regex", ".*/\\(System/Library/Extensions\\|var/sandbox\\|"
        "\\.quorix_install_reboot\\)", "-prune", "-o", "-type", "d", "-printf", "%P %m\n", "-o",
        "-printf", "%P %y %m %T@ %l\n", "-type", "f", "-exec", "sha1sum", "{}", "+"}).output;
    // clang-format on
  }

 private:
  TempFolder folder_;
};

/// Skips, with the reason, where the sandbox cannot run here or the user runs lack a program.
class SandboxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static const std::string missing = [] {
      for (const std::string program : {"tmux", "Xvfb", "xdotool", "dbus-daemon", "weston"}) {
        if (!fs::exists("/usr/bin/" + program)) {
          return "no " + program + " (scripts/install-deps installs it)";
        }
      }
      const Sandbox host({});
      const ProgramResult check =
          runProgram({MORVANE_SANDBOX_DIR "/run-in-sandbox", host.root(), "--check"});
      return check.status == 0 ? "" : "the sandboxed host cannot run here: " + check.output;
    }();
    if (!missing.empty()) {
      GTEST_SKIP() << missing;
    }
  }
};

/// Whether `done` comes true within `seconds`.
inline bool eventually(const std::function<bool()>& done, double seconds = 10) {
  for (int tries = 0; tries < seconds * 20 && !done(); ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return done();
}

/// tmux with `arguments`, on the server whose socket is in `folder`.
inline ProgramResult tmux(const fs::path& folder, const Args& arguments) {
  return runProgram(Args{"tmux", "-S", folder / "tmux", "-f", "/dev/null"} + arguments);
}

/// A private display server for as long as it is kept: Xvfb on a free display, or a headless
/// weston (`wayland`), which has no input devices: its windows are answered through an
/// accessibility bus of its own.
class XServer {
 public:
  explicit XServer(bool wayland = false) : wayland_(wayland) {
    // Each writes where it takes connections to "name"; tmux's hangup ends the servers.
    // clang-format off
    tmux(folder_.path(), {"new-session", "-d", "bash", "-c", "trap 'kill $(jobs -p)' HUP; cd \"$0\"; export "
        "XDG_RUNTIME_DIR=$PWD AT_SPI_BUS_ADDRESS=unix:path=$PWD/w.a11y; " + std::string(wayland
        ? "dbus-daemon --config-file=/usr/share/defaults/at-spi2/accessibility.conf --address=$AT_SPI_BUS_ADDRESS "
          "--nofork & until [[ -S w.a11y ]]; do sleep 0.05; done; /usr/libexec/at-spi2-registryd & weston "
          "--backend=headless-backend.so --socket=w --idle-time=0 --no-config & until [[ -S w ]]; do sleep 0.05; "
          "done; echo $PWD/w >name; wait" : "printf : >name; Xvfb -displayfd 3 -nolisten tcp 3>>name & wait"),
        folder_.path()});
    // clang-format on
    eventually([&] { return (name_ = fileText(folder_.path() / "name")).ends_with('\n'); });
    name_.resize(name_.ends_with('\n') ? name_.size() - 1 : 0);
  }
  ~XServer() { lose(); }
  /// The X display, or the compositor's socket.
  const std::string& name() const { return name_; }
  bool wayland() const { return wayland_; }
  /// `command` with this display's variables, stopped after 30 seconds.
  ProgramResult run(const Args& command) const {
    return runProgram(
        Args{"timeout", "30"} + command,
        {"PATH=/usr/bin:/bin",
         wayland_ ? "AT_SPI_BUS_ADDRESS=unix:path=" + name_ + ".a11y" : "DISPLAY=" + name_});
  }
  /// Ends the servers, as when the session goes away.
  ProgramResult lose() const { return tmux(folder_.path(), {"kill-server"}); }

 private:
  bool wayland_;
  TempFolder folder_;
  std::string name_;
};

inline constexpr char kPromptTitle[] = "Quorix Setup";  // by which the window is found

/// How a UserRun runs: where, with which sandbox options and translations, with closed streams.
struct How {
  const XServer* window = nullptr;
  Args sandbox = {};
  std::string language = "";
  bool closedStreams = false;
  int columns = 80, rows = 24;
};

/// A run in `host` as a user meets it: on a tmux pane of its own, its settings written before and
/// after the run, or in a window with the sandbox's private system bus on; answered with keys.
class UserRun {
 public:
  UserRun(const Sandbox& host, const Args& arguments, const How& how = {}) : x_(how.window) {
    const Args login = {x_ && x_->wayland() ? "--wayland" : "--display", x_ ? x_->name() : "",
                        "--login-manager", MORVANE_LOGIN_STANDIN};
    const Args command =
        Args{"/usr/bin/env", "LANGUAGE=" + how.language} +
        (x_ ? host.command(how.sandbox + login, Args{"-t", kPromptTitle} + arguments)
            : host.command(how.sandbox, arguments));
    // The command goes by a file, so that no byte of an argument is left to tmux.
    std::ofstream file(files_ / "command", std::ios::binary);
    for (const std::string& argument : command) {
      file << argument << '\0';
    }
    file.close();
    const std::string run = how.closedStreams ? "\"${c[@]}\" <&- >&- 2>&-" : "\"${c[@]}\"";
    tmux(files_, {"new-session", "-d", "-x", std::to_string(how.columns), "-y",
                  std::to_string(how.rows), "bash", "-c",
                  "mapfile -d '' c <\"$0/command\"; stty -a >\"$0/before\"; " + run +
                      "; s=$?; stty -a >\"$0/after\"; echo $s >\"$0/s\"; mv \"$0/s\" \"$0/status\"",
                  files_});
  }
  ~UserRun() { tmux(files_, {"kill-server"}); }

  /// Waits until the prompt is shown: false when the run ended before.
  bool prompted() const {
    return x_ ? press({}).status == 0
              : eventually([&] { return fs::exists(files_ / "status") || shows("[1] "); }, 30) &&
                    !fs::exists(files_ / "status");
  }
  /// tmux's key names on the terminal; in the window a button's name on Wayland, xdotool's key
  /// names on X (the window focused first, as the user does) or "close", and "lose" to end the
  /// display server.
  void keys(const Args& keys) const {
    for (const std::string& key : keys) {
      !x_ ? tmux(files_, {"send-keys", key}) : key == "lose" ? x_->lose() : press({key});
    }
  }
  /// The exit status, once the run has ended within `seconds`.
  std::optional<int> wait(double seconds) {
    return eventually([&] { return fs::exists(files_ / "status"); }, seconds)
               ? std::optional(std::stoi(fileText(files_ / "status")))
               : std::nullopt;
  }
  bool shows(const std::string& text) const { return screen().find(text) != std::string::npos; }
  std::string screen() const { return tmux(files_, {"capture-pane", "-p"}).output; }
  std::string settings(const std::string& when) const { return fileText(files_ / when); }

 private:
  /// Waits for the window, then gives it `key`, if any.
  ProgramResult press(const Args& key) const {
    const Args find = {"xdotool", "search", "--sync", "--onlyvisible", "--name", kPromptTitle};
    return x_->run(x_->wayland()          ? Args{MORVANE_ATSPI_PRESS, kPromptTitle} + key
                   : key.empty()          ? find
                   : key == Args{"close"} ? find + Args{"windowclose"}
                                          : find + Args{"windowfocus", "--sync", "key"} + key);
  }

  const XServer* x_;
  TempFolder folder_;
  const fs::path& files_ = folder_.path();
};

}  // namespace morvane::testing
