#include <gtest/gtest.h>

#include "tests/delegate_fixture.h"
#include "tests/usage_text.h"

namespace morvane::testing {
namespace {

constexpr char kAudioNote[] =
    "Note that you won't hear audio during your remote sessions unless this Mac has been "
    "restarted. You can restart later at your convenience.";

class LaunchTest : public DelegateTest {
 protected:
  void SetUp() override {
    files.addDirectory("/k/a.kext");
    files.addDirectory("/k/b.kext");
    files.addFile("/k/c.kext");
  }

  /// Nothing outside the process was started, asked or shown.
  void expectNothingStarted() {
    EXPECT_EQ(processes.launches, 0);
    EXPECT_EQ(authorization.creates + authorization.requests + authorization.toolsStarted, 0);
    EXPECT_EQ(application.runs, 0);
    EXPECT_FALSE(resource.window.isVisible());
  }
};

TEST_F(LaunchTest, WithoutAPathTheUsageTextEndsTheRunWith255) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{}, {"-i", "-d"}, {"-t", "Title", "-r", "/m", "-x"}}) {
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(launch(arguments), kExitFailure);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), kUsage);
    expectNothingStarted();
  }
}

TEST_F(LaunchTest, HelpEndsWithZeroWithoutCheckingThePaths) {
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(launch({"/k/a.kext", "/missing.kext", "-h"}), kExitHelp);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), kUsage);
  EXPECT_TRUE(files.asked.empty());
  expectNothingStarted();
}

TEST_F(LaunchTest, AMissingPathEndsTheRunSilentlyAt255) {
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(launch({"/k/a.kext", "/missing.kext", "/k/b.kext"}), kExitFailure);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_TRUE(log.lines.empty());
  EXPECT_EQ(files.asked, (std::vector<std::string>{"/k/a.kext", "/missing.kext"}));
  expectNothingStarted();

  // The same for an uninstall, and for an empty argument, which names nothing.
  EXPECT_EQ(launch({"-u", "/k/a.kext", "/missing.kext"}), kExitFailure);
  EXPECT_EQ(launch({"-f", ""}), kExitFailure);
  expectNothingStarted();
}

TEST_F(LaunchTest, UninstallAndForceSkipTheFilter) {
  // A file and a folder both count as existing.
  EXPECT_EQ(launch({"-u", "/k/a.kext", "/k/c.kext"}), std::nullopt);
  EXPECT_EQ(launch({"-f", "/k/a.kext", "/k/c.kext"}), std::nullopt);
  EXPECT_EQ(launch({"-u", "-f", "/k/a.kext"}), std::nullopt);
  expectNothingStarted();
}

TEST_F(LaunchTest, DefaultMarkerOnlyOnSystemsOlderThanLionOrUnknown) {
  struct Case {
    OSErr status;
    std::int32_t version;
    std::vector<std::string> arguments;
    std::optional<std::string> marker;
  };
  const std::string fallback = "/Users/Shared/.quorix_install_reboot";
  const Case cases[] = {
      {noErr, 0x1068, {"-f", "/k/a.kext"}, fallback},
      {noErr, 0x106F, {"-f", "/k/a.kext"}, fallback},
      {noErr, 0x1070, {"-f", "/k/a.kext"}, std::nullopt},
      {noErr, 0x1099, {"-f", "/k/a.kext"}, std::nullopt},
      {noErr, -1, {"-f", "/k/a.kext"}, fallback},
      {fnfErr, 0x1099, {"-f", "/k/a.kext"}, fallback},
      {noErr, 0x1068, {"-r", "/tmp/marker", "-f", "/k/a.kext"}, "/tmp/marker"},
      {fnfErr, 0, {"-r", "/tmp/marker", "-f", "/k/a.kext"}, "/tmp/marker"},
  };
  for (const Case& c : cases) {
    systemInfo.status = c.status;
    systemInfo.version = c.version;
    EXPECT_EQ(launch(c.arguments), std::nullopt);
    EXPECT_EQ(peer().rebootFile(), c.marker) << std::hex << c.version << " status " << c.status;
  }
}

TEST_F(LaunchTest, NormalLayoutIsLocalizedAndAtModalPanelLevel) {
  localizer.table = {{"Restart Now", "Jetzt neu starten"}, {"OK", "Gut"}};
  ASSERT_EQ(launch({"-f", "/k/a.kext"}), std::nullopt);
  EXPECT_EQ(resource.window.level(), 8);
  EXPECT_EQ(resource.okBtn.title(), "Gut");
  EXPECT_EQ(resource.restartBtn.title(), "Jetzt neu starten");
  EXPECT_EQ(resource.cancelBtn.title(), "Restart Later");
  EXPECT_EQ(resource.textTitle.stringValue(), "The installation is completed.");
  EXPECT_EQ(resource.textField.stringValue(),
            "Restart your computer for the settings to take effect.");
  EXPECT_FALSE(resource.layout1.isHidden());
  EXPECT_TRUE(resource.layout2.isHidden());
  EXPECT_TRUE(resource.countdownField.isHidden());
  EXPECT_FALSE(resource.restartBtn.isHidden());
  EXPECT_EQ(resource.window.title(), "Morvane");
}

TEST_F(LaunchTest, PreInstallLayoutStaysEnglishAndMovesContinueIntoRestartsPlace) {
  localizer.table = {{"Restart Later", "Später"}, {"The installation is completed.", "Fertig."}};
  const Rect cancelFrame = resource.cancelBtn.frame();
  ASSERT_EQ(launch({"-i", "-t", "Installer", "-f", "/k/a.kext"}), std::nullopt);
  EXPECT_EQ(resource.textTitle.stringValue(), "Installation is complete.");
  EXPECT_EQ(resource.textField.stringValue(), kAudioNote);
  EXPECT_TRUE(resource.restartBtn.isHidden());
  EXPECT_EQ(resource.cancelBtn.title(), "Continue");
  EXPECT_EQ(resource.cancelBtn.frame().origin, resource.restartBtn.frame().origin);
  EXPECT_EQ(resource.cancelBtn.frame().size, cancelFrame.size);
  EXPECT_EQ(resource.window.title(), "Installer");
  EXPECT_FALSE(resource.okBtn.isHidden());
  EXPECT_FALSE(resource.layout1.isHidden());
  EXPECT_TRUE(resource.layout2.isHidden());
  for (const std::string& key : localizer.lookedUp) {
    EXPECT_NE(key, "Continue");
    EXPECT_NE(key, "Installation is complete.");
    EXPECT_NE(key, kAudioNote);
  }
  EXPECT_EQ(localizer.lookedUp.size(), 5u);
}

TEST_F(LaunchTest, PreInstallWithoutARestartButtonMovesContinueToTheOrigin) {
  start({"-i", "-f", "/k/a.kext"});
  peer().restartBtn() = nullptr;
  EXPECT_EQ(exitStatusOf([this] { delegate().applicationWillFinishLaunching(); }), std::nullopt);
  EXPECT_EQ(resource.cancelBtn.frame().origin, (Point{0, 0}));
  EXPECT_EQ(resource.cancelBtn.title(), "Continue");
}

TEST_F(LaunchTest, TerminationReleasesTheStringsAndFreesTheCredential) {
  ASSERT_EQ(launch({"-t", "T", "-r", "/m", "-f", "/k/a.kext"}), std::nullopt);
  resource.window.orderFront();
  peer().authorizationRef() = 7;
  delegate().applicationWillTerminate();
  EXPECT_FALSE(resource.window.isVisible());
  EXPECT_EQ(peer().windowTitle(), std::nullopt);
  EXPECT_EQ(peer().rebootFile(), std::nullopt);
  EXPECT_EQ(journal, std::vector<std::string>{"free 7 0"});

  // Nothing to free the second time, and a hidden window stays as it is.
  journal.clear();
  delegate().applicationWillTerminate();
  EXPECT_TRUE(journal.empty());
}

}  // namespace
}  // namespace morvane::testing
