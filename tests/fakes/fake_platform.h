#pragma once

// Fakes of every platform service. Each records what it was asked, in one journal shared by
// all of them so that a test can check the order of tools across runners, and answers from
// data the test sets.

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace morvane::testing {

/// What the fake exit throws so that no code after an end of run is reached.
struct ExitCalled {
  int status;
};

using Journal = std::vector<std::string>;

std::string joinCall(const std::string& tool, const std::vector<std::string>& arguments);

class FakeFileManager final : public FileManager {
 public:
  bool fileExists(const std::string& path, bool* isDirectory = nullptr) const override;
  bool isExecutableFile(const std::string& path) const override;

  void addFile(const std::string& path, bool executable = false);
  void addDirectory(const std::string& path);
  void remove(const std::string& path);

  mutable std::vector<std::string> asked;

 private:
  std::map<std::string, bool> files_;  // path -> executable
  std::set<std::string> directories_;
};

/// Answers each tool from `answer`; by default a tool cannot be started.
class FakeProcessLauncher final : public ProcessLauncher {
 public:
  explicit FakeProcessLauncher(Journal& journal) : journal_(journal) {}
  std::optional<std::string> launchAndReadOutput(
      const std::string& tool, const std::vector<std::string>& arguments) override;

  std::function<std::optional<std::string>(const std::string& tool,
                                           const std::vector<std::string>& arguments)>
      answer;
  int launches = 0;

 private:
  Journal& journal_;
};

/// Grants everything unless scripted otherwise. Journal lines: "create", "copyRights <right>
/// <flags>", "exec <tool> <args...>", "wait <tool>", "free <flags>".
class FakeAuthorizationService final : public AuthorizationService {
 public:
  explicit FakeAuthorizationService(Journal& journal) : journal_(journal) {}

  OSStatus create(AuthorizationFlags flags, AuthorizationRef* authorization) override;
  OSStatus copyRights(AuthorizationRef authorization, const AuthorizationRights& rights,
                      AuthorizationFlags flags) override;
  OSStatus executeWithPrivileges(AuthorizationRef authorization, const char* tool,
                                 AuthorizationFlags flags, const char* const* arguments,
                                 std::unique_ptr<PrivilegedTool>* started) override;
  OSStatus free(AuthorizationRef authorization, AuthorizationFlags flags) override;

  OSStatus createStatus = 0;
  /// Statuses of the next requests, first first; once used up, requests are granted.
  std::deque<OSStatus> copyRightsStatuses;
  /// Statuses of the tool starts, keyed by tool path; a tool not listed starts.
  std::map<std::string, std::deque<OSStatus>> executeStatuses;
  /// Runs when a tool "ends", before the wait returns: the tool's effect on the fake world.
  std::function<void(const std::string& tool, const std::vector<std::string>& arguments)> effect;

  int creates = 0;
  int requests = 0;
  int toolsStarted = 0;
  std::vector<AuthorizationRef> requestedOn;

 private:
  Journal& journal_;
};

class FakePropertyLists final : public PropertyLists {
 public:
  std::optional<std::string> textValue(const std::string& path,
                                       const std::string& key) const override;
  std::optional<std::string> bundleVersion(const std::string& bundlePath) const override;

  std::map<std::string, std::map<std::string, std::string>> files;
  std::map<std::string, std::string> bundleVersions;
};

class FakeSystemInfo final : public SystemInfo {
 public:
  OSErr gestalt(OSType selector, std::int32_t* response) const override;
  OSErr status = noErr;
  std::int32_t version = 0x1068;
};

class FakeAppleEvents final : public AppleEvents {
 public:
  explicit FakeAppleEvents(Journal& journal) : journal_(journal) {}
  OSErr createDesc(DescType type, const void* data, std::size_t size, AEDesc* result) override;
  OSErr createAppleEvent(AEEventClass eventClass, AEEventID eventID, const AEDesc& target,
                         AEReturnID returnID, AETransactionID transactionID,
                         AEDesc* result) override;
  OSErr send(const AEDesc& event, AEDesc* reply, AESendMode mode, AESendPriority priority,
             std::int32_t timeout) override;
  OSErr disposeDesc(AEDesc* desc) override;

  OSErr createDescStatus = noErr;
  OSErr createEventStatus = noErr;
  OSErr sendStatus = noErr;

 private:
  Journal& journal_;
};

/// A loop with a manual clock: `advance` fires the due ticks in order.
class FakeApplication final : public Application {
 public:
  FakeApplication();
  ~FakeApplication() override;
  Timer* scheduledTimer(double interval, std::function<void(Timer*)> tick) override;
  /// Binds nothing; answers `canShow`.
  bool bindWindow(Window&) override { return canShow; }
  int run() override;
  void advance(double seconds);

  bool canShow = true;
  int runs = 0;
  std::size_t liveTimers() const;

 private:
  class FakeTimer;
  std::vector<std::unique_ptr<FakeTimer>> timers_;
  double now_ = 0;
};

class FakeLocalizer final : public Localizer {
 public:
  std::string localizedString(const std::string& key) const override;
  std::map<std::string, std::string> table;
  mutable std::vector<std::string> lookedUp;
};

class FakeLog final : public Log {
 public:
  void write(const std::string& message) override { lines.push_back(message); }
  std::vector<std::string> lines;
};

class FakeProcessExit final : public ProcessExit {
 protected:
  void endProcess(int status) override { throw ExitCalled{status}; }
};

}  // namespace morvane::testing
