#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kext/kext_paths.h"
#include "platform/controls.h"
#include "platform/platform.h"

namespace morvane {

class InterfaceResource;
class MorvaneAppDelegateTestPeer;

/// Exit statuses the program passes to the platform's exit. -1 reaches the parent as 255.
inline constexpr int kExitHelp = 0;
inline constexpr int kExitSuccess = 1;
inline constexpr int kExitFailure = -1;

/// System 10.7.0 in the binary-coded form of the system-version query. Older systems get the
/// default reboot marker and the io boot argument.
inline constexpr std::int32_t kLionSystemVersion = 0x1070;

/// The one object of a run: the run state and every operation of the program. The framework
/// calls it in the order applicationWillFinishLaunching, applicationDidFinishLaunching and, if
/// ever, applicationWillTerminate.
class MorvaneAppDelegate {
 public:
  /// `platform` is not owned and outlives the delegate.
  explicit MorvaneAppDelegate(Platform& platform) : platform_(platform) {}
  MorvaneAppDelegate(const MorvaneAppDelegate&) = delete;
  MorvaneAppDelegate& operator=(const MorvaneAppDelegate&) = delete;

  /// Resets the run state, prepares the prompt, scans the command line, checks the paths and
  /// filters the kexts. Ends the run when there is nothing to do.
  void applicationWillFinishLaunching();
  /// Runs the uninstall pass and ends the run, or shows the restart prompt.
  void applicationDidFinishLaunching();
  /// Clean-up when the framework itself terminates the application.
  void applicationWillTerminate();

  Window* SRWindow() const { return SRWindow_; }
  void setSRWindow(Window* window) { SRWindow_ = window; }

  /// Writes the usage text to standard output.
  void printHelp();

  /// Sets (remove false) or clears (remove true) the io boot argument. True on success or when
  /// there is nothing to do.
  bool writeNVRAMArg(bool remove);

  /// The prompt's actions. `sender` is the control that sent it, or null.
  void rebootConfirmed(const Control* sender);
  void rebootRejected(const Control* sender);
  void rebootLater(const Control* sender);

 private:
  friend class InterfaceResource;
  friend class MorvaneAppDelegateTestPeer;

  // --- Private: the internal operations ---------------------------------------------------

  /// Reads the command line into the flags, the title, the marker path and m_pathArray.
  void processArguments();
  /// Makes the offered paths and the marker path absolute against the working folder.
  void anchorRelativePaths();
  /// Ends the run with the failure status, telling the caller `why` first.
  [[noreturn]] void endRunFailed(const std::string& why);
  /// Ends the run after a pass: success, or a failure that says why.
  [[noreturn]] void endPass(bool succeeded);

  /// Whether launch finds the entry that the removal of `path` would give the tools.
  bool removalTargetExists(const std::string& path);

  /// The tool's whole standard output as text, or none: absent tool or list, a tool that is
  /// not executable or cannot start, output that is not UTF-8.
  std::optional<std::string> runCommand(const std::optional<std::string>& tool,
                                        const std::optional<std::vector<std::string>>& arguments);
  /// True when the run holds the administrator right; asks for it on every call.
  bool authorizeSetting();
  /// Runs `tool` as administrator with the null-terminated `args` and waits for it. True means
  /// only that the tool ran and ended.
  bool executePrivilegesWithCommand(const char* tool, const char* const* args);
  /// How a tool run with executePrivilegesWithCommand went, its own exit status included.
  enum class ToolResult { kNotRun, kFailed, kSucceeded };
  /// Runs `tool` as administrator and looks at its exit status too: a tool that ran and ended
  /// with another status than 0 is named in one log line.
  ToolResult runPrivilegedTool(const char* tool, const char* const* args);

  std::optional<std::string> getInfoPlistWithKey(const std::string& key, const std::string& file);
  bool checkKextLoadedWithBundleID(const std::string& bundleID);
  bool isKextLoadedInSystem(const std::string& kextPath);
  /// 0 no installed copy; 1 offered higher; 2 equal or offered without version; 3 offered lower.
  int checkKextUpgrade(const std::string& kextPath);

  bool unInstallKext(const std::string& path);
  /// 0 failure; 1 copied (and loaded with -l); 2 installed copy of the same or a newer version.
  int installKext(const std::string& source, const std::string& dest);
  bool processKextInstall(bool uninstall);
  /// Whether every path of the list passes the rules of what a pass may change; the first that
  /// does not is logged.
  bool listIsSafe(bool uninstall);
  /// Drops the kexts that need no work; false when none is left.
  bool filterNotInstallKext();

  bool hasNVRAMArg();

  /// The reboot marker as the pass may trust it: none named or nothing there; a regular file
  /// owned by root; anything else (a link, a folder, another user's file), refused with one
  /// log line. A link at the end of the path is never followed.
  enum class RebootMarker { kAbsent, kTrusted, kRefused };
  RebootMarker rebootMarkerState();
  /// Creates the marker, or refreshes its time, as administrator; a refused marker is left
  /// alone. The marker path must be set.
  void touchRebootMarker();
  bool restartSystem();

  void showNotificationWithCountdown(bool withCountdown);
  void updateCountdownLabel(Timer* timer);
  /// Sets the countdown text for timerCountDown into countdownField.
  void setCountdownText();
  /// Invalidates CDTimer, if set, and clears the field; the countdown text stays as it was.
  void stopCountdown();

  // --- Run state, in the order of the system's record -------------------------------------

  Window* SRWindow_ = nullptr;
  bool m_bForceInstall = false;
  bool m_bUninstall = false;
  bool m_bNVRAM = false;
  bool m_bPreInstall = false;
  bool m_bLoadKext = false;
  bool m_bDefaultInstalled = false;
  std::optional<std::string> windowTitle;
  std::optional<std::string> preInstallCheckRebootFile;
  /// The way to the administrator right, chosen at the first privileged tool; not owned.
  PrivilegedWay* authorizationRef = nullptr;
  std::vector<std::string> m_pathArray;
  Button* cancelBtn = nullptr;
  Button* restartBtn = nullptr;
  Button* okBtn = nullptr;
  TextField* textField = nullptr;
  TextField* textTitle = nullptr;
  TextField* countdownField = nullptr;
  View* layout1 = nullptr;
  View* layout2 = nullptr;
  double timerCountDown = 0;
  Timer* CDTimer = nullptr;

  /// The exit status of the last privileged tool that ran.
  int lastToolStatus_ = 0;
  /// Whether a pass has succeeded in this run: the kexts are in place, whatever comes after.
  bool passSucceeded_ = false;

  Platform& platform_;
};

}  // namespace morvane
