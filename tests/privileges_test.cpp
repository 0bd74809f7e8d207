// The ways to the administrator right against stand-ins of sudo, polkit's tools and the root
// helper that record what they are asked. The argument vectors handed to them are pinned here;
// what the real tools do with them is theirs.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/posix/privileges_choice.h"
#include "tests/temp_folder.h"

namespace morvane::testing {
namespace {

using Lines = std::vector<std::string>;
using Outcome = PrivilegeOutcome;

const Lines kHostile = {"a b", "", "'\"", "; rm -rf /", "$(touch x)", "line\nbreak", "-rf", "*"};

/// Runs `tool` with `arguments` through `way`; how the start went, and the tool's status.
PrivilegedRun runTool(PrivilegedWay& way, const std::string& tool, const Lines& arguments = {}) {
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) {
    argv.push_back(argument.c_str());
  }
  argv.push_back(nullptr);
  return way.runTool(tool.c_str(), argv.data());
}

/// A folder of stand-ins: each records its arguments in NAME-calls; `verdict` holds answers.
class WayTest : public ::testing::Test {
 protected:
  std::string record(const std::string& name) const { return folder.path() / (name + "-calls"); }
  std::string verdict(const std::string& text) { return folder.file("verdict", text + "\n"); }
  static Lines with(Lines prefix, const Lines& more) {
    prefix.insert(prefix.end(), more.begin(), more.end());
    return prefix;
  }

  TempFolder folder;
  // The root helper's stand-in becomes the tool, as the helper does with a vector it allows.
  const std::string helper = writeTool(folder, "helper", "exec \"$@\""),
                    tool = writeTool(folder, "tool", recordArguments(record("tool"))),
                    missing = folder.path() / "missing";
};

TEST_F(WayTest, EachRequestAndStartAsSudoSeesThem) {
  // The stand-in sudo answers -v with the verdict's first word ("int": ends by SIGINT), -n -l
  // with its second (0 when there is none), and runs the tool after -n --.
  const std::string sudo = writeTool(
      folder, "sudo",
      recordArguments(record("sudo")) + "\nread v l < '" + verdict("0") +
          "'\n[ \"$1\" = -v ] && { [ \"$v\" = int ] && kill -INT $$; exit \"$v\"; }\n"
          "[ \"$2\" = -l ] && exit \"${l:-0}\"\n[ \"$2\" = -- ] && { shift 2; exec \"$@\"; }\n:");
  const Lines asked = with({"-n", "-l", "--", helper, tool}, kHostile),
              started = with({"-n", "--", helper, tool}, kHostile);
  struct Row {
    std::string name;
    const char* verdict = "0";
    Outcome granted = Outcome::kGranted, start = Outcome::kGranted;
    std::vector<Lines> sudoSaw = {};
  };
  // clang-format off
  const Row rows[] = {
      {.name = "granted", .sudoSaw = {{"-v"}, asked, started}},
      {.name = "a wrong password", .verdict = "1", .granted = Outcome::kDenied, .start = Outcome::kDenied, .sudoSaw = {{"-v"}}},
      {.name = "Ctrl-C at the prompt", .verdict = "int", .granted = Outcome::kCanceled, .start = Outcome::kDenied, .sudoSaw = {{"-v"}}},
      {.name = "a rule that does not allow the tool", .verdict = "0 1", .start = Outcome::kDenied, .sudoSaw = {{"-v"}, asked}},
      {.name = "a missing tool", .start = Outcome::kToolNotStarted, .sudoSaw = {{"-v"}}},
      {.name = "no sudo", .granted = Outcome::kUnavailable, .start = Outcome::kDenied},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove(record("sudo"));
    std::filesystem::remove(record("tool"));
    verdict(row.verdict);
    SudoWay way(row.name == "no sudo" ? missing : sudo, helper);
    EXPECT_EQ(way.obtainRight(), row.granted);
    EXPECT_EQ(runTool(way, row.name == "a missing tool" ? missing : tool, kHostile).outcome,
              row.start);
    EXPECT_EQ(fileText(record("sudo")), recorded(row.sudoSaw));
    EXPECT_EQ(fileText(record("tool")), row.start == Outcome::kGranted ? recorded({kHostile}) : "");
  }
  // As root the helper starts directly, with every argument its own.
  std::filesystem::remove(record("tool"));
  RootWay root(helper);
  EXPECT_EQ(runTool(root, tool, kHostile).outcome, Outcome::kGranted);
  EXPECT_EQ(fileText(record("tool")), recorded({kHostile}));
}

TEST_F(WayTest, TheWaitIsForThePrivilegedToolAloneAndItsOutputCannotStallIt) {
  RootWay way(helper);
  EXPECT_EQ(runTool(way, writeTool(folder, "big", "exec head -c 67108864 /dev/zero")).outcome,
            Outcome::kGranted);
  // One child of the program has already ended, one is still running.
  const pid_t ended = ::fork();
  if (ended == 0) {
    ::_exit(0);
  }
  const pid_t running = ::fork();
  if (running == 0) {
    ::execl("/bin/sleep", "sleep", "30", nullptr), ::_exit(1);
  }
  siginfo_t info{};
  ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(ended), &info, WEXITED | WNOWAIT), 0);
  // The tool's effect appears only after a pause: a wait for any child would return first.
  const std::string done = folder.path() / "done";
  runTool(way, writeTool(folder, "slow", "sleep 0.3; echo yes > '" + done + "'"));
  EXPECT_EQ(fileText(done), "yes\n");
  int status = 0;
  EXPECT_EQ(::waitpid(ended, &status, WNOHANG), ended) << "the ended child was reaped by another";
  EXPECT_EQ(::waitpid(running, &status, WNOHANG), 0) << "the running child was waited for";
  ::kill(running, SIGKILL);
  EXPECT_EQ(::waitpid(running, &status, 0), running);
}

/// The polkit way: pkcheck answers with the exit status in the verdict ("kill": ends by
/// SIGKILL), or 0 once the text agent is up; pkexec runs the tool after its option and the
/// helper; pkttyagent marks itself up, closes its notice and stays until SIGTERM, which it notes.
class PolkitTest : public WayTest {
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
  /// What pkcheck is told about this process: "PID,START,UID".
  static Lines checked() {
    return {"--action-id", "org.morvane.exec", "--process",
            process() + "," + std::to_string(::getuid()), "--allow-user-interaction"};
  }
  static std::string process() {
    return std::to_string(::getpid()) + "," +
           std::to_string(processStartTime(fileText("/proc/self/stat")).value_or(0));
  }
  std::string at(const std::string& name) const { return folder.path() / name; }

  const std::string up = folder.path() / "agent-up";
  bool terminal = false;
  PolkitWay polkit{{at("pkcheck"), at("pkexec"), at("pkttyagent"), at("pkaction"), "/helper"},
                   [this] { return terminal; }};
};

TEST_F(PolkitTest, EachAnswerOfPkcheckAndPkexecIsMappedAndEveryToolAsksAgain) {
  // 2: no agent, and no terminal to start one on. 0 alone lets the tool run.
  const std::pair<std::string, Outcome> rows[] = {
      {"1", Outcome::kDenied},      {"3", Outcome::kCanceled},       {"2", Outcome::kUnavailable},
      {"4", Outcome::kUnavailable}, {"kill", Outcome::kUnavailable}, {"0", Outcome::kGranted}};
  for (const auto& [answer, outcome] : rows) {
    verdict(answer);
    EXPECT_EQ(polkit.obtainRight(), outcome) << "pkcheck answered " << answer;
    EXPECT_EQ(runTool(polkit, tool, kHostile).outcome,
              outcome == Outcome::kGranted ? Outcome::kGranted : Outcome::kDenied);
  }
  EXPECT_EQ(fileText(record("pkcheck")), recorded(std::vector(std::size(rows), checked())));
  EXPECT_EQ(fileText(record("pkexec")),
            recorded({with({"--disable-internal-agent", "/helper", tool}, kHostile)}));
  EXPECT_EQ(fileText(record("tool")), recorded({kHostile})) << "a refused tool was started";
  writeTool(folder, "pkaction", recordArguments(record("pkaction")));
  EXPECT_TRUE(polkit.usable());
  EXPECT_EQ(fileText(record("pkaction")), recorded({{"--action-id", "org.morvane.exec"}}));
  // The tool's own status comes back; pkexec's refusals and the helper's statuses are the way's.
  const std::pair<int, Outcome> ends[] = {{3, Outcome::kGranted},
                                          {126, Outcome::kCanceled},
                                          {127, Outcome::kDenied},
                                          {65, Outcome::kToolNotStarted}};
  for (const auto& [status, outcome] : ends) {
    const PrivilegedRun ran =
        runTool(polkit, writeTool(folder, "ends", "exit " + std::to_string(status)));
    EXPECT_EQ(ran.outcome, outcome) << status;
    EXPECT_EQ(ran.status, outcome == Outcome::kGranted ? status : 0) << status;
  }
}

TEST_F(PolkitTest, WithoutAgentATerminalGetsOneForTheRunAndItEndsWithTheRun) {
  terminal = true;
  verdict("2");
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(polkit.obtainRight(), Outcome::kGranted);
  }
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
  // clang-format off
  const Row rows[] = {
      {.root = true, .polkit = true, .terminal = true, .mode = PrivilegeMode::kRoot, .asked = "root "},
      {.polkit = true, .terminal = true, .mode = PrivilegeMode::kPolkit, .asked = "root polkit "},
      {.terminal = true, .mode = PrivilegeMode::kSudo, .asked = "root polkit terminal "},
      {.mode = PrivilegeMode::kNone, .asked = "root polkit terminal "}};
  // clang-format on
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
  // polkit names this process by its start time, behind the last ')' of its command name.
  const std::string f = " S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 4242 0 0";
  EXPECT_EQ(processStartTime("7 (sh)" + f), 4242u);
  EXPECT_EQ(processStartTime("7 (a b) c) S)" + f), 4242u);
  EXPECT_EQ(processStartTime("7 (x)" + f.substr(0, 47)), std::nullopt);
}

}  // namespace
}  // namespace morvane::testing
