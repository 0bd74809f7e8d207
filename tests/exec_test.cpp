#include <gtest/gtest.h>

#include "exec/utf8.h"
#include "platform/file_manager_posix.h"
#include "platform/process_launcher_posix.h"
#include "tests/delegate_fixture.h"
#include "tests/test_tools.h"

namespace morvane::testing {
namespace {

using namespace std::string_literals;

/// The delegate over this machine's files and processes; every other service is a fake.
class RunCommandTest : public DelegateTest {
 protected:
  std::optional<std::string> run(
      const std::optional<std::string>& tool,
      const std::optional<std::vector<std::string>>& arguments = std::vector<std::string>{}) {
    return peer.runCommand(tool, arguments);
  }
  std::string tool(const std::string& name, const std::string& body, mode_t mode = 0755) {
    return writeTool(folder, name, body, mode);
  }

  TempFolder folder;
  const std::string marker = (folder.path() / "ran").string();
  PosixFileManager realFiles;
  PosixProcessLauncher realProcesses;
  Platform realPlatform{realFiles,  realProcesses, authorization, propertyLists,
                        systemInfo, appleEvents,   application,   localizer,
                        log,        process,       {"Morvane"}};
  MorvaneAppDelegate runner{realPlatform};
  MorvaneAppDelegateTestPeer peer{runner};
};

TEST_F(RunCommandTest, NothingStartsWithoutAnExecutableToolAndAnArgumentList) {
  const std::string touches = tool("touches", "touch " + marker);
  EXPECT_EQ(run(std::nullopt), std::nullopt);
  EXPECT_EQ(run(touches, std::nullopt), std::nullopt);
  EXPECT_EQ(run((folder.path() / "missing").string()), std::nullopt);
  EXPECT_EQ(run(tool("plain", "touch " + marker, 0644)), std::nullopt);
  EXPECT_EQ(run(folder.path().string()), std::nullopt);
  EXPECT_EQ(fileText(marker), "") << "a tool was started";
  EXPECT_TRUE(log.lines.empty());
}

TEST_F(RunCommandTest, TheResultIsTheWholeStandardOutputAsText) {
  EXPECT_EQ(run(tool("silent", "exit 0")), "");
  EXPECT_EQ(run(tool("stderr", "echo only-errors >&2")), "");
  EXPECT_EQ(run(tool("fails", "echo partial; exit 7")), "partial\n");
  EXPECT_EQ(run(tool("utf8", "printf 'caf\\303\\251 \\360\\237\\222\\276'")),
            "caf\xC3\xA9 \xF0\x9F\x92\xBE");
  EXPECT_EQ(run(tool("latin1", "printf 'caf\\351'")), std::nullopt);
  // A sequence cut at the very end of the output is not text either.
  EXPECT_EQ(run(tool("cut", "printf 'ok\\342\\202'")), std::nullopt);
}

TEST(Utf8Test, AcceptsOnlyWellFormedSequences) {
  for (const std::string& valid :
       {""s, "plain"s, "\0"s, "\x7F"s, "\xC2\x80"s, "\xDF\xBF"s, "\xE0\xA0\x80"s, "\xED\x9F\xBF"s,
        "\xEE\x80\x80"s, "\xEF\xBF\xBF"s, "\xF0\x90\x80\x80"s, "\xF4\x8F\xBF\xBF"s,
        "a\xC3\xA9z\xF0\x9F\x98\x80"s}) {
    EXPECT_TRUE(isValidUtf8(valid)) << ::testing::PrintToString(valid);
  }
  for (const std::string& invalid : {"\x80"s,
                                     "\xBF"s,  // continuation without a lead
                                     "\xC0\x80"s,
                                     "\xC1\xBF"s,  // overlong two-byte
                                     "\xE0\x80\x80"s,
                                     "\xE0\x9F\xBF"s,  // overlong three-byte
                                     "\xF0\x80\x80\x80"s,
                                     "\xF0\x8F\xBF\xBF"s,  // overlong four-byte
                                     "\xED\xA0\x80"s,
                                     "\xED\xBF\xBF"s,  // surrogates
                                     "\xF4\x90\x80\x80"s,
                                     "\xF5\x80\x80\x80"s,  // above U+10FFFF
                                     "\xF8\x88\x80\x80\x80"s,
                                     "\xFE"s,
                                     "\xFF"s,
                                     "\xC3"s,
                                     "\xE2\x82"s,
                                     "\xF0\x9F\x98"s,
                                     "a\xC3"s,  // cut short
                                     "\xC3\x28"s,
                                     "\xE2\x28\xA1"s,
                                     "\xE2\x82\x28"s,
                                     "\xF0\x9F\x98\x28"s,
                                     "\xF0\x9F\x98\xC0"s}) {
    EXPECT_FALSE(isValidUtf8(invalid)) << ::testing::PrintToString(invalid);
  }
}

}  // namespace
}  // namespace morvane::testing
