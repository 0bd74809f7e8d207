#include "tests/fakes/fake_platform.h"

#include <algorithm>

namespace morvane::testing {

std::string joinCall(const std::string& tool, const std::vector<std::string>& arguments) {
  std::string line = tool;
  for (const std::string& argument : arguments) {
    line += " " + argument;
  }
  return line;
}

bool FakeFileManager::fileExists(const std::string& path, bool* isDirectory) const {
  asked.push_back(path);
  const bool directory = directories_.count(path) != 0;
  if (!directory && files_.count(path) == 0) {
    return false;
  }
  if (isDirectory != nullptr) {
    *isDirectory = directory;
  }
  return true;
}

bool FakeFileManager::isExecutableFile(const std::string& path) const {
  const auto file = files_.find(path);
  return file != files_.end() && file->second;
}

void FakeFileManager::addFile(const std::string& path, bool executable) {
  files_[path] = executable;
}

void FakeFileManager::addDirectory(const std::string& path) {
  directories_.insert(path);
}

void FakeFileManager::remove(const std::string& path) {
  files_.erase(path);
  directories_.erase(path);
}

std::optional<std::string> FakeProcessLauncher::launchAndReadOutput(
    const std::string& tool, const std::vector<std::string>& arguments) {
  ++launches;
  journal_.push_back("run " + joinCall(tool, arguments));
  return answer ? answer(tool, arguments) : std::nullopt;
}

OSStatus FakeAuthorizationService::create(AuthorizationFlags flags,
                                          AuthorizationRef* authorization) {
  ++creates;
  journal_.push_back("create " + std::to_string(flags));
  if (createStatus == 0) {
    *authorization = static_cast<AuthorizationRef>(100 + creates);
  }
  return createStatus;
}

OSStatus FakeAuthorizationService::copyRights(AuthorizationRef authorization,
                                              const AuthorizationRights& rights,
                                              AuthorizationFlags flags) {
  ++requests;
  requestedOn.push_back(authorization);
  std::string line = "copyRights";
  for (std::uint32_t i = 0; i < rights.count; ++i) {
    line += std::string(" ") + rights.items[i].name;
  }
  journal_.push_back(line + " " + std::to_string(flags));
  if (copyRightsStatuses.empty()) {
    return 0;
  }
  const OSStatus status = copyRightsStatuses.front();
  copyRightsStatuses.pop_front();
  return status;
}

namespace {

class FakePrivilegedTool final : public PrivilegedTool {
 public:
  FakePrivilegedTool(Journal& journal, std::string tool, std::function<void()> onEnd)
      : journal_(journal), tool_(std::move(tool)), onEnd_(std::move(onEnd)) {}
  void waitUntilExit() override {
    if (onEnd_) {
      onEnd_();
    }
    journal_.push_back("wait " + tool_);
  }

 private:
  Journal& journal_;
  std::string tool_;
  std::function<void()> onEnd_;
};

}  // namespace

OSStatus FakeAuthorizationService::executeWithPrivileges(AuthorizationRef /*authorization*/,
                                                         const char* tool, AuthorizationFlags,
                                                         const char* const* arguments,
                                                         std::unique_ptr<PrivilegedTool>* started) {
  std::vector<std::string> vector;
  for (const char* const* argument = arguments; *argument != nullptr; ++argument) {
    vector.emplace_back(*argument);
  }
  journal_.push_back("exec " + joinCall(tool, vector));
  auto& statuses = executeStatuses[tool];
  if (!statuses.empty()) {
    const OSStatus status = statuses.front();
    statuses.pop_front();
    if (status != 0) {
      return status;
    }
  }
  ++toolsStarted;
  std::function<void()> onEnd;
  if (effect) {
    onEnd = [this, path = std::string(tool), vector] { effect(path, vector); };
  }
  *started = std::make_unique<FakePrivilegedTool>(journal_, tool, std::move(onEnd));
  return 0;
}

OSStatus FakeAuthorizationService::free(AuthorizationRef authorization, AuthorizationFlags flags) {
  journal_.push_back("free " + std::to_string(authorization) + " " + std::to_string(flags));
  return 0;
}

std::optional<std::string> FakePropertyLists::textValue(const std::string& path,
                                                        const std::string& key) const {
  const auto file = files.find(path);
  if (file == files.end()) {
    return std::nullopt;
  }
  const auto value = file->second.find(key);
  if (value == file->second.end()) {
    return std::nullopt;
  }
  return value->second;
}

std::optional<std::string> FakePropertyLists::bundleVersion(const std::string& bundlePath) const {
  const auto version = bundleVersions.find(bundlePath);
  if (version == bundleVersions.end()) {
    return std::nullopt;
  }
  return version->second;
}

OSErr FakeSystemInfo::gestalt(OSType selector, std::int32_t* response) const {
  if (selector != gestaltSystemVersion) {
    return gestaltUndefSelectorErr;
  }
  if (status == noErr) {
    *response = version;
  }
  return status;
}

OSErr FakeAppleEvents::createDesc(DescType type, const void*, std::size_t size, AEDesc* result) {
  journal_.push_back("AECreateDesc " + std::to_string(type) + " " + std::to_string(size));
  if (createDescStatus == noErr) {
    *result = AEDesc{type, 1};
  }
  return createDescStatus;
}

OSErr FakeAppleEvents::createAppleEvent(AEEventClass eventClass, AEEventID eventID, const AEDesc&,
                                        AEReturnID, AETransactionID, AEDesc* result) {
  journal_.push_back("AECreateAppleEvent " + std::to_string(eventClass) + " " +
                     std::to_string(eventID));
  if (createEventStatus == noErr) {
    *result = AEDesc{eventClass, 2};
  }
  return createEventStatus;
}

OSErr FakeAppleEvents::send(const AEDesc&, AEDesc*, AESendMode mode, AESendPriority, std::int32_t) {
  journal_.push_back("AESend " + std::to_string(mode));
  return sendStatus;
}

OSErr FakeAppleEvents::disposeDesc(AEDesc* desc) {
  journal_.push_back("AEDisposeDesc " + std::to_string(desc->dataHandle));
  *desc = AEDesc{};
  return noErr;
}

class FakeApplication::FakeTimer final : public Timer {
 public:
  FakeTimer(double interval, double start, std::function<void(Timer*)> tick)
      : interval(interval), next(start + interval), tick(std::move(tick)) {}
  void invalidate() override { valid = false; }

  double interval;
  double next;
  std::function<void(Timer*)> tick;
  bool valid = true;
};

FakeApplication::FakeApplication() = default;
FakeApplication::~FakeApplication() = default;

Timer* FakeApplication::scheduledTimer(double interval, std::function<void(Timer*)> tick) {
  timers_.push_back(std::make_unique<FakeTimer>(interval, now_, std::move(tick)));
  return timers_.back().get();
}

int FakeApplication::run() {
  ++runs;
  return 0;
}

void FakeApplication::advance(double seconds) {
  const double until = now_ + seconds;
  for (;;) {
    FakeTimer* due = nullptr;
    for (const auto& timer : timers_) {
      if (timer->valid && timer->next <= until && (due == nullptr || timer->next < due->next)) {
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

std::size_t FakeApplication::liveTimers() const {
  return static_cast<std::size_t>(std::count_if(timers_.begin(), timers_.end(),
                                                [](const auto& timer) { return timer->valid; }));
}

std::string FakeLocalizer::localizedString(const std::string& key) const {
  lookedUp.push_back(key);
  const auto entry = table.find(key);
  return entry == table.end() ? key : entry->second;
}

}  // namespace morvane::testing
