#pragma once

// One small simulated machine under the delegate: its files and bundles, the tools' state, the
// calls the program made, and the main loop with a manual clock. A scenario sets the machine
// up, launches a command line with an answer to the prompt, and reads what the tools were asked
// (`calls`), the log and the status. Privileged tools change the machine as the real ones do;
// failures come from the same data. No test framework is needed, so the fuzz targets use it too.

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/MorvaneAppDelegate.h"
#include "platform/platform.h"
#include "ui/interface_resource.h"

namespace morvane::testing {

using Lines = std::vector<std::string>;

/// What the simulated exit throws, so that no code after an end of run is reached.
struct ExitCalled {
  int status;
};

inline std::string entry(const std::string& name) {
  return std::string(kExtensionsFolder) + "/" + name;
}

inline std::string joined(std::string line, const Lines& words) {
  for (const std::string& word : words) {
    line += " " + word;
  }
  return line;
}

/// How the prompt is answered: a button, closing the window, or the clock running out.
enum class Answer { kNone, kRestartNow, kLater, kOk, kClose, kClockRunsOut };

class Machine final : public FileManager,
                      public ProcessLauncher,
                      public Privileges,
                      public PrivilegedWay,
                      public PropertyLists,
                      public SystemInfo,
                      public Restarter,
                      public Application,
                      public Localizer,
                      public Log,
                      public ProcessExit {
 public:
  enum class Kind { kFile, kFolder, kTool };

  /// A bundle folder at `path`; with a version or an identifier, its Info.plist holds them.
  void offer(const std::string& path, std::optional<std::string> version,
             std::optional<std::string> identifier = std::nullopt) {
    files[path] = Kind::kFolder;
    const std::string info = path + "/Contents/Info.plist";
    for (auto [key, value] :
         {std::pair{"CFBundleVersion", version}, std::pair{"CFBundleIdentifier", identifier}}) {
      if (value) {
        files[info] = Kind::kFile;
        plists[info][key] = *value;
      }
    }
  }

  /// Launches with `arguments` and, when launch goes on, answers the prompt; the status the
  /// run ended with, or none while the prompt still waits.
  std::optional<int> launch(Lines arguments, Answer answer = Answer::kNone) {
    arguments.insert(arguments.begin(), "/Applications/Morvane.app/Contents/MacOS/Morvane");
    platform_ = std::make_unique<Platform>(
        Platform{*this, *this, *this, *this, *this, *this, *this, *this, *this, *this, arguments});
    delegate_ = std::make_unique<MorvaneAppDelegate>(*platform_);
    resource.connect(*delegate_);
    return endOf([&] {
      delegate_->applicationWillFinishLaunching();
      delegate_->applicationDidFinishLaunching();
      respond(answer);
    });
  }
  /// Answers the prompt that still waits.
  std::optional<int> answer(Answer answer) {
    return endOf([&] { respond(answer); });
  }
  MorvaneAppDelegate& delegate() { return *delegate_; }

  /// The privileged tools started, in order, as "TOOL ARG...".
  Lines tools() const {
    Lines started;
    for (const std::string& call : calls) {
      if (call.starts_with("exec ")) {
        started.push_back(call.substr(5));
      }
    }
    return started;
  }

  /// Moves the loop's clock on by `seconds`, firing the once-a-second ticks that fall due.
  void advance(double seconds) {
    for (const double until = now_ + seconds; now_ + 1 <= until;) {
      now_ += 1;
      for (const auto& timer : timers_) {
        if (timer->valid) {
          timer->tick(timer.get());
        }
      }
    }
  }

  // The machine: 10.6.8 on x86_64, the extensions folder and the tools run without rights.
  std::map<std::string, Kind> files = {{kExtensionsFolder, Kind::kFolder},
                                       {"/usr/sbin/kextstat", Kind::kTool},
                                       {"/usr/sbin/nvram", Kind::kTool},
                                       {"/usr/bin/uname", Kind::kTool}};
  std::map<std::string, std::string> links;  // path -> target
  std::map<std::string, uid_t> owners;       // path -> owner, where it is not root
  std::map<std::string, std::map<std::string, std::string>> plists;  // file -> key -> text
  std::map<std::string, std::string> loaded;                         // identifier -> version
  std::optional<std::string> bootArgs = "";         // none: the variable cannot be read
  bool bootArgsStick = true;                        // false: nvram's writes are lost
  std::optional<std::string> machine = "x86_64\n";  // none: uname cannot start
  std::optional<std::int32_t> version = 0x1068;     // none: the version cannot be read
  std::map<std::string, std::string> translations;
  std::optional<std::string> workingFolder = "/Users/Shared/Kit";

  /// The failures to come.
  struct Faults {
    bool noWay = false;                         // the machine offers no way to the right
    std::deque<PrivilegeOutcome> answers = {};  // to the next requests for the right; then granted
    std::set<std::string> cannotStart = {};     // "TOOL ARG..." runs that cannot start
    std::map<std::string, int> statuses = {};   // "TOOL ARG..." runs that fail, and their status
    std::string askedToEndDuring = "";          // the run during which a signal arrives
    bool restartRefused = false;                // the login manager is not there
    bool canAsk = true;                         // false: neither a display nor a terminal
    bool lockHeld = false;                      // another run holds the extensions folder
    bool lockFreed = true;                      // ... and lets it go in time
  } faults;
  double toolSeconds = 0;  // how long each privileged tool takes on the clock

  // What happened: "run TOOL ARGS", "right", "exec TOOL ARGS", "restart"; the log lines, and
  // what the caller was told on standard error.
  Lines calls;
  Lines log;
  Lines told;
  InterfaceResource resource;

  bool fileExists(const std::string& path, bool* isDirectory = nullptr) const override {
    const std::string at = resolved(path);
    if (files.contains(at) && isDirectory != nullptr) {
      *isDirectory = files.at(at) == Kind::kFolder;
    }
    return files.contains(at);
  }
  bool isExecutableFile(const std::string& path) const override {
    return files.contains(path) && files.at(path) == Kind::kTool;
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
  std::optional<std::string> currentFolder() const override { return workingFolder; }
  std::unique_ptr<FolderLock> lockFolder(const std::string& folder, std::chrono::seconds,
                                         const std::function<void()>& waiting) override {
    calls.push_back("lock " + folder);
    if (faults.lockHeld) {
      waiting();
    }
    return faults.lockFreed ? std::make_unique<FolderLock>() : nullptr;
  }
  std::optional<std::string> launchAndReadOutput(const std::string& tool,
                                                 const Lines& arguments) override {
    calls.push_back(joined("run " + tool, arguments));
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
  PrivilegedWay* chooseWay() override { return faults.noWay ? nullptr : this; }
  bool interrupted() const override { return askedToEnd_; }
  PrivilegeOutcome obtainRight() override {
    calls.push_back("right");
    const PrivilegeOutcome outcome =
        faults.answers.empty() ? PrivilegeOutcome::kGranted : faults.answers.front();
    faults.answers.erase(faults.answers.begin(),
                         faults.answers.begin() + (faults.answers.empty() ? 0 : 1));
    return outcome;
  }
  PrivilegedRun runTool(const char* tool, const char* const* arguments) override {
    advance(toolSeconds);
    Lines vector;
    for (const char* const* argument = arguments; *argument != nullptr; ++argument) {
      vector.emplace_back(*argument);
    }
    const std::string call = joined(tool, vector);
    calls.push_back("exec " + call);
    if (faults.cannotStart.contains(call)) {
      return {PrivilegeOutcome::kToolNotStarted};
    }
    const int status = faults.statuses.contains(call) ? faults.statuses.at(call) : 0;
    if (status == 0) {
      apply(tool, vector);
    }
    askedToEnd_ = askedToEnd_ || call == faults.askedToEndDuring;
    return {PrivilegeOutcome::kGranted, status};
  }
  std::optional<std::string> textValue(const std::string& path,
                                       const std::string& key) const override {
    const auto plist = plists.find(path);
    return plist == plists.end() || !plist->second.contains(key)
               ? std::nullopt
               : std::optional(plist->second.at(key));
  }
  std::optional<std::string> bundleVersion(const std::string& bundlePath) const override {
    return textValue(bare(bundlePath) + "/Contents/Info.plist", "CFBundleVersion");
  }
  std::optional<std::int32_t> systemVersion() const override { return version; }
  bool requestRestart() override {
    calls.push_back("restart");
    return !faults.restartRefused;
  }
  std::string localizedString(const std::string& key) const override {
    return translations.contains(key) ? translations.at(key) : key;
  }
  void write(const std::string& message) override { log.push_back(message); }
  void tell(const std::string& line) override { told.push_back(line); }
  Timer* scheduledTimer(double, std::function<void(Timer*)> tick) override {
    timers_.push_back(std::make_unique<FakeTimer>(std::move(tick)));
    return timers_.back().get();
  }
  bool bindWindow(Window&, std::string* why) override {
    *why = "no display, no terminal";
    return faults.canAsk;
  }
  int run() override { return 0; }

 protected:
  void endProcess(int status) override { throw ExitCalled{status}; }

 private:
  /// A once-a-second timer, the only kind the prompt schedules.
  struct FakeTimer final : Timer {
    explicit FakeTimer(std::function<void(Timer*)> tick) : tick(std::move(tick)) {}
    void invalidate() override { valid = false; }
    std::function<void(Timer*)> tick;
    bool valid = true;
  };

  template <typename Step>
  static std::optional<int> endOf(Step&& step) {
    try {
      step();
    } catch (const ExitCalled& exit) {
      return exit.status;
    }
    return std::nullopt;
  }
  void respond(Answer answer) {
    const Button* buttons[] = {nullptr, &resource.restartBtn, &resource.cancelBtn, &resource.okBtn};
    if (answer == Answer::kClose) {
      resource.window.performClose();
    } else if (answer == Answer::kClockRunsOut) {
      advance(60);
    } else if (answer != Answer::kNone) {
      buttons[static_cast<int>(answer)]->performClick();
    }
  }
  /// `path` without trailing slashes, which name the same entry.
  static std::string bare(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
      path.pop_back();
    }
    return path;
  }
  std::string resolved(const std::string& path) const {
    const auto link = links.find(bare(path));
    return link == links.end() ? bare(path) : resolved(link->second);
  }
  void apply(const std::string& tool, const Lines& arguments) {
    const std::string& last = arguments.back();
    const auto identifier = textValue(last + "/Contents/Info.plist", "CFBundleIdentifier");
    const auto inside = [&](const auto& file) {
      return file.first == last || file.first.starts_with(last + "/");
    };
    if (tool == "/bin/rm") {
      std::erase_if(files, inside);
      std::erase_if(plists, inside);
      links.erase(last);  // the link itself, never what it points to
    } else if (tool == "/bin/cp") {
      files[last] = Kind::kFolder;
      if (plists.contains(arguments[1] + "/Contents/Info.plist")) {
        plists[last + "/Contents/Info.plist"] = plists[arguments[1] + "/Contents/Info.plist"];
      }
    } else if (tool == "/usr/bin/touch" || tool == "--mark") {
      files.try_emplace(last, Kind::kFile);
    } else if (tool == "/usr/sbin/nvram" && bootArgsStick) {
      bootArgs = last.substr(std::string("boot-args=").size());
    } else if (tool == "/sbin/kextload" && identifier) {
      loaded[*identifier] = bundleVersion(last).value_or("");
    } else if (tool == "/sbin/kextunload" && identifier) {
      loaded.erase(*identifier);
    }
  }

  std::unique_ptr<Platform> platform_;
  std::unique_ptr<MorvaneAppDelegate> delegate_;
  std::vector<std::unique_ptr<FakeTimer>> timers_;
  double now_ = 0;
  bool askedToEnd_ = false;
};

}  // namespace morvane::testing
