#include "platform/process_launcher_posix.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/test_tools.h"

namespace morvane::testing {
namespace {

using namespace std::string_literals;

class ProcessLauncherTest : public ::testing::Test {
 protected:
  std::optional<std::string> launch(const std::string& tool,
                                    const std::vector<std::string>& arguments = {}) {
    return launcher.launchAndReadOutput(tool, arguments);
  }

  /// True when the test process has no ended child left unreaped.
  static bool noZombie() {
    int status = 0;
    return ::waitpid(-1, &status, WNOHANG) <= 0;
  }

  TempFolder folder;
  PosixProcessLauncher launcher;
};

TEST_F(ProcessLauncherTest, WhatCannotStartGivesNoResult) {
  const std::string marker = (folder.path() / "ran").string();
  const std::string notExecutable = writeTool(folder, "plain", "touch " + marker, 0644);
  // Executable but no program: glibc must not fall back to running it through a shell.
  const std::string noProgram = folder.file("garbage", "touch " + marker + "\n");
  ::chmod(noProgram.c_str(), 0755);
  for (const std::string& tool :
       {(folder.path() / "missing").string(), folder.path().string(), notExecutable, noProgram}) {
    EXPECT_EQ(launch(tool, {"x"}), std::nullopt) << tool;
  }
  EXPECT_EQ(fileText(marker), "");
  EXPECT_TRUE(noZombie());
}

TEST_F(ProcessLauncherTest, EachArgumentArrivesAsOneEntryAfterTheToolPath) {
  EXPECT_EQ(launch("/bin/cat", {"/proc/self/cmdline"}), "/bin/cat\0/proc/self/cmdline\0"s);
  const std::vector<std::string> hostile = {
      "a b", "", "'\"", "; rm -rf /", "$(touch x)", "`id`", "line\nbreak", "*", "-n"};
  std::vector<std::string> arguments{"<%s>"};
  arguments.insert(arguments.end(), hostile.begin(), hostile.end());
  std::string expected;
  for (const std::string& argument : hostile) {
    expected += "<" + argument + ">";
  }
  EXPECT_EQ(launch("/usr/bin/printf", arguments), expected);
}

TEST_F(ProcessLauncherTest, ReadsEveryByteWhateverTheToolDoesAfterwards) {
  // A 16-byte line: a byte lost or doubled where the string grows shows as a shifted line.
  const std::string big = writeTool(folder, "big", "yes 0123456789abcde | head -c 67108864");
  const std::optional<std::string> output = launch(big);
  ASSERT_TRUE(output);
  EXPECT_EQ(output->size(), 64u << 20);
  std::string expected;
  for (std::size_t i = 0; i < (4u << 20); ++i) {
    expected += "0123456789abcde\n";
  }
  EXPECT_TRUE(*output == expected);

  // The exit status never shapes the result; error output stays the program's own.
  EXPECT_EQ(launch(writeTool(folder, "fails", "printf 'half\\0way'; exit 3")), "half\0way"s);
  EXPECT_EQ(launch(writeTool(folder, "quiet", "echo oops >&2")), "");
  EXPECT_EQ(launch(writeTool(folder, "killed", "echo before; kill -9 $$")), "before\n");
  EXPECT_TRUE(noZombie());
}

TEST_F(ProcessLauncherTest, NoDescriptorOfTheProgramReachesTheTool) {
  // Opened without close-on-exec, as a careless library would.
  const int stray = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(stray, 0);
  const int high = ::dup2(stray, 200);
  // ls lists its own descriptor of the folder as 3.
  EXPECT_EQ(launch(writeTool(folder, "fds", "exec ls /proc/self/fd")), "0\n1\n2\n3\n");
  ::close(stray);
  ::close(high);
}

TEST_F(ProcessLauncherTest, InterruptedReadsAndWaitsAreRetried) {
  struct sigaction interrupting {};
  interrupting.sa_handler = [](int) {};  // no SA_RESTART: blocked calls fail with EINTR
  struct sigaction previous {};
  ASSERT_EQ(::sigaction(SIGALRM, &interrupting, &previous), 0);
  const itimerval everyMillisecond{{0, 1000}, {0, 1000}};
  ASSERT_EQ(::setitimer(ITIMER_REAL, &everyMillisecond, nullptr), 0);

  const std::string slow =
      writeTool(folder, "slow", "for i in 1 2 3; do echo $i; sleep 0.05; done; sleep 0.05");
  const std::optional<std::string> output = launch(slow);

  const itimerval off{};
  ::setitimer(ITIMER_REAL, &off, nullptr);
  ::sigaction(SIGALRM, &previous, nullptr);
  EXPECT_EQ(output, "1\n2\n3\n");
  EXPECT_TRUE(noZombie());
}

}  // namespace
}  // namespace morvane::testing
