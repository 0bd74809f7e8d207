#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include "platform/authorization_sudo.h"
#include "platform/process_launcher_posix.h"
#include "tests/delegate_fixture.h"
#include "tests/test_tools.h"

namespace morvane::testing {
namespace {

using Args = std::vector<const char*>;

/// A null-terminated tool argument vector.
Args args(std::initializer_list<const char*> texts) {
  Args vector(texts);
  vector.push_back(nullptr);
  return vector;
}

class PrivilegedTest : public DelegateTest {
 protected:
  void SetUp() override { start({"-f", "/k/a.kext"}); }
};

TEST_F(PrivilegedTest, CreatesOnceAndAsksForTheRightBeforeEveryTool) {
  const std::string request = "copyRights system.privilege.admin 19";
  // A failed creation asks nothing and starts nothing; the next tool tries again.
  authorization.createStatus = errAuthorizationInternal;
  EXPECT_FALSE(peer().executePrivilegesWithCommand("/bin/rm", args({"-rf", "/x"}).data()));
  EXPECT_EQ(peer().authorizationRef(), kNoAuthorization);
  authorization.createStatus = 0;

  // A refusal leaves the credential held and the tool unstarted; the next tool asks again.
  authorization.copyRightsStatuses = {errAuthorizationCanceled};
  EXPECT_FALSE(peer().executePrivilegesWithCommand("/bin/rm", args({"-rf", "/x"}).data()));
  EXPECT_TRUE(peer().executePrivilegesWithCommand("/bin/rm", args({"-rf", "/x"}).data()));

  // A tool that cannot start still had the right asked for first.
  authorization.executeStatuses["/bin/cp"] = {errAuthorizationToolExecuteFailure};
  EXPECT_FALSE(peer().executePrivilegesWithCommand("/bin/cp", args({"-rf", "a", "b"}).data()));
  EXPECT_TRUE(peer().authorizeSetting());

  EXPECT_EQ(journal, (Journal{"create 0", "create 0", request, request, "exec /bin/rm -rf /x",
                              "wait /bin/rm", request, "exec /bin/cp -rf a b", request}));
  EXPECT_EQ(authorization.requestedOn, std::vector<AuthorizationRef>(4, 102));
  EXPECT_EQ(log.lines,
            (std::vector<std::string>{"Error Creating Initial Authorization: -60008",
                                      "Copy Rights Unsuccessful: -60006", "Error: -60031"}));
}

/// The delegate over the sudo service, with a stand-in sudo that records its arguments, answers
/// `-v` from the file "verdict" (an exit status, or "int" to end by SIGINT) and runs the tool
/// after `-n --`.
class SudoTest : public DelegateTest {
 protected:
  SudoTest() {
    setVerdict("0");
    writeTool(folder, "sudo",
              recordArguments(sudoRecord) + "\nread v < '" + verdictFile +
                  "'\n"
                  "case \"$1\" in\n"
                  "  -v) [ \"$v\" = int ] && kill -INT $$; exit \"$v\" ;;\n"
                  "  -n) [ \"$2\" = -v ] && exit \"$v\"; [ \"$2\" = -- ] && shift 2 && exec \"$@\" "
                  ";;\n"
                  "esac\n"
                  "exit 0");
  }
  void setVerdict(const std::string& verdict) { folder.file("verdict", verdict + "\n"); }
  bool runPrivileged(const char* tool, const Args& arguments) {
    return peer.executePrivilegesWithCommand(tool, arguments.data());
  }

  TempFolder folder;
  const std::string sudoRecord = (folder.path() / "sudo-calls").string();
  const std::string toolRecord = (folder.path() / "tool-calls").string();
  const std::string verdictFile = (folder.path() / "verdict").string();
  bool administrator = false;
  SudoAuthorizationService sudo{(folder.path() / "sudo").string(),
                                [this] { return administrator; }};
  Platform realPlatform{files,       processes, sudo, propertyLists, systemInfo, appleEvents,
                        application, localizer, log,  process,       {"Morvane"}};
  MorvaneAppDelegate runner{realPlatform};
  MorvaneAppDelegateTestPeer peer{runner};
};

TEST_F(SudoTest, EveryArgumentReachesTheToolAsOneEntry) {
  const std::string recorder = writeTool(folder, "recorder", recordArguments(toolRecord));
  const std::vector<std::string> hostile = {
      "a b", "", "'\"quoted\"'", "; rm -rf /", "$(touch x)", "`id`", "line\nbreak", "-rf", "*"};
  Args arguments;
  for (const std::string& argument : hostile) {
    arguments.push_back(argument.c_str());
  }
  arguments.push_back(nullptr);
  ASSERT_TRUE(runPrivileged(recorder.c_str(), arguments));

  std::vector<std::string> throughSudo{"-n", "--", recorder};
  throughSudo.insert(throughSudo.end(), hostile.begin(), hostile.end());
  EXPECT_EQ(recordedCalls(sudoRecord),
            (std::vector<std::vector<std::string>>{{"-v"}, throughSudo}));
  EXPECT_EQ(recordedCalls(toolRecord), (std::vector<std::vector<std::string>>{hostile}));

  // As administrator the tool starts directly, without sudo.
  administrator = true;
  ASSERT_TRUE(runPrivileged(recorder.c_str(), args({"direct"})));
  EXPECT_EQ(recordedCalls(sudoRecord).size(), 2u);
  EXPECT_EQ(recordedCalls(toolRecord).back(), std::vector<std::string>{"direct"});
}

TEST_F(SudoTest, RefusalsAndFailuresBecomeStatuses) {
  const std::string touches = writeTool(folder, "touches", "touch '" + toolRecord + "'");
  setVerdict("1");
  EXPECT_FALSE(runPrivileged(touches.c_str(), args({})));
  setVerdict("int");
  EXPECT_FALSE(runPrivileged(touches.c_str(), args({})));
  EXPECT_EQ(fileText(toolRecord), "") << "a refused tool was started";
  setVerdict("0");
  EXPECT_FALSE(runPrivileged("touch", args({})));
  EXPECT_TRUE(runPrivileged(touches.c_str(), args({})));
  EXPECT_EQ(log.lines,
            (std::vector<std::string>{"Copy Rights Unsuccessful: -60005",
                                      "Copy Rights Unsuccessful: -60006", "Error: -60031"}));
}

TEST_F(SudoTest, TheServiceAnswersWithTheStatusesOfTheOriginalPlatform) {
  AuthorizationItem right{"system.privilege.admin", 0, nullptr, 0};
  AuthorizationItem other{"system.other", 0, nullptr, 0};
  AuthorizationRef reference = kNoAuthorization;
  std::unique_ptr<PrivilegedTool> started;
  ASSERT_EQ(sudo.create(0, &reference), 0);
  EXPECT_EQ(sudo.copyRights(reference, {1, &right}, 0), 0);  // may not ask: "-n -v"
  EXPECT_EQ(sudo.copyRights(reference, {1, &other}, 19), errAuthorizationDenied);
  EXPECT_EQ(sudo.executeWithPrivileges(reference, "/bin/true", 0, args({}).data(), &started),
            errAuthorizationDenied)
      << "the last request was refused";
  EXPECT_EQ(sudo.free(reference, 8), 0);  // the rights go too: "-k"
  EXPECT_EQ(sudo.copyRights(reference, {1, &right}, 19), -60002) << "freed";
  EXPECT_EQ(recordedCalls(sudoRecord),
            (std::vector<std::vector<std::string>>{{"-n", "-v"}, {"-k"}}));

  SudoAuthorizationService missing{(folder.path() / "no-sudo").string(), [] { return false; }};
  ASSERT_EQ(missing.create(0, &reference), 0);
  EXPECT_EQ(missing.copyRights(reference, {1, &right}, 19), errAuthorizationInternal);

  // As administrator nothing is asked, and a tool that cannot start is reported.
  administrator = true;
  ASSERT_EQ(sudo.create(0, &reference), 0);
  EXPECT_EQ(sudo.copyRights(reference, {1, &right}, 19), 0);
  EXPECT_EQ(
      sudo.executeWithPrivileges(reference, folder.path().c_str(), 0, args({}).data(), &started),
      errAuthorizationToolExecuteFailure);
  EXPECT_EQ(recordedCalls(sudoRecord).size(), 2u);
}

TEST_F(SudoTest, TheWaitIsForThePrivilegedToolAloneAndItsOutputCannotStallIt) {
  EXPECT_TRUE(
      runPrivileged(writeTool(folder, "big", "exec head -c 67108864 /dev/zero").c_str(), args({})));

  // One child of the program has already ended, one is still running.
  pid_t ended = -1;
  pid_t running = -1;
  const char* const endsArgs[] = {"/bin/true", nullptr};
  const char* const runsArgs[] = {"/bin/sleep", "30", nullptr};
  ASSERT_EQ(::posix_spawn(&ended, "/bin/true", nullptr, nullptr, const_cast<char* const*>(endsArgs),
                          nullptr),
            0);
  ASSERT_EQ(::posix_spawn(&running, "/bin/sleep", nullptr, nullptr,
                          const_cast<char* const*>(runsArgs), nullptr),
            0);
  siginfo_t info{};
  ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(ended), &info, WEXITED | WNOWAIT), 0);

  // The tool's effect appears only after a pause: a wait for any child would return first.
  const std::string done = (folder.path() / "done").string();
  EXPECT_TRUE(runPrivileged(
      writeTool(folder, "slow", "sleep 0.3; echo yes > '" + done + "'").c_str(), args({})));
  EXPECT_EQ(fileText(done), "yes\n");
  int status = 0;
  EXPECT_EQ(::waitpid(ended, &status, WNOHANG), ended) << "the ended child was reaped by another";
  EXPECT_EQ(::waitpid(running, &status, WNOHANG), 0) << "the running child was waited for";
  ::kill(running, SIGKILL);
  EXPECT_EQ(::waitpid(running, &status, 0), running);
}

}  // namespace
}  // namespace morvane::testing
