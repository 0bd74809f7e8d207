#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/MorvaneAppDelegate.h"
#include "tests/fakes/fake_platform.h"
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
  Button*& restartBtn() { return d_.restartBtn; }

  void processArguments() { d_.processArguments(); }
  std::optional<std::string> runCommand(const std::optional<std::string>& tool,
                                        const std::optional<std::vector<std::string>>& arguments) {
    return d_.runCommand(tool, arguments);
  }
  bool executePrivilegesWithCommand(const char* tool, const char* const* args) {
    return d_.executePrivilegesWithCommand(tool, args);
  }
  std::optional<std::string> getInfoPlistWithKey(const std::string& key, const std::string& file) {
    return d_.getInfoPlistWithKey(key, file);
  }
  bool isKextLoadedInSystem(const std::string& path) { return d_.isKextLoadedInSystem(path); }
  int checkKextUpgrade(const std::string& path) { return d_.checkKextUpgrade(path); }
  bool unInstallKext(const std::string& path) { return d_.unInstallKext(path); }
  int installKext(const std::string& source, const std::string& dest) {
    return d_.installKext(source, dest);
  }
  bool processKextInstall(bool uninstall) { return d_.processKextInstall(uninstall); }
  bool filterNotInstallKext() { return d_.filterNotInstallKext(); }

 private:
  MorvaneAppDelegate& d_;
};

namespace testing {

/// One delegate over the fakes and a plain interface resource, started with a command line.
class DelegateTest : public ::testing::Test {
 protected:
  /// Makes the delegate for `arguments` (without the program's path).
  MorvaneAppDelegate& start(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "/Applications/Morvane.app/Contents/MacOS/Morvane");
    platform_ = std::make_unique<Platform>(Platform{files, processes, authorization, propertyLists,
                                                    systemInfo, appleEvents, application, localizer,
                                                    log, process, arguments});
    delegate_ = std::make_unique<MorvaneAppDelegate>(*platform_);
    resource.connect(*delegate_);
    peer_ = std::make_unique<MorvaneAppDelegateTestPeer>(*delegate_);
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
  std::optional<int> launch(std::vector<std::string> arguments) {
    start(std::move(arguments));
    return exitStatusOf([this] { delegate_->applicationWillFinishLaunching(); });
  }

  MorvaneAppDelegate& delegate() { return *delegate_; }
  MorvaneAppDelegateTestPeer& peer() { return *peer_; }

  Journal journal;
  FakeFileManager files;
  FakeProcessLauncher processes{journal};
  FakeAuthorizationService authorization{journal};
  FakePropertyLists propertyLists;
  FakeSystemInfo systemInfo;
  FakeAppleEvents appleEvents{journal};
  FakeApplication application;
  FakeLocalizer localizer;
  FakeLog log;
  FakeProcessExit process;
  InterfaceResource resource;

 private:
  std::unique_ptr<Platform> platform_;
  std::unique_ptr<MorvaneAppDelegate> delegate_;
  std::unique_ptr<MorvaneAppDelegateTestPeer> peer_;
};

}  // namespace testing
}  // namespace morvane
