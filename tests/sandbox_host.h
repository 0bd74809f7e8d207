#pragma once

// The sandboxed host (tests/sandbox) as the whole-run tests use it: a sandbox of their own, the
// built executable run inside it, without a terminal or as a user meets it (on a terminal or a
// private X server, answered with keys), and what its tools saw and left behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
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

/// Runs `program` with `arguments` in exactly `environment`, through the program's own
/// launcher; a shell joins the two output streams and appends the exit status. The program
/// runs in a session of its own, without the tester's terminal, where a prompt could wait.
inline ProgramResult runProgram(const std::string& program, const Args& arguments,
                                const Args& environment) {
  const Args shell = {"/bin/sh", "-c", "setsid -w \"$0\" \"$@\" 2>&1; printf '\\n%d' \"$?\"",
                      program};
  const std::string output =
      PosixProcessLauncher()
          .launchAndReadOutput("/usr/bin/env", Args{"-i"} + environment + shell + arguments)
          .value_or("\n-1");
  const std::size_t end = output.rfind('\n');
  return {std::stoi(output.substr(end + 1)), output.substr(0, end)};
}

/// A plain PATH and the sanitizers' options, for the scripts of tests/sandbox.
inline Args sandboxEnvironment() {
  Args environment = {"PATH=/usr/sbin:/usr/bin:/sbin:/bin"};
  for (const char* option : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
    if (const char* value = std::getenv(option)) {
      environment.push_back(std::string(option) + "=" + value);
    }
  }
  return environment;
}

inline std::string sandboxScriptPath(const std::string& name) {
  return std::string(MORVANE_SANDBOX_DIR) + "/" + name;
}

/// Runs a script of tests/sandbox.
inline ProgramResult sandboxScript(const std::string& name, const Args& arguments) {
  return runProgram(sandboxScriptPath(name), arguments, sandboxEnvironment());
}

/// A program started in the background, standard input from /dev/null and both output streams
/// into one file, in a session of its own without a terminal; ended and reaped when dropped, if
/// it still runs.
class StartedProgram {
 public:
  StartedProgram(const std::string& program, Args arguments, Args environment,
                 const std::string& outputFile) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    arguments.insert(arguments.begin(), program);
    if (::posix_spawn(&pid_, program.c_str(), &actions, &attributes, pointers(arguments).data(),
                      pointers(environment).data()) != 0) {
      status_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
  ~StartedProgram() {
    // Asked first, so that a server can take its socket and lock files away.
    if (!status_ && (::kill(pid_, SIGTERM) != 0 || !wait(5))) {
      ::kill(pid_, SIGKILL);
      wait(10);
    }
  }
  StartedProgram(const StartedProgram&) = delete;
  StartedProgram& operator=(const StartedProgram&) = delete;

  /// Waits up to `seconds` for the end: the exit status, -1 for an end by a signal or a failed
  /// start, none while it still runs.
  std::optional<int> wait(double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!status_) {
      int status = 0;
      const pid_t ended = ::waitpid(pid_, &status, WNOHANG);
      if (ended == pid_ || (ended < 0 && errno != EINTR)) {
        status_ = ended == pid_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      } else if (std::chrono::steady_clock::now() >= end) {
        break;
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    }
    return status_;
  }

 private:
  static std::vector<char*> pointers(Args& texts) {
    std::vector<char*> result;
    for (std::string& text : texts) {
      result.push_back(text.data());
    }
    result.push_back(nullptr);
    return result;
  }

  pid_t pid_ = -1;
  std::optional<int> status_;
};

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
    const ProgramResult made = sandboxScript("make-sandbox", Args{root_.string()} + options);
    EXPECT_EQ(made.status, 0) << made.output;
  }

  ProgramResult run(const Args& arguments) const {
    return sandboxScript("run-in-sandbox", Args{root_.string()} + arguments);
  }
  /// The command line that runs Morvane with `arguments` in this sandbox.
  Args command(const Args& arguments) const {
    return Args{sandboxScriptPath("run-in-sandbox"), root_.string(), "--binary", MORVANE_BINARY,
                "--"} +
           arguments;
  }
  ProgramResult morvane(const Args& arguments) const {
    ProgramResult result = run(Args{"--binary", MORVANE_BINARY, "--"} + arguments);
    EXPECT_NE(result.status, 125) << result.output;
    return result;
  }
  /// Starts Morvane in the background with `arguments`, with the `options` of run-in-sandbox;
  /// what it writes goes to the file "output" beside the sandbox.
  std::unique_ptr<StartedProgram> start(const Args& options, const Args& arguments) const {
    return std::make_unique<StartedProgram>(
        sandboxScriptPath("run-in-sandbox"),
        Args{root_.string(), "--binary", MORVANE_BINARY} + options + Args{"--"} + arguments,
        sandboxEnvironment(), (folder_.path() / "output").string());
  }
  /// A folder beside the sandbox, for the files of a test.
  fs::path beside() const { return folder_.path(); }

  /// Every file, folder and link of the sandbox outside what a run may change (the extensions
  /// folder, the stand-ins' state, the default reboot marker): its type, permissions, a file's
  /// time of the last change and a hash of its content or link target.
  std::map<std::string, std::string> snapshot() const {
    std::map<std::string, std::string> facts;
    for (auto file = fs::recursive_directory_iterator(root_); file != fs::end(file); ++file) {
      const std::string path = "/" + file->path().lexically_relative(root_).string();
      if (path == kExtensions || path == "/var/sandbox" ||
          path == "/Users/Shared/.quorix_install_reboot") {
        file.disable_recursion_pending();
        continue;
      }
      const fs::file_status status = file->symlink_status();
      const bool link = fs::is_symlink(status);
      const std::string content = link ? fs::read_symlink(file->path()).string()
                                  : fs::is_regular_file(status) ? fileText(file->path())
                                                                : "";
      // A folder's time changes with its entries, which are looked at one by one.
      const auto changed =
          fs::is_regular_file(status) ? file->last_write_time().time_since_epoch().count() : 0;
      facts[path] = std::to_string(static_cast<int>(status.type())) + " " +
                    std::to_string(static_cast<int>(status.permissions())) + " " +
                    std::to_string(changed) + " " +
                    std::to_string(std::hash<std::string>{}(content));
    }
    return facts;
  }

  /// A stand-in's state file in /var/sandbox: "journal", "loaded" or "nvram".
  std::string state(const std::string& name) const {
    return fileText(root_ / "var/sandbox" / name);
  }
  /// The names in the extensions folder.
  std::set<std::string> extensions() const {
    std::set<std::string> names;
    for (const fs::directory_entry& file : fs::directory_iterator(inside(kExtensions))) {
      names.insert(file.path().filename().string());
    }
    return names;
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
    static const ProgramResult check = Sandbox({}).run({"--check"});
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

/// A private X server on a free display, for as long as it is kept.
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
    if (x_ != nullptr) {
      program_ = host.start({"--display", x->name(), "--login-manager", MORVANE_LOGIN_STANDIN},
                            Args{"-t", kPromptTitle} + arguments);
      return;
    }
    // The command goes by a file, so that no byte of an argument is left to tmux.
    std::string command;
    for (const std::string& argument : host.command(arguments)) {
      command += argument + '\0';
    }
    std::ofstream(files_ / "command", std::ios::binary) << command;
    const char* script =
        "mapfile -d '' c <\"$0/command\"; stty -a >\"$0/before\"; if [[ ${c[5]} == '>&-' ]]; "
        "then unset 'c[5]'; \"${c[@]}\" <&- >&- 2>&-; else \"${c[@]}\"; fi; s=$?; "
        "stty -a >\"$0/after\"; echo $s >\"$0/s\"; mv \"$0/s\" \"$0/status\"";
    tmux({"new-session", "-d", "-x", "80", "-y", "24", "bash", "-c", script, files_});
  }
  ~UserRun() {
    if (x_ == nullptr) {
      tmux({"kill-server"});
    }
  }

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
        tmux({"send-keys", key == "Return" ? "Enter" : key == "space" ? "Space" : key});
      } else if (key == "close") {
        x_->xdotool({"windowclose", window_});
      } else {  // focused first, as the user does before typing there
        x_->xdotool({"windowfocus", "--sync", window_, "key", key});
      }
    }
  }
  /// The exit status, once the run has ended within `seconds`.
  std::optional<int> wait(double seconds) {
    if (x_ != nullptr) {
      return program_->wait(seconds);
    }
    if (!eventually([&] { return fs::exists(files_ / "status"); }, seconds)) {
      return std::nullopt;
    }
    return std::stoi(fileText(files_ / "status"));
  }
  bool shows(const std::string& text) const {
    return eventually([&] { return screen().find(text) != std::string::npos; }, 0);
  }
  std::string screen() const {
    return x_ != nullptr ? fileText(files_ / "output") : tmux({"capture-pane", "-p"}).output;
  }
  std::string settings(const std::string& when) const { return fileText(files_ / when); }

 private:
  ProgramResult tmux(const Args& arguments) const {
    return runProgram("tmux", Args{"-S", files_ / "tmux", "-f", "/dev/null"} + arguments,
                      sandboxEnvironment());
  }

  const XServer* x_;
  fs::path files_;
  std::unique_ptr<StartedProgram> program_;
  std::string window_;
};

}  // namespace morvane::testing
