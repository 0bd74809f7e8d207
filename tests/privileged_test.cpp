#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "platform/posix/authorization_sudo.h"
#include "tests/fakes/fake_world.h"
#include "tests/temp_folder.h"

namespace morvane::testing {
namespace {

using Args = std::vector<const char*>;

/// The delegate over the sudo service, with a stand-in sudo that records its arguments, answers
/// `-v` with the exit status in `verdict` ("int": ends by SIGINT) and runs the tool after `-n --`.
class SudoTest : public WorldTest {
 protected:
  SudoTest() {
    start({}, &sudo);
    writeTool(folder, "sudo",
              recordArguments(sudoRecord) + "\nread v < '" + verdict("0") + "'\n" +
                  "[ \"$1\" = -v ] && { [ \"$v\" = int ] && kill -INT $$; exit \"$v\"; }\n"
                  "shift 2; exec \"$@\"");
  }
  std::string verdict(const std::string& text) { return folder.file("verdict", text + "\n"); }
  bool run(const std::string& tool, const Args& arguments = {nullptr}) {
    return peer().executePrivilegesWithCommand(tool.c_str(), arguments.data());
  }

  TempFolder folder;
  const std::string sudoRecord = (folder.path() / "sudo-calls").string();
  const std::string toolRecord = (folder.path() / "tool-calls").string();
  SudoAuthorizationService sudo{(folder.path() / "sudo").string(), [] { return false; }};
};

TEST_F(SudoTest, EveryArgumentReachesTheToolAsOneEntryAndRefusalsStartNothing) {
  const std::string recorder = writeTool(folder, "recorder", recordArguments(toolRecord));
  const std::vector<std::string> hostile = {"a b",         "",    "'\"", "; rm -rf /", "$(touch x)",
                                            "line\nbreak", "-rf", "*"};
  Args arguments(hostile.size() + 1);  // null-terminated
  std::ranges::transform(hostile, arguments.begin(), &std::string::c_str);
  ASSERT_TRUE(run(recorder, arguments));
  std::vector<std::string> throughSudo{"-n", "--", recorder};
  throughSudo.insert(throughSudo.end(), hostile.begin(), hostile.end());
  EXPECT_EQ(fileText(sudoRecord), recorded({{"-v"}, throughSudo}));
  EXPECT_EQ(fileText(toolRecord), recorded({hostile}));

  verdict("1");
  EXPECT_FALSE(run(recorder));
  verdict("int");
  EXPECT_FALSE(run(recorder));
  EXPECT_EQ(fileText(toolRecord), recorded({hostile})) << "a refused tool was started";
  EXPECT_EQ(world.log,
            (Lines{"Copy Rights Unsuccessful: -60005", "Copy Rights Unsuccessful: -60006"}));
}

TEST_F(SudoTest, TheWaitIsForThePrivilegedToolAloneAndItsOutputCannotStallIt) {
  EXPECT_TRUE(run(writeTool(folder, "big", "exec head -c 67108864 /dev/zero")));

  // One child of the program has already ended, one is still running.
  const pid_t ended = ::fork();
  if (ended == 0)
    ::_exit(0);
  const pid_t running = ::fork();
  if (running == 0)
    ::execl("/bin/sleep", "sleep", "30", nullptr), ::_exit(1);
  siginfo_t info{};
  ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(ended), &info, WEXITED | WNOWAIT), 0);

  // The tool's effect appears only after a pause: a wait for any child would return first.
  const std::string done = (folder.path() / "done").string();
  EXPECT_TRUE(run(writeTool(folder, "slow", "sleep 0.3; echo yes > '" + done + "'")));
  EXPECT_EQ(fileText(done), "yes\n");
  int status = 0;
  EXPECT_EQ(::waitpid(ended, &status, WNOHANG), ended) << "the ended child was reaped by another";
  EXPECT_EQ(::waitpid(running, &status, WNOHANG), 0) << "the running child was waited for";
  ::kill(running, SIGKILL);
  EXPECT_EQ(::waitpid(running, &status, 0), running);
}

}  // namespace
}  // namespace morvane::testing
