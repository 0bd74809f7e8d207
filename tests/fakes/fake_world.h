#pragma once

// One small simulated machine under the delegate, and the fixture that starts a run on it.
// Set the machine up, `start` the delegate, call one step and check `journal`: every call to a
// tool or service in order ("run TOOL ARGS" unprivileged; "create", "copyRights REF RIGHT
// FLAGS", "exec TOOL ARGS", "wait TOOL", "free REF FLAGS"; the Apple events). Privileged tools
// change the machine as the real ones do. Failures come from the same data. The world is also
// the event loop, with a manual clock (`advance`), for the prompt.

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/MorvaneAppDelegate.h"
#include "platform/platform.h"
#include "ui/interface_resource.h"

namespace morvane {

/// Reaches the run state and the Private operations of the delegate, for tests only.
class MorvaneAppDelegateTestPeer {
 public:
  explicit MorvaneAppDelegateTestPeer(MorvaneAppDelegate& delegate) : d_(delegate) {}

  bool& forceInstall() { return d_.m_bForceInstall; }
  bool& uninstall() { return d_.m_bUninstall; }
  bool& nvram() { return d_.m_bNVRAM; }
  bool& preInstall() { return d_.m_bPreInstall; }
  bool& loadKext() { return d_.m_bLoadKext; }
  bool& defaultInstalled() { return d_.m_bDefaultInstalled; }
  std::optional<std::string>& windowTitle() { return d_.windowTitle; }
  std::optional<std::string>& rebootFile() { return d_.preInstallCheckRebootFile; }
  AuthorizationRef& authorizationRef() { return d_.authorizationRef; }
  std::vector<std::string>& pathArray() { return d_.m_pathArray; }

  void processArguments() { d_.processArguments(); }
  bool executePrivilegesWithCommand(const char* tool, const char* const* args) {
    return d_.executePrivilegesWithCommand(tool, args);
  }
  bool isKextLoadedInSystem(const std::string& path) { return d_.isKextLoadedInSystem(path); }
  int checkKextUpgrade(const std::string& path) { return d_.checkKextUpgrade(path); }
  int installKext(const std::string& from, const std::string& to) {
    return d_.installKext(from, to);
  }
  bool processKextInstall(bool uninstall) { return d_.processKextInstall(uninstall); }
  bool filterNotInstallKext() { return d_.filterNotInstallKext(); }
  bool restartSystem() { return d_.restartSystem(); }

 private:
  MorvaneAppDelegate& d_;
};

namespace testing {

using Lines = std::vector<std::string>;

/// What the fake exit throws so that no code after an end of run is reached.
struct ExitCalled {
  int status;
};

/// `name` inside the extensions folder.
inline std::string entry(const std::string& name) {
  return std::string(kExtensionsFolder) + "/" + name;
}

inline std::string joined(std::string line, const Lines& arguments) {
  for (const std::string& argument : arguments) {
    line += " " + argument;
  }
  return line;
}

/// `path` without trailing slashes, which name the same entry.
inline std::string bare(std::string path) {
  while (path.size() > 1 && path.back() == '/') {
    path.pop_back();
  }
  return path;
}

inline std::string infoPlist(const std::string& bundle) {
  return bare(bundle) + "/Contents/Info.plist";
}

/// The machine, and every service of the platform.
class FakeWorld final : public FileManager,
                        public ProcessLauncher,
                        public AuthorizationService,
                        public PropertyLists,
                        public SystemInfo,
                        public AppleEvents,
                        public Application,
                        public Localizer,
                        public Log,
                        public ProcessExit {
 public:
  enum class Kind { kFile, kFolder, kTool };

  /// A bundle folder at `path`; with a version or an identifier, its Info.plist.
  void offer(const std::string& path, const std::optional<std::string>& version,
             const std::optional<std::string>& identifier = std::nullopt) {
    files[path] = Kind::kFolder;
    for (const auto& [key, value] :
         {std::pair{"CFBundleVersion", version}, std::pair{"CFBundleIdentifier", identifier}}) {
      if (value) {
        files[infoPlist(path)] = Kind::kFile;
        plists[infoPlist(path)][key] = *value;
      }
    }
  }
  /// The privileged tools started, in order, as "TOOL ARG...".
  Lines execs() const {
    Lines runs;
    for (const std::string& line : journal) {
      if (line.starts_with("exec ")) {
        runs.push_back(line.substr(5));
      }
    }
    return runs;
  }

  // The machine: 10.6.8 on x86_64, the extensions folder and the tools run without rights.
  std::map<std::string, Kind> files = {{kExtensionsFolder, Kind::kFolder},
                                       {"/usr/sbin/kextstat", Kind::kTool},
                                       {"/usr/sbin/nvram", Kind::kTool},
                                       {"/usr/bin/uname", Kind::kTool}};
  std::map<std::string, std::string> links;  // path -> target, followed but by attributesOfItem
  std::map<std::string, uid_t> owners;       // path -> owner, where it is not root
  std::map<std::string, std::map<std::string, std::string>> plists;  // file -> key -> text
  std::map<std::string, std::string> loaded;                         // identifier -> version
  std::optional<std::string> bootArgs = "";         // none: the variable cannot be read
  bool bootArgsStick = true;                        // false: nvram's writes are lost
  std::optional<std::string> machine = "x86_64\n";  // none: uname cannot start
  OSErr versionStatus = noErr;
  std::int32_t version = 0x1068;
  std::map<std::string, std::string> translations;

  // What happened, and the failures to come.
  Lines journal;
  Lines log;
  OSStatus createStatus = errAuthorizationSuccess;
  /// Answers to the next requests for the right, first first; once used up, granted.
  std::deque<OSStatus> refusals;
  /// Statuses of the next starts of a tool, by its path; once used up, it starts.
  std::map<std::string, std::deque<OSStatus>> startFailures;
  /// The Apple event call that fails: "AECreateDesc", "AECreateAppleEvent" or "AESend".
  std::string failingEvent;
  /// How long each privileged tool runs on the loop's clock.
  double toolSeconds = 0;
  /// The privileged tool, as "TOOL ARG...", during which the program is asked to end.
  std::string askedToEndDuring;
  bool askedToEnd = false;

  /// Moves the loop's clock on by `seconds`, firing the due ticks in order.
  void advance(double seconds) {
    const double until = now_ + seconds;
    for (;;) {
      FakeTimer* due = nullptr;
      for (const auto& timer : timers_) {
        if (timer->valid && timer->next <= until && (!due || timer->next < due->next)) {
          due = timer.get();
        }
      }
      if (due == nullptr) {
        break;
      }
      now_ = due->next;
      due->next += due->interval;
      due->tick(due);
    }
    now_ = until;
  }

  bool fileExists(const std::string& path, bool* isDirectory = nullptr) const override {
    if (const auto link = links.find(bare(path)); link != links.end()) {
      return fileExists(link->second, isDirectory);
    }
    const auto file = files.find(bare(path));
    if (file != files.end() && isDirectory != nullptr) {
      *isDirectory = file->second == Kind::kFolder;
    }
    return file != files.end();
  }
  std::optional<FileAttributes> attributesOfItem(const std::string& path) const override {
    const uid_t owner = owners.contains(path) ? owners.at(path) : 0;
    if (links.contains(path)) {
      return FileAttributes{FileType::kSymbolicLink, owner};
    }
    if (!files.contains(path)) {
      return std::nullopt;
    }
    return FileAttributes{
        files.at(path) == Kind::kFolder ? FileType::kDirectory : FileType::kRegular, owner};
  }
  bool isExecutableFile(const std::string& path) const override {
    return files.contains(path) && files.at(path) == Kind::kTool;
  }
  std::optional<std::string> launchAndReadOutput(const std::string& tool,
                                                 const Lines& arguments) override {
    journal.push_back(joined("run " + tool, arguments));
    if (tool == "/usr/bin/uname") {
      return machine;
    }
    if (tool == "/usr/sbin/nvram") {
      return bootArgs ? std::optional("boot-args\t" + *bootArgs + "\n") : std::nullopt;
    }
    const auto kext = loaded.find(arguments.back());
    return kext == loaded.end() ? ""
                                : "  9 0 0x1 0x2 0x3 " + kext->first + " (" + kext->second + ")\n";
  }
  OSStatus create(AuthorizationFlags flags, AuthorizationRef* authorization) override {
    journal.push_back("create " + std::to_string(flags));
    *authorization = createStatus == errAuthorizationSuccess ? 42 : *authorization;
    return createStatus;
  }
  OSStatus copyRights(AuthorizationRef authorization, const AuthorizationRights& rights,
                      AuthorizationFlags flags) override {
    journal.push_back("copyRights " + std::to_string(authorization) + " " + rights.items[0].name +
                      " " + std::to_string(flags));
    return next(refusals);
  }
  OSStatus executeWithPrivileges(AuthorizationRef, const char* tool, AuthorizationFlags,
                                 const char* const* arguments,
                                 std::unique_ptr<PrivilegedTool>* started) override {
    advance(toolSeconds);
    Lines vector;
    for (const char* const* argument = arguments; *argument != nullptr; ++argument) {
      vector.emplace_back(*argument);
    }
    journal.push_back(joined(std::string("exec ") + tool, vector));
    const OSStatus status = next(startFailures[tool]);
    if (status == errAuthorizationSuccess) {
      apply(tool, vector);
      *started = std::make_unique<Tool>(journal, tool);
      askedToEnd = askedToEnd || joined(tool, vector) == askedToEndDuring;
    }
    return status;
  }
  OSStatus free(AuthorizationRef authorization, AuthorizationFlags flags) override {
    journal.push_back("free " + std::to_string(authorization) + " " + std::to_string(flags));
    return errAuthorizationSuccess;
  }
  std::optional<std::string> textValue(const std::string& path,
                                       const std::string& key) const override {
    const auto plist = plists.find(path);
    return plist == plists.end() || !plist->second.contains(key)
               ? std::nullopt
               : std::optional(plist->second.at(key));
  }
  std::optional<std::string> bundleVersion(const std::string& bundlePath) const override {
    return textValue(infoPlist(bundlePath), "CFBundleVersion");
  }
  OSErr gestalt(OSType selector, std::int32_t* response) const override {
    if (selector != gestaltSystemVersion) {
      return gestaltUndefSelectorErr;
    }
    *response = versionStatus == noErr ? version : *response;
    return versionStatus;
  }
  std::string localizedString(const std::string& key) const override {
    return translations.contains(key) ? translations.at(key) : key;
  }
  void write(const std::string& message) override { log.push_back(message); }
  OSErr createDesc(DescType type, const void*, std::size_t, AEDesc* result) override {
    return *result = AEDesc{type, 1}, event("AECreateDesc");
  }
  OSErr createAppleEvent(AEEventClass eventClass, AEEventID, const AEDesc&, AEReturnID,
                         AETransactionID, AEDesc* result) override {
    return *result = AEDesc{eventClass, 2}, event("AECreateAppleEvent");
  }
  OSErr send(const AEDesc&, AEDesc*, AESendMode, AESendPriority, std::int32_t) override {
    return event("AESend");
  }
  OSErr disposeDesc(AEDesc* desc) override {
    return event("AEDisposeDesc " + std::to_string(std::exchange(*desc, AEDesc{}).dataHandle));
  }
  Timer* scheduledTimer(double interval, std::function<void(Timer*)> tick) override {
    timers_.push_back(std::make_unique<FakeTimer>(interval, now_ + interval, std::move(tick)));
    return timers_.back().get();
  }
  bool bindWindow(Window&) override { return true; }
  int run() override { return 0; }
  bool interrupted() const override { return askedToEnd; }

 protected:
  void endProcess(int status) override { throw ExitCalled{status}; }

 private:
  /// Notes the wait; the tool changed the machine when it started.
  struct Tool final : PrivilegedTool {
    Tool(Lines& journal, std::string tool) : journal(journal), tool(std::move(tool)) {}
    void waitUntilExit() override { journal.push_back("wait " + tool); }
    Lines& journal;
    std::string tool;
  };

  struct FakeTimer final : Timer {
    FakeTimer(double interval, double next, std::function<void(Timer*)> tick)
        : interval(interval), next(next), tick(std::move(tick)) {}
    void invalidate() override { valid = false; }
    double interval, next;
    std::function<void(Timer*)> tick;
    bool valid = true;
  };

  OSErr event(const std::string& call) {
    journal.push_back(call);
    return call == failingEvent ? OSErr{-1712} : noErr;  // the event manager's time-out
  }
  static OSStatus next(std::deque<OSStatus>& statuses) {
    const OSStatus status = statuses.empty() ? errAuthorizationSuccess : statuses.front();
    statuses.erase(statuses.begin(), statuses.begin() + (statuses.empty() ? 0 : 1));
    return status;
  }

  void apply(const std::string& tool, const Lines& arguments) {
    const std::string& last = arguments.back();
    const auto identifier = textValue(infoPlist(last), "CFBundleIdentifier");
    if (tool == "/bin/rm") {
      std::erase_if(files, [&](const auto& file) {
        return file.first == last || file.first.starts_with(last + "/");
      });
      std::erase_if(plists, [&](const auto& file) { return file.first.starts_with(last + "/"); });
      links.erase(last);  // the link itself, never what it points to
    } else if (tool == "/bin/cp") {
      files[last] = Kind::kFolder;
      if (plists.contains(infoPlist(arguments[1]))) {
        files[infoPlist(last)] = Kind::kFile;
        plists[infoPlist(last)] = plists[infoPlist(arguments[1])];
      }
    } else if (tool == "/usr/bin/touch") {
      files.try_emplace(last, Kind::kFile);
    } else if (tool == "/usr/sbin/nvram" && bootArgsStick) {
      bootArgs = last.substr(std::string("boot-args=").size());
    } else if (tool == "/sbin/kextload" && identifier) {
      loaded[*identifier] = bundleVersion(last).value_or("");
    } else if (tool == "/sbin/kextunload" && identifier) {
      loaded.erase(*identifier);
    }
  }

  std::vector<std::unique_ptr<FakeTimer>> timers_;
  double now_ = 0;
};

/// One delegate on the fake world and a plain interface resource.
class WorldTest : public ::testing::Test {
 protected:
  /// Makes the delegate for `arguments` (without the program's path); `authorization`
  /// replaces the world's, for a test of a real service.
  MorvaneAppDelegate& start(Lines arguments, AuthorizationService* authorization = nullptr) {
    arguments.insert(arguments.begin(), "/Applications/Morvane.app/Contents/MacOS/Morvane");
    platform_ = std::make_unique<Platform>(
        Platform{world, world, authorization ? *authorization : world, world, world, world, world,
                 world, world, world, arguments});
    delegate_ = std::make_unique<MorvaneAppDelegate>(*platform_);
    resource.connect(*delegate_);
    return *delegate_;
  }
  /// Runs `step`; the exit status it ended the run with, or none when it returned.
  template <typename Step>
  std::optional<int> exitStatusOf(Step&& step) {
    try {
      step();
    } catch (const ExitCalled& exit) {
      return exit.status;
    }
    return std::nullopt;
  }
  /// Launches with `arguments`; the exit status launch chose, or none when it went on.
  std::optional<int> launch(Lines arguments) {
    start(std::move(arguments));
    return exitStatusOf([this] { delegate_->applicationWillFinishLaunching(); });
  }

  MorvaneAppDelegate& delegate() { return *delegate_; }
  MorvaneAppDelegateTestPeer peer() { return MorvaneAppDelegateTestPeer(*delegate_); }

  FakeWorld world;
  InterfaceResource resource;

 private:
  std::unique_ptr<Platform> platform_;
  std::unique_ptr<MorvaneAppDelegate> delegate_;
};

}  // namespace testing
}  // namespace morvane
