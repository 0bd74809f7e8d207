#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/tool_environment.h"
#include "platform/posix/unique_fd.h"
#include "platform/process_launcher.h"

namespace morvane {

/// Both ends of a new pipe, each close-on-exec so that no other child inherits them.
struct Pipe {
  UniqueFd readEnd;
  UniqueFd writeEnd;
};

/// A new pipe, or none when the system refuses one.
std::optional<Pipe> makePipe();

/// A started child of the program. Its destructor waits for it, so no zombie is left behind;
/// release() hands that duty back to the caller.
class ChildProcess {
 public:
  explicit ChildProcess(pid_t pid) : pid_(pid) {}
  ~ChildProcess() { wait(); }
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&&) = delete;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  /// Waits for this child and no other, then forgets it. Returns its wait status, or none when
  /// it was already waited for or the wait failed.
  std::optional<int> wait();
  /// Reaps the child if it has already ended, without blocking; true when nothing is left.
  bool reapIfEnded();
  /// Forgets the child without waiting for it.
  void release() { pid_ = -1; }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_;
};

/// How a started tool's standard streams are connected.
struct ChildStreams {
  /// True: standard input reads /dev/null. False: it is the program's own.
  bool inputFromNull = false;
  /// True: standard output is discarded into /dev/null.
  bool outputToNull = false;
  /// True: standard error is discarded too, for a question whose answer is its exit status
  /// alone. False: it is the program's own.
  bool errorToNull = false;
  /// When not -1 (and output is not discarded), this descriptor becomes standard output.
  int output = -1;
  /// The tool's environment, null-terminated; the program's own when null.
  const char* const* environment = nullptr;
};

/// Starts the tool at the absolute `path` (never searched for) with `argv`, which holds the
/// tool's own name first. Every descriptor above 2 is closed in the child and every signal
/// starts at its default, whatever the program or its libraries set up. None when the tool
/// cannot be started (missing, a folder, not executable, not a program).
std::optional<ChildProcess> spawnChild(const char* path, std::vector<const char*> argv,
                                       const ChildStreams& streams);

/// How much a tool may write and how long it may take before the launcher gives up on it.
struct OutputBounds {
  std::size_t most = 64 * 1024 * 1024;
  std::chrono::milliseconds patience = std::chrono::seconds(60);
};

/// posix_spawn, a pipe for standard output, a read loop and waitpid on that one child. A tool
/// that writes more than its bounds allow, or does not end in time, is killed, and its answer
/// is none, like output that is not UTF-8: no tool can hang the run or fill its memory.
class PosixProcessLauncher final : public ProcessLauncher {
 public:
  /// With `asRoot` the tools get kToolEnvironment, as the privileged ones do; otherwise the
  /// program's own environment.
  explicit PosixProcessLauncher(bool asRoot = false, OutputBounds bounds = {})
      : asRoot_(asRoot), bounds_(bounds) {}

  std::optional<std::string> launchAndReadOutput(
      const std::string& tool, const std::vector<std::string>& arguments) override;

 private:
  bool asRoot_;
  OutputBounds bounds_;
};

}  // namespace morvane
