#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "platform/posix/authorization_sudo.h"
#include "platform/posix/process_launcher_posix.h"
#include "platform/posix/read_to_end.h"
#include "tests/temp_folder.h"

namespace morvane::testing {
namespace {

using Args = std::vector<const char*>;
using Lines = std::vector<std::string>;
using Calls = std::vector<Lines>;

/// Asks `service` for the rights named in `rights` (interaction allowed); the status.
OSStatus request(SudoAuthorizationService& service, AuthorizationRef reference,
                 const std::vector<const char*>& rights) {
  std::vector<AuthorizationItem> items;
  for (const char* name : rights) {
    items.push_back({name, 0, nullptr, 0});
  }
  return service.copyRights(reference, {static_cast<std::uint32_t>(items.size()), items.data()},
                            kAuthorizationFlagInteractionAllowed);
}

/// Starts `tool` with `arguments` through `service` and waits for it; the status of the start.
OSStatus runTool(SudoAuthorizationService& service, AuthorizationRef reference,
                 const std::string& tool, const Lines& arguments = {}) {
  Args argv;
  for (const std::string& argument : arguments) {
    argv.push_back(argument.c_str());
  }
  argv.push_back(nullptr);
  std::unique_ptr<PrivilegedTool> started;
  const OSStatus status =
      service.executeWithPrivileges(reference, tool.c_str(), 0, argv.data(), &started);
  if (started) {
    started->waitUntilExit();
  }
  return status;
}

TEST(SudoServiceTest, EachRequestStartAndReleaseAsSudoSeesThem) {
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
  const std::string tool = writeTool(folder, "tool", recordArguments(ran)),
                    missing = (folder.path() / "missing").string();
  const Lines hostile = {"a b", "", "'\"", "; rm -rf /", "$(touch x)", "line\nbreak", "-rf", "*"};
  Lines asked = {"-n", "-l", "--", tool}, started = {"-n", "--", tool};
  asked.insert(asked.end(), hostile.begin(), hostile.end());
  started.insert(started.end(), hostile.begin(), hostile.end());
  const char* const admin = kAuthorizationRightAdmin;
  const OSStatus ok = errAuthorizationSuccess, denied = errAuthorizationDenied;
  // The rows named "no sudo", "as root" and "a missing tool" run on such a machine.
  struct Row {
    std::string name;
    const char* verdict;
    std::vector<const char*> rights;
    OSStatus granted, start;
    Calls sudoSaw;
    AuthorizationFlags release = 0;
  };
  const Row rows[] = {
      {"released with destroy-rights", "0", {admin}, ok, ok, {{"-v"}, asked, started, {"-k"}}, 8},
      {"a wrong password", "1", {admin}, denied, denied, {{"-v"}}},
      {"Ctrl-C at the prompt", "int", {admin}, errAuthorizationCanceled, denied, {{"-v"}}},
      {"a rule that does not allow the tool", "0 1", {admin}, ok, denied, {{"-v"}, asked}},
      {"a missing tool", "0", {admin}, ok, errAuthorizationToolExecuteFailure, {{"-v"}}},
      {"another right", "0", {"system.privilege.taskport"}, denied, denied, {}},
      {"the right and another", "0", {admin, "system.privilege.taskport"}, denied, denied, {}},
      {"an empty rights set", "0", {}, denied, denied, {}},
      {"no sudo", "0", {admin}, errAuthorizationInternal, denied, {}},
      {"as root", "1", {admin}, ok, ok, {}, 8},
  };
  for (const Row& row : rows) {
    std::filesystem::remove(calls);
    std::filesystem::remove(ran);
    folder.file("verdict", std::string(row.verdict) + "\n");
    SudoAuthorizationService service(row.name == "no sudo" ? missing : sudo,
                                     [&] { return row.name == "as root"; });
    AuthorizationRef reference = kNoAuthorization;
    ASSERT_EQ(service.create(0, &reference), ok);
    EXPECT_EQ(request(service, reference, row.rights), row.granted) << row.name;
    EXPECT_EQ(runTool(service, reference, row.name == "a missing tool" ? missing : tool, hostile),
              row.start)
        << row.name;
    EXPECT_EQ(service.free(reference, row.release), ok) << row.name;
    EXPECT_EQ(fileText(calls), recorded(row.sudoSaw)) << row.name;
    EXPECT_EQ(fileText(ran), row.start == ok ? recorded({hostile}) : "") << row.name;
  }
}

TEST(SudoServiceTest, TheWaitIsForThePrivilegedToolAloneAndItsOutputCannotStallIt) {
  TempFolder folder;
  SudoAuthorizationService service("/nonexistent/sudo", [] { return true; });
  AuthorizationRef reference = kNoAuthorization;
  service.create(0, &reference);
  ASSERT_EQ(request(service, reference, {kAuthorizationRightAdmin}), errAuthorizationSuccess);
  EXPECT_EQ(
      runTool(service, reference, writeTool(folder, "big", "exec head -c 67108864 /dev/zero")),
      errAuthorizationSuccess);

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
  runTool(service, reference, writeTool(folder, "slow", "sleep 0.3; echo yes > '" + done + "'"));
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

TEST(SudoServiceTest, AToolTheUsersSudoRuleDoesNotAllowIsNeverReportedAsRun) {
  TempFolder folder;
  const std::string ran = (folder.path() / "ran").string();
  const std::string allowed = writeTool(folder, "allowed", "id -u >> '" + ran + "'");
  const std::string other = writeTool(folder, "other", "id -u >> '" + ran + "'");
  const std::string missing = (folder.path() / "missing").string();
  const std::string outcome =
      asNobodyUnder(folder, "nobody ALL=(root) NOPASSWD: " + allowed + " yes\n", [&] {
        SudoAuthorizationService sudo;  // the system's sudo, as the user the child now is
        AuthorizationRef reference = kNoAuthorization;
        sudo.create(0, &reference);
        std::string seen = std::to_string(request(sudo, reference, {kAuthorizationRightAdmin}));
        for (const auto& [tool, argument] :
             {std::pair{allowed, "yes"}, {allowed, "no"}, {other, "yes"}, {missing, "yes"}}) {
          seen += " " + std::to_string(runTool(sudo, reference, tool, {argument}));
        }
        return seen;
      });
  if (outcome.starts_with("skip: ")) {
    GTEST_SKIP() << outcome.substr(6);
  }
  EXPECT_EQ(outcome, "0 0 -60005 -60005 -60031");
  EXPECT_EQ(fileText(ran), "0\n") << "only the allowed tool ran, and as root";
}

}  // namespace
}  // namespace morvane::testing
