#include "platform/posix/process_launcher_posix.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "platform/posix/process_start.h"
#include "tests/temp_folder.h"

namespace morvane::testing {
namespace {

std::optional<std::string> shell(const std::string& script) {
  return PosixProcessLauncher().launchAndReadOutput("/bin/sh", {"-c", script});
}

TEST(ProcessLauncherTest, StartsOnlyProgramsAndHandsThemArgumentsAndNoDescriptor) {
  TempFolder folder;
  PosixProcessLauncher launcher;
  // Executable but no program: glibc must not fall back to running it through a shell.
  const std::string marker = (folder.path() / "ran").string(),
                    noProgram = folder.file("garbage", "touch " + marker + "\n");
  ::chmod(noProgram.c_str(), 0755);
  EXPECT_EQ(launcher.launchAndReadOutput(noProgram, {}), std::nullopt);
  EXPECT_EQ(launcher.launchAndReadOutput(folder.path().string(), {}), std::nullopt);
  EXPECT_FALSE(std::filesystem::exists(marker));
  EXPECT_EQ(launcher.launchAndReadOutput("/usr/bin/printf", {"<%s>", "a b", "", "$(id)", "\n"}),
            "<a b><><$(id)><\n>");
  // Opened without close-on-exec, as a careless library would; ls lists its own folder as 3.
  const int stray = ::open("/dev/null", O_RDONLY);
  EXPECT_EQ(launcher.launchAndReadOutput("/bin/ls", {"/proc/self/fd"}), "0\n1\n2\n3\n");
  ::close(stray);
  EXPECT_EQ(shell("echo a; kill -9 $$"), "a\n");
  EXPECT_LE(::waitpid(-1, nullptr, WNOHANG), 0) << "a zombie is left";
}

TEST(ProcessLauncherTest, ToolsStartFromAKnownStateWhateverTheCallerLeft) {
  const pid_t child = ::fork();  // the state is the whole process's
  if (child == 0) {
    ::umask(0);
    ::signal(SIGCHLD, SIG_IGN);
    ::close(STDIN_FILENO);
    ::close(STDERR_FILENO);
    resetInheritedProcessState();
    struct stat null = {}, in = {}, err = {};
    const bool same = ::stat("/dev/null", &null) == 0 && ::fstat(STDIN_FILENO, &in) == 0 &&
                      ::fstat(STDERR_FILENO, &err) == 0 && in.st_rdev == null.st_rdev &&
                      err.st_rdev == null.st_rdev;
    ::_exit(same && ::umask(0) == 022 && ::signal(SIGCHLD, SIG_DFL) == SIG_DFL ? 0 : 1);
  }
  int status = -1;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(status, 0);
  // Run as root, the tools without privileges get the privileged tools' fixed environment.
  EXPECT_EQ(PosixProcessLauncher(true).launchAndReadOutput("/usr/bin/env", {}),
            "PATH=/usr/sbin:/usr/bin:/sbin:/bin\nLANG=C\n");
}

TEST(ProcessLauncherTest, ReadsAllOf64MiBRetriesInterruptedReadsAndKeepsItsBounds) {
  struct sigaction interrupting = {}, previous = {};
  interrupting.sa_handler = [](int) {};  // no SA_RESTART: blocked calls fail with EINTR
  ASSERT_EQ(::sigaction(SIGALRM, &interrupting, &previous), 0);
  const itimerval everyMillisecond{{0, 1000}, {0, 1000}}, off{};
  ::setitimer(ITIMER_REAL, &everyMillisecond, nullptr);
  const auto slow = shell("for i in 1 2 3; do echo $i; sleep 0.05; done; sleep 0.05");
  // A 16-byte line: a byte lost or doubled where the string grows shows as a shifted line.
  const auto big = shell("yes 0123456789abcde | head -c 67108864");
  ::setitimer(ITIMER_REAL, &off, nullptr);
  ::sigaction(SIGALRM, &previous, nullptr);
  EXPECT_EQ(slow, "1\n2\n3\n");
  std::string expected;
  for (int i = 0; i < (4 << 20); ++i) {
    expected += "0123456789abcde\n";
  }
  EXPECT_TRUE(big == expected) << "size " << big.value_or("").size();
  // Past its bounds a tool's answer is none and the tool is gone: too much output, no end, or
  // an end that does not come after the output closed.
  PosixProcessLauncher bounded(false, {.most = 1024, .patience = std::chrono::milliseconds(300)});
  for (const char* script :
       {"head -c 1025 /dev/zero", "exec sleep 30", "exec >&-; exec sleep 30"}) {
    EXPECT_EQ(bounded.launchAndReadOutput("/bin/sh", {"-c", script}), std::nullopt) << script;
  }
  EXPECT_EQ(bounded.launchAndReadOutput("/bin/sh", {"-c", "head -c 1024 /dev/zero"})->size(),
            1024u);
  EXPECT_LE(::waitpid(-1, nullptr, WNOHANG), 0) << "a zombie is left";
}

}  // namespace
}  // namespace morvane::testing
