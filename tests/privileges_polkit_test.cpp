#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/posix/privileges_choice.h"
#include "tests/temp_folder.h"

namespace morvane::testing {
namespace {

using Args = std::vector<const char*>;

/// The polkit way, with stand-ins that record their arguments: pkcheck
/// answers with the exit status in `verdict` ("kill": ends by SIGKILL), or 0 once the text agent
/// is up; pkexec runs the tool after its option and the helper; pkttyagent marks itself up,
/// closes its notice and stays until SIGTERM, which it notes.
class PolkitTest : public ::testing::Test {
 protected:
  PolkitTest() {
    writeTool(folder, "pkcheck",
              recordArguments(record("pkcheck")) + "\n[ -e '" + up + "' ] && exit 0\nread v < '" +
                  verdict("0") + "'; [ \"$v\" = kill ] && kill -KILL $$; exit \"$v\"");
    writeTool(folder, "pkexec", recordArguments(record("pkexec")) + "\nshift 2; exec \"$@\"");
    writeTool(folder, "pkttyagent",
              recordArguments(record("agent")) + "\ntrap 'kill $!; echo stopped >>\"" + up +
                  "\"; exit' TERM\ntouch '" + up + "'; exec >&-; sleep 30 & wait");
  }
  std::string verdict(const std::string& text) { return folder.file("verdict", text + "\n"); }
  std::string record(const std::string& name) { return (folder.path() / (name + "-calls")); }
  std::string tool(const std::string& name) { return (folder.path() / name); }
  /// Asks for the right and, when granted, runs `path`; whether it ran.
  bool run(const std::string& path, const Args& arguments = {nullptr}) {
    return polkit.obtainRight() == PrivilegeOutcome::kGranted &&
           polkit.runTool(path.c_str(), arguments.data()).outcome == PrivilegeOutcome::kGranted;
  }
  /// What pkcheck and pkttyagent are told about this process: "PID,START".
  static std::string process() {
    return std::to_string(::getpid()) + "," +
           std::to_string(processStartTime(fileText("/proc/self/stat")).value_or(0));
  }
  std::vector<std::string> checked() {
    return {"--action-id", "org.morvane.exec", "--process",
            process() + "," + std::to_string(::getuid()), "--allow-user-interaction"};
  }

  TempFolder folder;
  const std::string up = (folder.path() / "agent-up").string();
  bool terminal = false;
  PolkitWay polkit{
      {tool("pkcheck"), tool("pkexec"), tool("pkttyagent"), tool("pkaction"), "/helper"},
      [this] { return terminal; }};
};

TEST_F(PolkitTest, EachAnswerOfPkcheckIsMappedAndEveryToolAsksAgain) {
  const std::string recorder = writeTool(folder, "tool", recordArguments(record("tool")));
  using Outcome = PrivilegeOutcome;
  // 2: no agent, and no terminal to start one on. 0 alone lets the tool run.
  const std::pair<std::string, Outcome> rows[] = {
      {"1", Outcome::kDenied},      {"3", Outcome::kCanceled},       {"2", Outcome::kUnavailable},
      {"4", Outcome::kUnavailable}, {"kill", Outcome::kUnavailable}, {"0", Outcome::kGranted}};
  for (const auto& [answer, outcome] : rows) {
    verdict(answer);
    EXPECT_EQ(polkit.obtainRight(), outcome) << "pkcheck answered " << answer;
    EXPECT_EQ(polkit.runTool(recorder.c_str(), Args{nullptr}.data()).outcome,
              outcome == Outcome::kGranted ? Outcome::kGranted : Outcome::kDenied);
  }
  EXPECT_EQ(fileText(record("pkcheck")), recorded(std::vector(std::size(rows), checked())));
  EXPECT_EQ(fileText(record("tool")), recorded({{}})) << "a refused tool was started";
}

TEST_F(PolkitTest, ToolsRunThroughPkexecAndTheHelperWithEveryArgumentIntact) {
  const std::string recorder = writeTool(folder, "tool", recordArguments(record("tool")));
  const Args arguments{"a b", "", "'\"", "; rm -rf /", "$(touch x)", "line\nbreak", "-rf", nullptr};
  const std::vector<std::string> hostile(arguments.begin(), arguments.end() - 1);
  ASSERT_TRUE(run(recorder, arguments));
  std::vector<std::string> throughPkexec{"--disable-internal-agent", "/helper", recorder};
  throughPkexec.insert(throughPkexec.end(), hostile.begin(), hostile.end());
  EXPECT_EQ(fileText(record("pkexec")), recorded({throughPkexec}));
  EXPECT_EQ(fileText(record("tool")), recorded({hostile}));
  writeTool(folder, "pkaction", recordArguments(record("pkaction")));
  EXPECT_TRUE(polkit.usable());
  EXPECT_EQ(fileText(record("pkaction")), recorded({{"--action-id", "org.morvane.exec"}}));
  // Its output goes nowhere, so a tool that writes much more than a pipe holds still ends.
  EXPECT_TRUE(run(writeTool(folder, "big", "exec head -c 67108864 /dev/zero")));
  // The tool's own status comes back; pkexec's refusals and the helper's statuses are the way's.
  using Outcome = PrivilegeOutcome;
  const std::pair<int, Outcome> ends[] = {{3, Outcome::kGranted},
                                          {126, Outcome::kCanceled},
                                          {127, Outcome::kDenied},
                                          {65, Outcome::kToolNotStarted}};
  for (const auto& [status, outcome] : ends) {
    const std::string ending = writeTool(folder, "ending", "exit " + std::to_string(status));
    const PrivilegedRun ran = polkit.runTool(ending.c_str(), Args{nullptr}.data());
    EXPECT_EQ(ran.outcome, outcome) << status;
    EXPECT_EQ(ran.status, outcome == Outcome::kGranted ? status : 0) << status;
  }
}

TEST_F(PolkitTest, WithoutAgentATerminalGetsOneForTheRunAndItEndsWithTheRun) {
  terminal = true;
  verdict("2");
  EXPECT_TRUE(run(writeTool(folder, "tool", "exit 0")));
  EXPECT_TRUE(run(tool("tool")));
  EXPECT_EQ(fileText(record("agent")),
            recorded({{"--process", process(), "--fallback", "--notify-fd", "1"}}));
  EXPECT_EQ(fileText(record("pkcheck")), recorded({checked(), checked(), checked()}));
  EXPECT_EQ(fileText(up), "") << "the agent did not stay";
  polkit.stopAgent();
  EXPECT_EQ(fileText(up), "stopped\n");
}

TEST(PrivilegeChoice, RootThenPolkitThenSudoOnATerminalAskingNoMoreThanNeeded) {
  struct Row {
    bool root = false, polkit = false, terminal = false;
    PrivilegeMode mode;
    std::string asked;
  };
  const Row rows[] = {
      {.root = true,
       .polkit = true,
       .terminal = true,
       .mode = PrivilegeMode::kRoot,
       .asked = "root "},
      {.polkit = true, .terminal = true, .mode = PrivilegeMode::kPolkit, .asked = "root polkit "},
      {.terminal = true, .mode = PrivilegeMode::kSudo, .asked = "root polkit terminal "},
      {.mode = PrivilegeMode::kNone, .asked = "root polkit terminal "}};
  for (const auto& row : rows) {
    std::string asked;
    const auto ask = [&](const char* what, bool answer) {
      return [&asked, what, answer] { return asked += std::string(what) + " ", answer; };
    };
    EXPECT_EQ(choosePrivilegeMode(ask("root", row.root), ask("polkit", row.polkit),
                                  ask("terminal", row.terminal)),
              row.mode)
        << "asked " << asked;
    EXPECT_EQ(asked, row.asked);
  }
}

TEST(ProcessStartTime, IsTheTwentySecondFieldWhateverTheCommandName) {
  const std::string f = " S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 4242 0 0";
  const std::pair<std::string, std::optional<unsigned long long>> rows[] = {
      {"7 (sh)" + f, 4242}, {"7 (a b) c) S)" + f, 4242}, {"7 (x)" + f.substr(0, 47), std::nullopt}};
  for (const auto& [stat, start] : rows) {
    EXPECT_EQ(processStartTime(stat), start) << stat;
  }
}

}  // namespace
}  // namespace morvane::testing
