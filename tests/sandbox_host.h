#pragma once

// The sandboxed host (tests/sandbox) as the whole-run tests use it: a sandbox of their own, the
// built executable run inside it, in the foreground or the background, and what its tools saw
// and left behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
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
  /// what it writes goes to a file beside the sandbox, `startedOutput`.
  std::unique_ptr<StartedProgram> start(const Args& options, const Args& arguments) const {
    return std::make_unique<StartedProgram>(
        sandboxScriptPath("run-in-sandbox"),
        Args{root_.string(), "--binary", MORVANE_BINARY} + options + Args{"--"} + arguments,
        sandboxEnvironment(), (folder_.path() / "output").string());
  }
  std::string startedOutput() const { return fileText(folder_.path() / "output"); }

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

}  // namespace morvane::testing
