#include <gtest/gtest.h>

#include "tests/delegate_fixture.h"
#include "tests/usage_text.h"

namespace morvane::testing {
namespace {

class ArgumentsTest : public DelegateTest {
 protected:
  /// Scans `arguments`; the exit status when the scan ended the run.
  std::optional<int> scan(std::vector<std::string> arguments) {
    start(std::move(arguments));
    return exitStatusOf([this] { peer().processArguments(); });
  }
};

TEST_F(ArgumentsTest, HelpPrintsTheUsageTextAndEndsWithZeroWhereverItStands) {
  for (const std::vector<std::string>& arguments : {std::vector<std::string>{"-h"},
                                                    {"-help", "/a.kext"},
                                                    {"-u", "/missing.kext", "-hx", "-f"}}) {
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(scan(arguments), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), kUsage);
    EXPECT_TRUE(files.asked.empty());
  }
  // The scan stops at -h: nothing after it is read.
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(scan({"/a.kext", "-h", "-u", "/b.kext"}), 0);
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(peer().pathArray(), std::vector<std::string>{"/a.kext"});
  EXPECT_FALSE(peer().uninstall());
}

TEST_F(ArgumentsTest, OnlyTheSecondCharacterOfAnOptionCounts) {
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(
      scan({"-force", "-uninstall", "-nvram", "-inst", "-load", "-default", "-H", "-x", "/a.kext"}),
      std::nullopt);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_TRUE(peer().forceInstall());
  EXPECT_TRUE(peer().uninstall());
  EXPECT_TRUE(peer().nvram());
  EXPECT_TRUE(peer().preInstall());
  EXPECT_TRUE(peer().loadKext());
  EXPECT_TRUE(peer().defaultInstalled());
  EXPECT_EQ(peer().pathArray(), std::vector<std::string>{"/a.kext"});

  scan({"/a.kext", "-i", "/b.kext", "/a.kext", "-d"});
  EXPECT_EQ(peer().pathArray(), (std::vector<std::string>{"/a.kext", "/b.kext", "/a.kext"}));
  EXPECT_FALSE(peer().forceInstall());
  EXPECT_TRUE(peer().defaultInstalled());
}

TEST_F(ArgumentsTest, TitleAndMarkerTakeTheNextArgumentUnlessItIsAnOption) {
  struct Case {
    std::vector<std::string> arguments;
    std::optional<std::string> title;
    std::optional<std::string> marker;
    std::vector<std::string> paths;
  };
  const Case cases[] = {
      {{"-t", "Title"}, "Title", std::nullopt, {}},
      {{"-tTitle", "/a.kext"}, "/a.kext", std::nullopt, {}},
      {{"-t", "-u", "/a.kext"}, std::nullopt, std::nullopt, {"/a.kext"}},
      {{"-r", "-t", "X"}, "X", std::nullopt, {}},
      {{"-t", "-r", "X"}, std::nullopt, "X", {}},
      {{"-t", "A", "-t", "B", "/a.kext"}, "B", std::nullopt, {"/a.kext"}},
      {{"-r", "/m1", "-r", "/m2"}, std::nullopt, "/m2", {}},
      {{"/a.kext", "-r"}, std::nullopt, std::nullopt, {"/a.kext"}},
      {{"-t", "/a.kext", "/b.kext", "-r", "/m"}, "/a.kext", "/m", {"/b.kext"}},
      // The value must stand right after its option: a path in between takes the index.
      {{"-t", "/a.kext", "-r", "/b.kext", "/c.kext"}, "/a.kext", "/b.kext", {"/c.kext"}},
  };
  for (const Case& c : cases) {
    scan(c.arguments);
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    EXPECT_EQ(peer().windowTitle(), c.title);
    EXPECT_EQ(peer().rebootFile(), c.marker);
    EXPECT_EQ(peer().pathArray(), c.paths);
  }
}

TEST_F(ArgumentsTest, EachTitleReachesTheWindowInTurn) {
  scan({"-t", "A", "-t", "B"});
  EXPECT_EQ(resource.window.title(), "B");
  scan({"/a.kext"});
  EXPECT_EQ(resource.window.title(), "B") << "without -t the window keeps its title";
}

TEST_F(ArgumentsTest, EmptyArgumentIsAPathAndALoneDashIsIgnored) {
  EXPECT_EQ(scan({"", "-", "-t", "-", "/a.kext"}), std::nullopt);
  EXPECT_EQ(peer().pathArray(), (std::vector<std::string>{"", "/a.kext"}));
  EXPECT_EQ(peer().windowTitle(), std::nullopt);
  EXPECT_FALSE(peer().forceInstall() || peer().uninstall() || peer().preInstall());

  // An empty title is a title.
  scan({"-t", ""});
  EXPECT_EQ(peer().windowTitle(), "");
  EXPECT_TRUE(peer().pathArray().empty());
}

TEST_F(ArgumentsTest, UsageTextIsTheTenLines) {
  start({});
  ::testing::internal::CaptureStdout();
  delegate().printHelp();
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), kUsage);
}

}  // namespace
}  // namespace morvane::testing
