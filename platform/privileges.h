#pragma once

namespace morvane {

/// How a request to a way of getting the administrator right ended.
enum class PrivilegeOutcome {
  kGranted,         ///< the right is held, or the tool ran as administrator and ended
  kDenied,          ///< refused: a wrong password, or a rule that does not allow it
  kCanceled,        ///< the user dismissed the question, or the program was asked to end
  kUnavailable,     ///< the way itself failed: its tool is missing or could not ask anybody
  kToolNotStarted,  ///< the tool is no program, or the way could not start it
};

/// A tool run as administrator: how its start went and, when it ran, its exit status (128 and
/// the signal's number when a signal ended it, as a shell reports it).
struct PrivilegedRun {
  PrivilegeOutcome outcome = PrivilegeOutcome::kUnavailable;
  int status = 0;
};

/// One way to the administrator right on this machine (as root, through polkit, through sudo).
/// The right is asked for before every tool: a refusal is asked again at the next one.
class PrivilegedWay {
 public:
  virtual ~PrivilegedWay() = default;

  /// Asks for the right; the user may be asked, and the call blocks until they answer.
  virtual PrivilegeOutcome obtainRight() = 0;

  /// Starts `tool`, an absolute path, with the null-terminated `arguments` (the tool's own
  /// name not among them) as administrator once the right is held, and waits for this tool
  /// alone to end. The tool reads nothing and its output is discarded, so it can never stall.
  virtual PrivilegedRun runTool(const char* tool, const char* const* arguments) = 0;
};

/// The ways to the administrator right, and the signals that end a run while it waits for one.
class Privileges {
 public:
  virtual ~Privileges() = default;

  /// The way for this run, chosen at the first call, since most runs never need the right and
  /// the choice itself runs tools; null when the machine offers none.
  virtual PrivilegedWay* chooseWay() = 0;

  /// True once the program was asked to end (SIGINT, SIGTERM, SIGHUP) while it waited for a
  /// privileged tool or a question for the right. The run then starts no other tool and ends
  /// as a failure.
  virtual bool interrupted() const = 0;
};

}  // namespace morvane
