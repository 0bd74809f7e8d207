#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "exec/tool_paths.h"
#include "platform/posix/process_launcher_posix.h"
#include "platform/posix/read_to_end.h"
#include "tests/temp_folder.h"

namespace morvane::testing {
namespace {

/// Exit status of the child when it cannot set up its mount namespace.
constexpr int kNoNamespace = 99;

/// Runs the helper with exactly `argv` (none at all is allowed) in a mount namespace of its own,
/// where the stand-in tool is bound over "/bin/cp" and /dev/log is the socket `log`. The child
/// starts the helper with 0 closed, a file mode mask of 077, an environment of its own and the
/// log socket open without close-on-exec. Its exit status and what it wrote.
std::pair<int, std::string> runHelper(const TempFolder& folder, std::vector<const char*> argv) {
  const std::string null = folder.file("null", ""), log = (folder.path() / "log").string();
  std::optional<Pipe> pipe = makePipe();
  const pid_t child = ::fork();
  if (child == 0) {
    const auto bind = [](const std::string& from, const char* to) {
      const int fd = ::open(to, O_CREAT | O_RDONLY | O_CLOEXEC, 0644);  // a mount point in /dev
      return (fd < 0 || ::close(fd) == 0) &&
             ::mount(from.c_str(), to, nullptr, MS_BIND, nullptr) == 0;
    };
    if ((::unshare(CLONE_NEWNS) != 0 && ::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        !bind(MORVANE_EXEC_STANDIN, kCpTool) || !bind("/dev/null", null.c_str()) ||
        ::mount("tmpfs", "/dev", "tmpfs", 0, nullptr) != 0 || !bind(null, "/dev/null") ||
        !bind(log, "/dev/log")) {
      ::_exit(kNoNamespace);
    }
    ::dup2(pipe->writeEnd.get(), 1);
    ::dup2(1, 2);
    ::close(0);
    ::umask(077);
    argv.push_back(nullptr);
    const char* environment[] = {"PATH=/caller", "LANG=xx", "PKEXEC_UID=1000", nullptr};
    ::execve(MORVANE_EXEC_BINARY, const_cast<char**>(argv.data()), const_cast<char**>(environment));
    ::_exit(kNoNamespace);
  }
  pipe->writeEnd.reset();
  const std::string output = readToEnd(pipe->readEnd.get()).value_or("");
  int status = 0;
  ::waitpid(child, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

TEST(ExecHelperTest, RunsOnlyAFixedToolByItsExactPathAndGivesItNothingOfTheCaller) {
  TempFolder folder;
  sockaddr_un address{.sun_family = AF_UNIX, .sun_path = {}};
  const std::string log = (folder.path() / "log").string();
  log.copy(address.sun_path, sizeof address.sun_path - 1);
  const int socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0);  // inherited, as a leak
  ASSERT_EQ(::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const struct {
    std::vector<const char*> argv;
    int status;
    std::string output;  // what the tool printed, when the helper started it
  } rows[] = {
      {{}, 64, ""},
      {{"morvane-exec"}, 64, ""},
      {{"morvane-exec", "/bin/sh", "-c", "id"}, 65, ""},
      {{"morvane-exec", "/usr/bin/cp"}, 65, ""},
      {{"morvane-exec", "bin/cp"}, 65, ""},
      {{"morvane-exec", "/bin/../bin/cp"}, 65, ""},
      {{"morvane-exec", "/bin/cpx"}, 65, ""},
      {{"morvane-exec", "/bin/cp/"}, 65, ""},
      {{"morvane-exec", ""}, 65, ""},
      {{"morvane-exec", kKextloadTool, "/x.kext"}, 66, ""},  // a fixed tool this machine lacks
      {{"morvane-exec", kCpTool, "a b", "\x01\\"},
       0,
       "arg /bin/cp\narg a b\narg \x01\\\nenv PATH=/usr/sbin:/usr/bin:/sbin:/bin\nenv LANG=C\n"
       "umask 022\nfd 0\nfd 1\nfd 2\nstdin /dev/null\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.argv));
    const auto [status, output] = runHelper(folder, row.argv);
    if (status == kNoNamespace) {
      GTEST_SKIP() << "needs a mount namespace of its own: " << output;
    }
    EXPECT_EQ(status, row.status) << output;
    if (status == 0) {
      EXPECT_EQ(output, row.output);
    }
  }
  // Only the tools it started were logged, before they started, each word on its own.
  std::string logged;
  char line[512];
  for (ssize_t length = 0; (length = ::recv(socket, line, sizeof line, 0)) > 0;) {
    const std::string text(line, length);
    logged += text.substr(text.find("]: ") + 3) + "\n";
  }
  EXPECT_EQ(logged,
            "user 1000 runs /sbin/kextload /x.kext\nuser 1000 runs /bin/cp a\\x20b \\x01\\x5c\n");
  ::close(socket);
}

}  // namespace
}  // namespace morvane::testing
