// The sudo service against a stand-in sudo that records what it is asked, and the wait for a
// tool it started. The argument vector handed to sudo is pinned here; what sudo does with it is
// sudo's own.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "platform/posix/authorization_sudo.h"
#include "tests/temp_folder.h"

namespace morvane::testing {
namespace {

using Lines = std::vector<std::string>;

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
  std::vector<const char*> argv;
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
    std::vector<Lines> sudoSaw;
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

}  // namespace
}  // namespace morvane::testing
