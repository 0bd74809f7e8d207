#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "exec/tool_vectors.h"
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
    const rlimit small{4096, RLIM_INFINITY};  // would cut root's copies short
    ::setrlimit(RLIMIT_FSIZE, &small);
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

TEST(ExecHelperTest, AllowsEveryVectorTheProgramSendsAndNoNearMiss) {
  const std::string entry = std::string(kExtensionsFolder) + "/a.kext";
  const char* const a = entry.c_str();
  using Vectors = std::vector<std::vector<const char*>>;
  // clang-format off
  const Vectors allowed = {
      {kKextunloadTool, a}, {kKextunloadTool, "/Users/Shared/B.KEXT"}, {kRmTool, "-rf", a}, {kKextloadTool, a},
      {kCpTool, "-RH", "/k/a.kext", a}, {kCpTool, "-RH", "/k/a.kext//", a}, {kTouchTool, kExtensionsFolder},
      {kMarkerOperation, "/tmp/a marker"}, {kNvramTool, "boot-args=io=0x00040000"}, {kNvramTool, "boot-args="}};
  const Vectors refused = {
      // Another tool, or the right one by another path.
      {}, {"/bin/sh", "-c", "id"}, {"/usr/bin/cp", "-RH", "/k/a.kext", a}, {"bin/cp", "-RH", "/k/a.kext", a},
      {"/bin/../bin/cp", "-RH", "/k/a.kext", a},
      // Another destination, a second source, an extra or another option.
      {kCpTool, "-RH", "/k/a.kext", "/System/Library/Extensions/b.kext"}, {kCpTool, "-RH", "a.kext", a},
      {kCpTool, "-RH", "/k/a.kext", "/System/Library/Extensions/k/a.kext"}, {kCpTool, "-RH", "/k/a.kext", "/etc/a.kext"},
      {kCpTool, "-RH", "/k/a.kext", "/System/Library/Extensions/a.kext/"}, {kCpTool, "-rf", "/k/a.kext", a},
      {kCpTool, "-RH", "/k/passwd", "/System/Library/Extensions/passwd"}, {kCpTool, "-RH", "/k/a.kext", "/k/b.kext", a},
      {kCpTool, "-RH", "-f", "/k/a.kext", a}, {kRmTool, "-rf", "--no-preserve-root", a}, {kRmTool, "-rf", a, a},
      {kKextunloadTool, "-b", "com.quorix.a"}, {kKextloadTool, "/Users/Shared/a.kext"},
      {kKextloadTool, "/System/Library/Extensions/../a.kext"},
      // A removal of a folder that is no kext, or a kext path not as the program writes it.
      {kRmTool, "-rf", kExtensionsFolder}, {kRmTool, "-rf", "/etc"}, {kRmTool, "-rf", "/Users/Shared/a.kext/"},
      {kRmTool, "-rf", "/Users//a.kext"}, {kRmTool, "-rf", "/Users/../a.kext"}, {kRmTool, "-rf", "Users/a.kext"},
      {kKextunloadTool, "/Users/Shared"},
      // A touch of another file, another boot argument, a marker not at an absolute path.
      {kTouchTool, "/etc/passwd"}, {kTouchTool, kExtensionsFolder, "/etc/passwd"}, {kNvramTool, "boot-args=-v"},
      {kNvramTool, "boot-args=io=0x00040000", "-v"}, {kNvramTool, "-d", "boot-args"}, {kMarkerOperation, "marker"},
      {kMarkerOperation, "/tmp/"}, {kMarkerOperation}};
  // clang-format on
  for (const bool allow : {true, false}) {
    for (std::vector<const char*> argv : allow ? allowed : refused) {
      const std::string shown = ::testing::PrintToString(argv);
      argv.push_back(nullptr);
      EXPECT_EQ(isAllowedVector(argv.data()), allow) << shown;
    }
  }
}

TEST(ExecHelperTest, StartsOnlyAnAllowedVectorGivesItNothingOfTheCallerAndMakesTheMarker) {
  TempFolder folder;
  sockaddr_un address{.sun_family = AF_UNIX, .sun_path = {}};
  const std::string log = (folder.path() / "log").string();
  log.copy(address.sun_path, sizeof address.sun_path - 1);
  const int socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0);  // inherited, as a leak
  ASSERT_EQ(::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  // A link to another file waits where the marker is to be made.
  const std::string kept = folder.file("kept", "root's"), made = (folder.path() / "made").string(),
                    link = (folder.path() / "link").string(), odd = std::string("/k/\x01\\.kext"),
                    oddEntry = kExtensionsFolder + odd.substr(2);
  std::filesystem::create_symlink(kept, link);
  // clang-format off
  const struct {
    std::vector<const char*> argv;
    int status;
    std::string output = "";  // what the tool printed, when the helper started it
  } rows[] = {
      {{}, 64}, {{"morvane-exec"}, 64}, {{"morvane-exec", kCpTool, "a", "b"}, 65},
      {{"morvane-exec", kKextloadTool, "/System/Library/Extensions/x.kext"}, 66},  // not here
      {{"morvane-exec", kCpTool, "-RH", odd.c_str(), oddEntry.c_str()}, 0,
       "arg /bin/cp\narg -RH\narg " + odd + "\narg " + oddEntry + "\nenv PATH=/usr/sbin:/usr/bin:/sbin:/bin\n"
       "env LANG=C\numask 022\nfd 0\nfd 1\nfd 2\nfsize unlimited\nstdin /dev/null\n"},
      {{"morvane-exec", kMarkerOperation, made.c_str()}, 0}, {{"morvane-exec", kMarkerOperation, link.c_str()}, 1},
      {{"morvane-exec", kMarkerOperation, folder.path().c_str()}, 1}};
  // clang-format on
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.argv));
    const auto [status, output] = runHelper(folder, row.argv);
    if (status == kNoNamespace) {
      GTEST_SKIP() << "needs a mount namespace of its own: " << output;
    }
    EXPECT_EQ(status, row.status) << output;
    if (status == 0 && !row.output.empty()) {
      EXPECT_EQ(output, row.output);
    }
  }
  // The marker is a new empty file; the link's target kept its content, the link stayed.
  EXPECT_EQ(fileText(made), "");
  EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(made)));
  EXPECT_EQ(fileText(kept), "root's");
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  // Only allowed vectors started, each logged before, each word on its own; a refusal too.
  std::string logged;
  char line[512];
  for (ssize_t length = 0; (length = ::recv(socket, line, sizeof line, 0)) > 0;) {
    const std::string text(line, length);
    logged += text.substr(text.find("]: ") + 3) + "\n";
  }
  const std::string odds = "/k/\\x01\\x5c.kext /System/Library/Extensions/\\x01\\x5c.kext";
  // clang-format off
  EXPECT_EQ(logged, "user 1000 may not run /bin/cp a b\nuser 1000 runs /sbin/kextload /System/Library/Extensions/x.kext\n"
                    "user 1000 runs /bin/cp -RH " + odds + "\nuser 1000 runs --mark " + made + "\nuser 1000 runs --mark " +
                    link + "\nuser 1000 runs --mark " + folder.path().string() + "\n");
  // clang-format on
  ::close(socket);
}

}  // namespace
}  // namespace morvane::testing
