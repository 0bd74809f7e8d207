// The ways to the administrator right against stand-ins of sudo, polkit's tools and the root
// helper that record what they are asked. The argument vectors handed to them are pinned here;
// what the real tools do with them is theirs.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "platform/posix/privileges_choice.h"
#include "tests/temp_folder.h"

namespace morvane::testing {
namespace {

using Lines = std::vector<std::string>;
using enum PrivilegeOutcome;
using enum PrivilegeMode;

const Lines kHostile = {"a b", "", "'\"", "; rm -rf /", "$(touch x)", "line\nbreak", "-rf", "*"};

PrivilegedRun runTool(PrivilegedWay& way, const std::string& tool, const Lines& arguments = {}) {
  std::vector<const char*> argv(arguments.size() + 1);  // ends in nullptr
  std::ranges::transform(arguments, argv.begin(), [](const auto& a) { return a.c_str(); });
  return way.runTool(tool.c_str(), argv.data());
}

/// A folder of stand-ins: each records its arguments in NAME-calls; `verdict` holds answers.
class WayTest : public ::testing::Test {
 protected:
  std::string record(const std::string& name) const { return folder.path() / (name + "-calls"); }
  std::string verdict(const std::string& text) { return folder.file("verdict", text + "\n"); }
  /// Writes the stand-in `name`, which appends its arguments to its record, each ended by a NUL
  /// so that any argument reads back exactly, then a line break, and runs `body`; its path.
  std::string standIn(const std::string& name, const std::string& body = "") const {
    const std::string path =
        folder.file(name, "#!/bin/sh\n{ for a; do printf '%s\\0' \"$a\"; done; echo; } >>'" +
                              record(name) + "'\n" + body);
    ::chmod(path.c_str(), 0755);
    return path;
  }
  /// What the stand-ins record for `calls`, in order.
  static std::string recorded(const std::vector<Lines>& calls) {
    std::string text;
    for (const Lines& call : calls) {
      for (const std::string& argument : call) {
        text += argument + '\0';
      }
      text += '\n';
    }
    return text;
  }
  static Lines with(Lines prefix, const Lines& more) {
    prefix.insert(prefix.end(), more.begin(), more.end());
    return prefix;
  }

  TempFolder folder;
  // The root helper's stand-in becomes the tool, as the helper does with a vector it allows.
  const std::string helper = standIn("helper", "exec \"$@\""), tool = standIn("tool"),
                    missing = folder.path() / "missing";
};

TEST_F(WayTest, EachRequestAndStartAsSudoSeesThem) {
  // The stand-in sudo answers -v with the verdict's first word ("int": ends by SIGINT), -n -l
  // with its second (0 when there is none), and runs the tool after -n --.
  const std::string sudo = standIn(
      "sudo",
      "read v l < '" + verdict("0") +
          "'\n[ \"$1\" = -v ] && { [ \"$v\" = int ] && kill -INT $$; exit \"$v\"; }\n"
          "[ \"$2\" = -l ] && exit \"${l:-0}\"\n[ \"$2\" = -- ] && { shift 2; exec \"$@\"; }\n:");
  const Lines asked = with({"-n", "-l", "--", helper, tool}, kHostile),
              started = with({"-n", "--", helper, tool}, kHostile);
  struct Row {
    std::string name, verdict = "0";
    PrivilegeOutcome granted = kGranted, start = kGranted;
    std::vector<Lines> sudoSaw = {};
  };
  // clang-format off
  const Row rows[] = {
      {.name = "granted", .sudoSaw = {{"-v"}, asked, started}}, {.name = "no sudo", .granted = kUnavailable, .start = kDenied},
      {.name = "a wrong password", .verdict = "1", .granted = kDenied, .start = kDenied, .sudoSaw = {{"-v"}}},
      {.name = "Ctrl-C at the prompt", .verdict = "int", .granted = kCanceled, .start = kDenied, .sudoSaw = {{"-v"}}},
      {.name = "a rule that does not allow the tool", .verdict = "0 1", .start = kDenied, .sudoSaw = {{"-v"}, asked}},
      {.name = "a missing tool", .start = kToolNotStarted, .sudoSaw = {{"-v"}}}};
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
    EXPECT_EQ(fileText(record("tool")), row.start == kGranted ? recorded({kHostile}) : "");
  }
}

TEST_F(WayTest, AsRootTheToolGetsEachArgumentAndTheWaitIsForItAloneWhateverItsOutput) {
  RootWay way(helper);
  EXPECT_EQ(runTool(way, standIn("big", "exec head -c 67108864 /dev/zero"), kHostile).outcome,
            kGranted);
  EXPECT_EQ(fileText(record("big")), recorded({kHostile}));
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
  runTool(way, standIn("slow", "sleep 0.3; echo yes > '" + done + "'"));
  EXPECT_EQ(fileText(done), "yes\n");
  int status = 0;
  EXPECT_EQ(::waitpid(ended, &status, WNOHANG), ended) << "the ended child was reaped by another";
  EXPECT_EQ(::waitpid(running, &status, WNOHANG), 0) << "the running child was waited for";
  ::kill(running, SIGKILL);
  ::waitpid(running, &status, 0);
}

/// The polkit way: pkcheck answers with the exit status in the verdict ("kill": ends by
/// SIGKILL), or 0 once the text agent is up; pkexec runs the tool after its option and the
/// helper; pkttyagent marks itself up, closes its notice and stays until SIGTERM, which it notes.
class PolkitTest : public WayTest {
 protected:
  const std::string up = folder.path() / "agent-up";
  const std::string pkcheck =
      standIn("pkcheck", "[ -e '" + up + "' ] && exit 0\nread v < '" + verdict("0") +
                             "'; [ \"$v\" = kill ] && kill -KILL $$; exit \"$v\"");
  const std::string pkexec = standIn("pkexec", "shift 2; exec \"$@\"");
  const std::string agent =
      standIn("pkttyagent", "trap 'kill $!; echo stopped >>\"" + up + "\"; exit' TERM\ntouch '" +
                                up + "'; exec >&-; sleep 30 & wait");
  // What pkcheck is told about this process: "PID,START,UID".
  const std::string process =
      std::to_string(::getpid()) + "," +
      std::to_string(processStartTime(fileText("/proc/self/stat")).value_or(0));
  const Lines checked = {"--action-id", "org.morvane.exec", "--process",
                         process + "," + std::to_string(::getuid()), "--allow-user-interaction"};
  bool terminal = false;
  PolkitWay polkit{{pkcheck, pkexec, agent, standIn("pkaction"), "/helper"},
                   [this] { return terminal; }};
};

TEST_F(PolkitTest, EachAnswerOfPkcheckAndPkexecIsMappedAndEveryToolAsksAgain) {
  // 2: no agent, and no terminal to start one on. 0 alone lets the tool run.
  const std::pair<std::string, PrivilegeOutcome> rows[] = {
      {"1", kDenied},      {"3", kCanceled},       {"2", kUnavailable},
      {"4", kUnavailable}, {"kill", kUnavailable}, {"0", kGranted}};
  for (const auto& [answer, outcome] : rows) {
    verdict(answer);
    EXPECT_EQ(polkit.obtainRight(), outcome) << "pkcheck answered " << answer;
    EXPECT_EQ(runTool(polkit, tool, kHostile).outcome, outcome == kGranted ? kGranted : kDenied);
  }
  EXPECT_EQ(fileText(record("pkcheck")), recorded(std::vector(std::size(rows), checked)));
  EXPECT_EQ(fileText(record("pkexec")),
            recorded({with({"--disable-internal-agent", "/helper", tool}, kHostile)}));
  EXPECT_EQ(fileText(record("tool")), recorded({kHostile})) << "a refused tool was started";
  EXPECT_TRUE(polkit.usable());
  EXPECT_EQ(fileText(record("pkaction")), recorded({{"--action-id", "org.morvane.exec"}}));
  // The tool's own status comes back; pkexec's refusals and the helper's statuses are the way's.
  const std::pair<int, PrivilegeOutcome> ends[] = {
      {3, kGranted}, {126, kCanceled}, {127, kDenied}, {65, kToolNotStarted}};
  for (const auto& [status, outcome] : ends) {
    const PrivilegedRun ran = runTool(polkit, standIn("ends", "exit " + std::to_string(status)));
    EXPECT_EQ(ran.outcome, outcome) << status;
    EXPECT_EQ(ran.status, outcome == kGranted ? status : 0) << status;
  }
}

TEST_F(PolkitTest, WithoutAgentATerminalGetsOneForTheRunAndItEndsWithTheRun) {
  terminal = true;
  verdict("2");
  EXPECT_EQ(polkit.obtainRight(), kGranted);
  EXPECT_EQ(polkit.obtainRight(), kGranted);
  EXPECT_EQ(fileText(record("pkttyagent")),
            recorded({{"--process", process, "--fallback", "--notify-fd", "1"}}));
  EXPECT_EQ(fileText(record("pkcheck")), recorded({checked, checked, checked}));
  EXPECT_EQ(fileText(up), "") << "the agent did not stay";
  polkit.stopAgent();
  EXPECT_EQ(fileText(up), "stopped\n");
}

TEST(PrivilegeChoice, RootThenPolkitThenSudoOnATerminalAskingNoMoreThanNeeded) {
  struct Row {
    std::string yes = {}, asked;  // the questions answered yes; those asked, in order
    PrivilegeMode mode;
  };
  // clang-format off
  const Row rows[] = {
      {.yes = "root polkit terminal", .asked = "root ", .mode = kRoot},
      {.yes = "polkit terminal", .asked = "root polkit ", .mode = kPolkit},
      {.yes = "terminal", .asked = "root polkit terminal ", .mode = kSudo}, {.asked = "root polkit terminal ", .mode = kNone}};
  // clang-format on
  for (const Row& row : rows) {
    std::string asked;
    const auto ask = [&](const std::string& what) {
      return [&, what] { return asked += what + " ", row.yes.find(what) != std::string::npos; };
    };
    EXPECT_EQ(choosePrivilegeMode(ask("root"), ask("polkit"), ask("terminal")), row.mode);
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
