// The ways to the administrator right against a stand-in sudo that records what it is asked, and
// the wait for a tool it started. The argument vector handed to sudo is pinned here; what sudo does
// with it is sudo's own.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "platform/posix/privileges_sudo.h"
#include "tests/temp_folder.h"

namespace morvane::testing {
namespace {

using Lines = std::vector<std::string>;

/// Runs `tool` with `arguments` through `way`; how the start went.
PrivilegeOutcome runTool(PrivilegedWay& way, const std::string& tool, const Lines& arguments = {}) {
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) {
    argv.push_back(argument.c_str());
  }
  argv.push_back(nullptr);
  return way.runTool(tool.c_str(), argv.data()).outcome;
}

TEST(PrivilegedWayTest, EachRequestAndStartAsSudoSeesThem) {
  TempFolder folder;
  const std::string calls = (folder.path() / "sudo-calls").string(),
                    ran = (folder.path() / "tool-calls").string(),
                    verdict = (folder.path() / "verdict").string();
  // The stand-in sudo answers -v with the verdict's first word ("int": ends by SIGINT), -n -l
  // with its second (0 when there is none), and runs the tool after -n --.
  const std::string sudo = writeTool(
      folder, "sudo",
      recordArguments(calls) + "\nread v l < '" + verdict +
          "'\n[ \"$1\" = -v ] && { [ \"$v\" = int ] && kill -INT $$; exit \"$v\"; }\n"
          "[ \"$2\" = -l ] && exit \"${l:-0}\"\n[ \"$2\" = -- ] && { shift 2; exec \"$@\"; }\n:");
  // The root helper's stand-in becomes the tool, as the helper does with a vector it allows.
  const std::string tool = writeTool(folder, "tool", recordArguments(ran)),
                    helper = writeTool(folder, "helper", "exec \"$@\""),
                    missing = (folder.path() / "missing").string();
  const Lines hostile = {"a b", "", "'\"", "; rm -rf /", "$(touch x)", "line\nbreak", "-rf", "*"};
  Lines asked = {"-n", "-l", "--", helper, tool}, started = {"-n", "--", helper, tool};
  asked.insert(asked.end(), hostile.begin(), hostile.end());
  started.insert(started.end(), hostile.begin(), hostile.end());
  using Outcome = PrivilegeOutcome;
  struct Row {
    std::string name;
    const char* verdict = "0";
    Outcome granted = Outcome::kGranted, start = Outcome::kGranted;
    std::vector<Lines> sudoSaw = {};
  };
  const Row rows[] = {
      {.name = "granted", .sudoSaw = {{"-v"}, asked, started}},
      {.name = "a wrong password",
       .verdict = "1",
       .granted = Outcome::kDenied,
       .start = Outcome::kDenied,
       .sudoSaw = {{"-v"}}},
      {.name = "Ctrl-C at the prompt",
       .verdict = "int",
       .granted = Outcome::kCanceled,
       .start = Outcome::kDenied,
       .sudoSaw = {{"-v"}}},
      {.name = "a rule that does not allow the tool",
       .verdict = "0 1",
       .start = Outcome::kDenied,
       .sudoSaw = {{"-v"}, asked}},
      {.name = "a missing tool", .start = Outcome::kToolNotStarted, .sudoSaw = {{"-v"}}},
      {.name = "no sudo", .granted = Outcome::kUnavailable, .start = Outcome::kDenied},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove(calls);
    std::filesystem::remove(ran);
    folder.file("verdict", std::string(row.verdict) + "\n");
    SudoWay way(row.name == "no sudo" ? missing : sudo, helper);
    EXPECT_EQ(way.obtainRight(), row.granted);
    EXPECT_EQ(runTool(way, row.name == "a missing tool" ? missing : tool, hostile), row.start);
    EXPECT_EQ(fileText(calls), recorded(row.sudoSaw));
    EXPECT_EQ(fileText(ran), row.start == Outcome::kGranted ? recorded({hostile}) : "");
  }
  // As root the helper starts directly, with every argument its own.
  std::filesystem::remove(ran);
  RootWay root(helper);
  EXPECT_EQ(runTool(root, tool, hostile), Outcome::kGranted);
  EXPECT_EQ(fileText(ran), recorded({hostile}));
}

TEST(PrivilegedWayTest, TheWaitIsForThePrivilegedToolAloneAndItsOutputCannotStallIt) {
  TempFolder folder;
  RootWay way(writeTool(folder, "helper", "exec \"$@\""));
  EXPECT_EQ(runTool(way, writeTool(folder, "big", "exec head -c 67108864 /dev/zero")),
            PrivilegeOutcome::kGranted);

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
  runTool(way, writeTool(folder, "slow", "sleep 0.3; echo yes > '" + done + "'"));
  EXPECT_EQ(fileText(done), "yes\n");
  int status = 0;
  EXPECT_EQ(::waitpid(ended, &status, WNOHANG), ended) << "the ended child was reaped by another";
  EXPECT_EQ(::waitpid(running, &status, WNOHANG), 0) << "the running child was waited for";
  ::kill(running, SIGKILL);
  EXPECT_EQ(::waitpid(running, &status, 0), running);
}

}  // namespace
}  // namespace morvane::testing
