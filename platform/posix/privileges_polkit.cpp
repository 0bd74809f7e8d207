#include "platform/posix/privileges_polkit.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <sstream>
#include <utility>

#include "platform/posix/deferred_signals.h"
#include "platform/posix/read_to_end.h"
#include "platform/posix/unique_fd.h"

namespace morvane {

namespace {

constexpr int kStartTimeField = 22;

/// pkcheck's exit status when no authentication agent could ask the user.
constexpr int kNoAgent = 2;

/// pkexec's exit statuses when the user dismissed its question, and when it refused.
constexpr int kPkexecDismissed = 126;
constexpr int kPkexecNotAuthorized = 127;

/// The streams of pkaction and pkcheck, whose answer is their exit status. Their complaints
/// would reach the user's terminal: "no agent is available" just before the program's own agent
/// asks, a missing daemon on every run, a refusal that the program logs with its own status.
constexpr ChildStreams kAnswerOnly{.inputFromNull = true,
                                   .outputToNull = true,
                                   .errorToNull = true,
                                   .environment = kToolEnvironment};

/// This process as polkit names it, "PID,START": the start time tells it apart from a later
/// process with the same pid. None when the start time cannot be read.
std::optional<std::string> ownProcess() {
  const UniqueFd stat(::open("/proc/self/stat", O_RDONLY | O_CLOEXEC));
  const std::optional<std::string> text = stat.get() < 0 ? std::nullopt : readToEnd(stat.get());
  const std::optional<unsigned long long> start = text ? processStartTime(*text) : std::nullopt;
  if (!start) {
    return std::nullopt;
  }
  return std::to_string(::getpid()) + "," + std::to_string(*start);
}

/// pkcheck's exit status, or none when it could not start or did not end by itself.
std::optional<int> exitStatus(const std::optional<int>& waitStatus) {
  if (!waitStatus || !WIFEXITED(*waitStatus)) {
    return std::nullopt;
  }
  return WEXITSTATUS(*waitStatus);
}

PrivilegeOutcome outcomeOfCheck(const std::optional<int>& exitStatus) {
  if (askedToEnd()) {
    return PrivilegeOutcome::kCanceled;
  }
  switch (exitStatus.value_or(-1)) {
    case 0:
      return PrivilegeOutcome::kGranted;
    case 1:
      return PrivilegeOutcome::kDenied;
    case 3:
      return PrivilegeOutcome::kCanceled;
    default:
      return PrivilegeOutcome::kUnavailable;
  }
}

/// Returns once `fd` has something to read or every writer has closed it.
void waitForNotice(int fd) {
  char byte;
  while (::read(fd, &byte, 1) < 0 && errno == EINTR) {
  }
}

}  // namespace

std::optional<unsigned long long> processStartTime(std::string_view stat) {
  // The command name (field 2) stands in parentheses and may itself hold spaces and ')': the
  // fields after it begin behind the last ')'.
  const std::size_t nameEnd = stat.rfind(')');
  if (nameEnd == std::string_view::npos) {
    return std::nullopt;
  }
  std::istringstream fields{std::string(stat.substr(nameEnd + 1))};
  std::string field;
  for (int number = 3; number <= kStartTimeField; ++number) {
    if (!(fields >> field)) {
      return std::nullopt;
    }
  }
  unsigned long long start = 0;
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), start);
  if (error != std::errc() || end != field.data() + field.size()) {
    return std::nullopt;
  }
  return start;
}

PolkitWay::PolkitWay(PolkitTools tools, std::function<bool()> hasTerminal)
    : tools_(std::move(tools)), hasTerminal_(std::move(hasTerminal)) {}

PolkitWay::~PolkitWay() {
  stopAgent();
}

bool PolkitWay::usable() const {
  if (!isProgram(tools_.pkexec.c_str()) || !isProgram(tools_.pkcheck.c_str())) {
    return false;
  }
  // Without polkit's daemon pkaction fails, quietly, and the other ways are taken.
  const char* pkaction = tools_.pkaction.c_str();
  Argv argv{pkaction, "--action-id", kPolkitAction};
  return exitStatus(runAndWait(pkaction, std::move(argv), kAnswerOnly)) == 0;
}

PrivilegeOutcome PolkitWay::obtainRight() {
  granted_ = false;
  const std::optional<std::string> process = ownProcess();
  if (!process) {
    return PrivilegeOutcome::kUnavailable;
  }
  const std::string subject = *process + "," + std::to_string(::getuid());
  std::optional<int> answer = check(subject);
  // Started from a terminal outside any desktop session, nobody would ask the user.
  if (answer == kNoAgent && hasTerminal_() && startAgent(*process)) {
    answer = check(subject);
  }
  const PrivilegeOutcome outcome = outcomeOfCheck(answer);
  granted_ = outcome == PrivilegeOutcome::kGranted;
  return outcome;
}

PrivilegedRun PolkitWay::runTool(const char* tool, const char* const* arguments) {
  if (const std::optional<PrivilegedRun> refused = refusedStart(granted_, tool)) {
    return *refused;
  }
  // pkexec finds the right that pkcheck obtained for this process, its parent; it never asks
  // on the terminal itself, where the tool's quiet streams would leave nobody to answer.
  const char* pkexec = tools_.pkexec.c_str();
  const PrivilegedRun run = runPrivileged(
      pkexec,
      toolArgv({pkexec, "--disable-internal-agent", tools_.helper.c_str()}, tool, arguments));
  // pkexec's own refusals are the way's failures: none of the privileged tools ends with one
  // of them.
  if (run.outcome == PrivilegeOutcome::kGranted) {
    if (run.status == kPkexecDismissed) {
      return {PrivilegeOutcome::kCanceled};
    }
    if (run.status == kPkexecNotAuthorized) {
      return {PrivilegeOutcome::kDenied};
    }
  }
  return run;
}

void PolkitWay::stopAgent() {
  if (agent_ && !agent_->reapIfEnded()) {
    ::kill(agent_->pid(), SIGTERM);
    agent_->wait();
  }
  agent_.reset();
}

std::optional<int> PolkitWay::check(const std::string& subject) const {
  const char* pkcheck = tools_.pkcheck.c_str();
  Argv argv{pkcheck,     "--action-id",   kPolkitAction,
            "--process", subject.c_str(), "--allow-user-interaction"};
  return exitStatus(runAndWait(pkcheck, std::move(argv), kAnswerOnly));
}

bool PolkitWay::startAgent(const std::string& process) {
  // One agent a run: when polkit finds none while ours runs, another would not help.
  if (agent_ && !agent_->reapIfEnded()) {
    return false;
  }
  agent_.reset();
  std::optional<Pipe> notice = makePipe();
  if (!notice) {
    return false;
  }
  // The agent closes its notice descriptor once it has registered. A started tool keeps no
  // descriptor above 2, so the notice is its standard output; it talks to the user on the
  // terminal it opens itself.
  const char* pkttyagent = tools_.pkttyagent.c_str();
  DeferredSignals deferred;
  std::optional<ChildProcess> child = spawnChild(
      pkttyagent, {pkttyagent, "--process", process.c_str(), "--fallback", "--notify-fd", "1"},
      ChildStreams{.output = notice->writeEnd.get()});
  notice->writeEnd.reset();
  if (!child) {
    return false;
  }
  deferred.forwardTo(child->pid());
  waitForNotice(notice->readEnd.get());
  agent_.emplace(std::move(*child));
  return !agent_->reapIfEnded();
}

}  // namespace morvane
