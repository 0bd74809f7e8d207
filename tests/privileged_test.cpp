#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include "platform/posix/authorization_sudo.h"
#include "platform/posix/process_launcher_posix.h"
#include "platform/posix/read_to_end.h"
#include "tests/fakes/fake_world.h"
#include "tests/temp_folder.h"

namespace morvane::testing {
namespace {

using Args = std::vector<const char*>;

/// The delegate over the sudo service, with a stand-in sudo that records its arguments, answers
/// `-v` with the first exit status in `verdict` ("int": ends by SIGINT) and `-n -l` with the
/// second (0 by default), and runs the tool after `-n --`.
class SudoTest : public WorldTest {
 protected:
  SudoTest() {
    start({}, &sudo);
    writeTool(folder, "sudo",
              recordArguments(sudoRecord) + "\nread v l < '" + verdict("0") + "'\n" +
                  "[ \"$1\" = -v ] && { [ \"$v\" = int ] && kill -INT $$; exit \"$v\"; }\n"
                  "[ \"$2\" = -l ] && exit \"${l:-0}\"; shift 2; exec \"$@\"");
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
  std::vector<std::string> throughSudo{"-n", "--", recorder}, asked{"-n", "-l", "--", recorder};
  throughSudo.insert(throughSudo.end(), hostile.begin(), hostile.end());
  asked.insert(asked.end(), hostile.begin(), hostile.end());
  EXPECT_EQ(fileText(sudoRecord), recorded({{"-v"}, asked, throughSudo}));
  EXPECT_EQ(fileText(toolRecord), recorded({hostile}));

  verdict("1");
  EXPECT_FALSE(run(recorder));
  verdict("int");
  EXPECT_FALSE(run(recorder));
  verdict("0 1");  // the right is granted, but not for this tool
  EXPECT_FALSE(run(recorder));
  EXPECT_FALSE(run((folder.path() / "missing").string()));  // as root: -60031 as well
  EXPECT_EQ(fileText(toolRecord), recorded({hostile})) << "a refused tool was started";
  EXPECT_EQ(world.log,
            (Lines{"Copy Rights Unsuccessful: -60005", "Copy Rights Unsuccessful: -60006",
                   "Error: -60005", "Error: -60031"}));
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

/// Runs `check` in a child process as the user nobody, for whom the system's sudo knows only
/// `rule`: in a mount namespace of its own, a sudoers file in `folder` is bound over
/// /etc/sudoers, so nothing of the machine changes. What `check` returned, or "skip: REASON".
std::string asNobodyUnder(const TempFolder& folder, const std::string& rule,
                          const std::function<std::string()>& check) {
  const std::string sudoers = folder.file("sudoers", "Defaults !syslog, !pam_session\n" + rule);
  const passwd* nobody = ::getpwnam("nobody");
  std::optional<Pipe> pipe = makePipe();
  if (::geteuid() != 0 || nobody == nullptr || !pipe || ::access(kSudoTool, X_OK) != 0 ||
      ::chmod(sudoers.c_str(), 0440) != 0 || ::chmod(folder.path().c_str(), 0755) != 0) {
    return "skip: needs root, the user nobody and " + std::string(kSudoTool);
  }
  const pid_t child = ::fork();
  if (child == 0) {
    std::string result = "skip: no mount namespace of our own, or no change of user";
    if (::unshare(CLONE_NEWNS) == 0 &&
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
        ::mount(sudoers.c_str(), "/etc/sudoers", nullptr, MS_BIND, nullptr) == 0 &&
        ::setgroups(0, nullptr) == 0 && ::setgid(nobody->pw_gid) == 0 &&
        ::setuid(nobody->pw_uid) == 0) {
      result = check();
    }
    static_cast<void>(::write(pipe->writeEnd.get(), result.data(), result.size()));
    ::_exit(0);
  }
  pipe->writeEnd.reset();
  const std::optional<std::string> result = readToEnd(pipe->readEnd.get());
  ::waitpid(child, nullptr, 0);
  return result.value_or("skip: the child said nothing");
}

TEST_F(SudoTest, AToolTheUsersSudoRuleDoesNotAllowIsNeverReportedAsRun) {
  const std::string ran = (folder.path() / "ran").string();
  const std::string allowed = writeTool(folder, "allowed", "id -u >> '" + ran + "'");
  const std::string other = writeTool(folder, "other", "id -u >> '" + ran + "'");
  const std::string missing = (folder.path() / "missing").string();
  const std::string outcome =
      asNobodyUnder(folder, "nobody ALL=(root) NOPASSWD: " + allowed + " yes\n", [&] {
        sudo = SudoAuthorizationService();  // the system's sudo, as the user the child now is
        std::string seen;
        for (const auto& [tool, argument] :
             {std::pair{allowed, "yes"}, {allowed, "no"}, {other, "yes"}, {missing, "yes"}}) {
          seen += run(tool, {argument, nullptr}) ? "ran, " : "refused, ";
        }
        for (const std::string& line : world.log)
          seen += line + ", ";
        return seen;
      });
  if (outcome.starts_with("skip: ")) {
    GTEST_SKIP() << outcome.substr(6);
  }
  EXPECT_EQ(outcome,
            "ran, refused, refused, refused, Error: -60005, Error: -60005, Error: -60031, ");
  EXPECT_EQ(fileText(ran), "0\n") << "only the allowed tool ran, and as root";
}

}  // namespace
}  // namespace morvane::testing
