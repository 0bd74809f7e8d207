#include <gtest/gtest.h>

#include "exec/utf8.h"
#include "platform/posix/file_manager_posix.h"
#include "platform/posix/process_launcher_posix.h"
#include "tests/delegate_fixture.h"
#include "tests/test_tools.h"

namespace morvane::testing {
namespace {

using namespace std::string_literals;

/// The delegate's runner over this machine's files and processes; every other service is a fake.
class RunCommandTest : public DelegateTest {
 protected:
  std::optional<std::string> run(
      const std::optional<std::string>& tool,
      const std::optional<std::vector<std::string>>& arguments = std::vector<std::string>{}) {
    return peer.runCommand(tool, arguments);
  }
  std::string tool(const std::string& body, mode_t mode = 0755) {
    return writeTool(folder, "tool" + std::to_string(++tools), body, mode);
  }

  TempFolder folder;
  const std::string marker = (folder.path() / "ran").string();
  int tools = 0;
  PosixFileManager realFiles;
  PosixProcessLauncher realProcesses;
  Platform realPlatform{realFiles,  realProcesses, authorization, propertyLists,
                        systemInfo, appleEvents,   application,   localizer,
                        log,        process,       {"Morvane"}};
  MorvaneAppDelegate runner{realPlatform};
  MorvaneAppDelegateTestPeer peer{runner};
};

TEST_F(RunCommandTest, RunsOnlyExecutableToolsAndGivesTheirOutputWhenItIsText) {
  EXPECT_EQ(run(std::nullopt), std::nullopt);
  EXPECT_EQ(run(tool("touch " + marker), std::nullopt), std::nullopt);
  EXPECT_EQ(run((folder.path() / "missing").string()), std::nullopt);
  EXPECT_EQ(run(tool("touch " + marker, 0644)), std::nullopt);
  EXPECT_EQ(run(folder.path().string()), std::nullopt);
  EXPECT_EQ(fileText(marker), "") << "a tool was started";

  // The result is the whole standard output, whatever the exit status, when it is text.
  EXPECT_EQ(run(tool("exit 0")), "");
  EXPECT_EQ(run(tool("echo only-errors >&2")), "");
  EXPECT_EQ(run(tool("printf 'caf\\303\\251'; exit 7")), "caf\xC3\xA9");
  EXPECT_EQ(run(tool("printf 'caf\\351'")), std::nullopt);
}

TEST(Utf8Test, AcceptsOnlyWellFormedSequences) {
  // clang-format off
  const std::pair<std::string, bool> cases[] = {
      {""s, true}, {"a\0z"s, true}, {"\xDF\xBF"s, true}, {"\xEF\xBF\xBF"s, true},
      {"\xF0\x9F\x98\x80"s, true}, {"\xF4\x8F\xBF\xBF"s, true}, {"\x80"s, false}, {"\xFF"s, false},
      // Overlong, surrogates, above U+10FFFF, truncated, a bad continuation byte.
      {"\xC0\x80"s, false}, {"\xC1\xBF"s, false}, {"\xE0\x9F\xBF"s, false},
      {"\xF0\x8F\xBF\xBF"s, false}, {"\xED\xA0\x80"s, false}, {"\xED\xBF\xBF"s, false},
      {"\xF4\x90\x80\x80"s, false},
      {"\xF5\x80\x80\x80"s, false}, {"a\xC3"s, false}, {"\xF0\x9F\x98"s, false},
      {"\xE2\x28\xA1"s, false}, {"\xF0\x9F\x98\xC0"s, false},
  };
  // clang-format on
  for (const auto& [bytes, valid] : cases) {
    EXPECT_EQ(isValidUtf8(bytes), valid) << ::testing::PrintToString(bytes);
  }
}

}  // namespace
}  // namespace morvane::testing
