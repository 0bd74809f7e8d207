#include "platform/posix/process_launcher_posix.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <thread>
#include <utility>

#include "platform/posix/read_to_end.h"

extern char** environ;

namespace morvane {
namespace {

/// The file actions of one spawn, destroyed with the spawn.
class SpawnActions {
 public:
  SpawnActions() : valid_(::posix_spawn_file_actions_init(&actions_) == 0) {}
  ~SpawnActions() {
    if (valid_) {
      ::posix_spawn_file_actions_destroy(&actions_);
    }
  }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;

  /// Adds the redirections of `streams`, then closes every descriptor above 2.
  bool connect(const ChildStreams& streams) {
    if (!valid_ || !connectInput(streams) || !connectOutput(streams) || !connectError(streams)) {
      return false;
    }
    // After the redirections: the pipe's end sits above 2 until it is copied onto standard
    // output. Closing everything also covers descriptors that a library opened without
    // close-on-exec.
    return ::posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1) == 0;
  }
  const posix_spawn_file_actions_t* get() const { return &actions_; }

 private:
  bool connectInput(const ChildStreams& streams) {
    return !streams.inputFromNull || ::posix_spawn_file_actions_addopen(
                                         &actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0;
  }
  bool connectOutput(const ChildStreams& streams) {
    if (streams.outputToNull) {
      return ::posix_spawn_file_actions_addopen(&actions_, STDOUT_FILENO, "/dev/null", O_WRONLY,
                                                0) == 0;
    }
    return streams.output < 0 ||
           ::posix_spawn_file_actions_adddup2(&actions_, streams.output, STDOUT_FILENO) == 0;
  }

  bool connectError(const ChildStreams& streams) {
    return !streams.errorToNull || ::posix_spawn_file_actions_addopen(
                                       &actions_, STDERR_FILENO, "/dev/null", O_WRONLY, 0) == 0;
  }

  posix_spawn_file_actions_t actions_;
  bool valid_;
};

/// The attributes of one spawn: every signal at its default and none blocked, so a tool never
/// inherits an ignored SIGPIPE or SIGINT from the program or one of its libraries.
class SpawnAttributes {
 public:
  SpawnAttributes() : valid_(::posix_spawnattr_init(&attributes_) == 0) {}
  ~SpawnAttributes() {
    if (valid_) {
      ::posix_spawnattr_destroy(&attributes_);
    }
  }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;

  bool resetSignals() {
    sigset_t all;
    sigset_t none;
    return valid_ && ::sigfillset(&all) == 0 && ::sigemptyset(&none) == 0 &&
           ::posix_spawnattr_setsigdefault(&attributes_, &all) == 0 &&
           ::posix_spawnattr_setsigmask(&attributes_, &none) == 0 &&
           ::posix_spawnattr_setflags(&attributes_,
                                      POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK) == 0;
  }
  const posix_spawnattr_t* get() const { return &attributes_; }

 private:
  posix_spawnattr_t attributes_;
  bool valid_;
};

/// waitpid on `pid` and no other child, retried when a signal interrupts it.
pid_t waitForChild(pid_t pid, int* status, int options) {
  pid_t ended;
  do {
    ended = ::waitpid(pid, status, options);
  } while (ended < 0 && errno == EINTR);
  return ended;
}

}  // namespace

std::optional<Pipe> makePipe() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    return std::nullopt;
  }
  return Pipe{UniqueFd(ends[0]), UniqueFd(ends[1])};
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept : pid_(std::exchange(other.pid_, -1)) {}

std::optional<int> ChildProcess::wait() {
  if (pid_ <= 0) {
    return std::nullopt;
  }
  int status = 0;
  if (waitForChild(std::exchange(pid_, -1), &status, 0) < 0) {
    return std::nullopt;
  }
  return status;
}

bool ChildProcess::reapIfEnded() {
  int status = 0;
  if (pid_ > 0 && waitForChild(pid_, &status, WNOHANG) == 0) {
    return false;
  }
  pid_ = -1;
  return true;
}

std::optional<ChildProcess> spawnChild(const char* path, std::vector<const char*> argv,
                                       const ChildStreams& streams) {
  SpawnActions actions;
  SpawnAttributes attributes;
  if (!actions.connect(streams) || !attributes.resetSignals()) {
    return std::nullopt;
  }
  argv.push_back(nullptr);
  // posix_spawn takes char* const[] for historical reasons; it never writes through them.
  auto* const arguments = const_cast<char* const*>(argv.data());
  auto* const environment =
      streams.environment != nullptr ? const_cast<char* const*>(streams.environment) : environ;
  pid_t pid = -1;
  // glibc reports a failed exec in the child (ENOENT, EACCES for a folder, ENOEXEC for a file
  // that is no program) as the result here, and never retries through a shell.
  if (::posix_spawn(&pid, path, actions.get(), attributes.get(), arguments, environment) != 0) {
    return std::nullopt;
  }
  return ChildProcess(pid);
}

namespace {

/// Whether `child` ends by `until`. Asked at growing intervals: most tools end right after
/// closing their output, and the first look finds them gone.
bool endsBy(ChildProcess& child, std::chrono::steady_clock::time_point until) {
  for (auto pause = std::chrono::microseconds(100); !child.reapIfEnded();
       pause = std::min(pause * 2, std::chrono::microseconds(50'000))) {
    if (std::chrono::steady_clock::now() >= until) {
      return false;
    }
    std::this_thread::sleep_for(pause);
  }
  return true;
}

}  // namespace

std::optional<std::string> PosixProcessLauncher::launchAndReadOutput(
    const std::string& tool, const std::vector<std::string>& arguments) {
  std::optional<Pipe> pipe = makePipe();
  if (!pipe) {
    return std::nullopt;
  }
  std::vector<const char*> argv{tool.c_str()};
  for (const std::string& argument : arguments) {
    argv.push_back(argument.c_str());
  }
  std::optional<ChildProcess> child =
      spawnChild(tool.c_str(), std::move(argv),
                 ChildStreams{.output = pipe->writeEnd.get(),
                              .environment = asRoot_ ? kToolEnvironment : nullptr});
  // Once the tool holds the only writing end, its end is the end of file of the read below.
  pipe->writeEnd.reset();
  if (!child) {
    return std::nullopt;
  }
  const auto until = std::chrono::steady_clock::now() + bounds_.patience;
  std::optional<std::string> output = readToEnd(pipe->readEnd.get(), bounds_.most, until);
  // Closed before the wait: after a failed read the tool must not block on a full pipe.
  pipe->readEnd.reset();
  // A tool may close its output and go on: its end is waited for within the same time.
  if (!output || !endsBy(*child, until)) {
    ::kill(child->pid(), SIGKILL);
    output.reset();
  }
  child->wait();
  return output;
}

}  // namespace morvane
