// Whole runs of the built executable in the sandboxed host (sandbox/), checked by what its tools
// saw, the folders and the tools' state afterwards. Every change to the sandbox is made by a
// tool, so a run whose journal holds no tool that writes has changed nothing; the runs on bad
// input and under faults also find every file outside what a run may change as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/sandbox_host.h"

namespace morvane::testing {
namespace {

using E2eTest = SandboxTest;

TEST_F(E2eTest, WithoutAPromptTheCallerIsToldWhatBecameOfTheRunAndNothingIsAsked) {
  // -h opens no display, even one named that is not there, and prints only the usage text,
  // untranslated. Neither display nor terminal: one line, why no window, then why no terminal.
  // An unattended pre-install run with -d installs at once, a relative source taken from the
  // folder the caller stood in; a path with a line break is one log line all the same.
  const std::string link = kKit + "L\nForged.kext";
  const Sandbox kit(offered(kKitA) + Args{"--link", link, "A.kext", "--kext", kKit + "notes.txt",
                                          "com.quorix.n", "1.0"});
  // What a run says: with a count of lines, how it starts and ends; without, a part of it.
  struct Row {
    Args options = {}, arguments;
    int status;
    std::string says, ends = "";
    long lines = 0;
    std::string journal = "";
  };
  // clang-format off
  const Row rows[] = {
      {.options = {"--display", ":97"}, .arguments = {"-h"}, .status = 0, .says = "Usage: Morvane [-i] SOURCEPATH_1",
       .ends = "reboot in morvane.\n", .lines = 10},
      {.arguments = {kKitA}, .status = 255, .says = "Morvane: cannot ask whether to restart, nothing was installed: ",
       .ends = "; no controlling terminal (/dev/tty: No such device or address)\n", .lines = 1},
      {.options = {"--in", kKit}, .arguments = {"-i", "-d", "A.kext"}, .status = 1,
       .says = "Morvane: nobody to ask whether to restart", .journal = copy(kKitA) + kTouch},
      {.arguments = {"/Users/Shared/Missing.kext"}, .status = 255,
       .says = "Morvane: nothing at /Users/Shared/Missing.kext: nothing was changed\n"},
      {.arguments = {"-i", "-d", kKit + "notes.txt"}, .status = 255,
       .says = "Refused: a kext to install is a path whose last piece ends in .kext."},
      {.arguments = {"-i", "-d", link}, .status = 255,
       .says = "Refused: the kext to install is a link. [" + kKit + "L\\u{0A}Forged.kext]\n"}};
  // clang-format on
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.arguments));
    const ProgramResult told =
        runProgram(Args{"env", "LANGUAGE=de"} + kit.command(row.options, row.arguments));
    EXPECT_EQ(told.status, row.status);
    EXPECT_TRUE(row.lines ? told.output.starts_with(row.says) && told.output.ends_with(row.ends) &&
                                std::ranges::count(told.output, '\n') == row.lines
                          : told.output.find(row.says) != std::string::npos)
        << told.output;
    EXPECT_EQ(kit.state("journal"), row.journal);
    runProgram({"truncate", "-s", "0", kit.inside("/var/sandbox/journal")});
  }
}

TEST_F(E2eTest, BadInputAndFaultsEndWithAStatusOfTheTableAndChangeNothingElse) {
  // Installations reach the prompt on a terminal, where Enter answers "Restart Later", then run
  // the pass. Hosts start with A.kext 1.0 installed and loaded.
  // clang-format off
  const std::string listA = call({"/usr/sbin/kextstat", "-l", "-bundle-id", "com.quorix.a"}),
      setBoot = "/usr/bin/uname\t-m\n/usr/sbin/nvram\tboot-args\n/usr/sbin/nvram\tboot-args=io=0x00040000\n/usr/sbin/nvram\tboot-args\n",
      copyB = copy(kKitB) + kTouch, marker = "/Users/Shared/.quorix_install_reboot";
  // A kext name and a folder with what a shell would split or expand, and bytes that are not UTF-8.
  const std::string odd = "/Users/Shared/K it;\n\xfe/Odd 'q\" $(touch x);y\n\xff.kext";
  const auto fault = [](const std::string& tool, const std::string& kind) { return Args{"--fault", tool, kind}; };
  const Args same = offered(kKitA, "1.0"), newB = offered(kKitB), removeA = {"-u", kEntries + "A.kext"}, ro = {"--mount", "ro"};
  // The options of make-sandbox and Morvane; whether the run reaches the prompt; planted: a
  // user's process changed files outside the extensions, where no link may be.
  const struct { Args host = {}, args = {}; bool asked = false; int status = 1; std::string journal = "";
                 bool closedStreams = false, planted = false; } rows[] = {
      {.host = offered(odd), .args = {odd}, .asked = true, .journal = copy(odd) + kTouch},
      {.host = offered(kKitA) + Args{"--link", kKit + "L.kext", "A.kext"}, .args = {kKit + "L.kext"}, .asked = true, .status = 255},
      // Each entry itself is removed, never the link's target.
      {.host = offered(kKitA) + Args{"--link", kEntries + "L.kext", kKitA, "--link", kEntries + "D.kext", "/nowhere"},
       .args = {"-u", kEntries + "L.kext/", kEntries + "D.kext"}, .journal = removal("L.kext") + removal("D.kext")},
      // A listing that is not UTF-8 is no listing; one of 8 MiB is read to its end.
      {.host = same + fault("/usr/sbin/kextstat", "garbage"), .args = {kKitA}, .asked = true, .journal = listA + kTouch},
      {.host = same + fault("/usr/sbin/kextstat", "mega"), .args = {kKitA}, .journal = listA},
      {.host = newB + fault("/usr/sbin/nvram", "mega"), .args = {"-n", kKitB}, .asked = true, .journal = setBoot},
      {.host = newB + fault("/usr/sbin/nvram", "silent"), .args = {"-n", kKitB}, .asked = true, .status = 255, .journal = setBoot},
      {.host = newB, .args = {"-n", "-r", "/Users/Shared/no/m", kKitB}, .asked = true,
       .journal = setBoot + copyB},
      // Links planted when a tool starts, after the program looked: the marker's is refused,
      // the source's is followed by the copy.
      {.host = newB + Args{"--plant", "/usr/sbin/nvram", marker, "/etc/passwd"}, .args = {"-n", kKitB}, .asked = true,
       .journal = setBoot + copyB},
      {.host = offered(kKitA) + offered("/Users/Shared/O/A.kext") + Args{"--plant", "/sbin/kextunload", kKitA, "/Users/Shared/O/A.kext"},
       .args = {kKitA}, .asked = true, .journal = removal("A.kext") + copy(kKitA) + kTouch, .planted = true},
      {.host = offered(kKitA) + ro, .args = {kKitA}, .asked = true, .status = 255, .journal = removal("A.kext")},
      {.host = ro, .args = removeA, .status = 255, .journal = removal("A.kext")},
      {.host = newB + Args{"--info-plist", kKitB, "huge", "--mount", "full"}, .args = {kKitB}, .asked = true,
       .status = 255, .journal = copy(kKitB)},
      {.host = fault("/sbin/kextunload", "flood"), .args = removeA, .journal = removal("A.kext")},
      {.host = fault("/sbin/kextunload", "kill"), .args = removeA, .journal = removal("A.kext")},
      {.host = fault("/sbin/kextunload", "term"), .args = removeA, .status = 255,
       .journal = call({"/sbin/kextunload", kEntries + "A.kext"})},
      {.host = newB, .args = {kKitB}, .asked = true, .journal = copyB, .closedStreams = true},
  };
  // clang-format on
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.host + row.args));
    const Sandbox host(offered(kEntries + "A.kext", "1.0", true) + row.host);
    const auto before = host.snapshot();
    UserRun run(host, row.args, {.closedStreams = row.closedStreams});
    EXPECT_EQ(run.prompted(), row.asked) << run.screen();
    run.keys({"Enter"});
    EXPECT_EQ(run.wait(60), row.status) << run.screen();
    EXPECT_EQ(host.state("journal"), row.journal);
    EXPECT_FALSE(fs::is_symlink(host.inside(kEntries + "A.kext")));
    EXPECT_EQ(row.planted ? before : host.snapshot(), before);
  }
}

TEST_F(E2eTest, TwoRunsInstallingTheSameKextAtOnceTakeTurns) {
  // As from a double-clicked installer: both prompts answered at once. The second pass waits
  // for the first, then finds the new copy installed; nothing is copied into it.
  const Sandbox host(offered(kEntries + "A.kext", "1.0", true) + offered(kKitA));
  UserRun first(host, {kKitA}), second(host, {kKitA});
  ASSERT_TRUE(first.prompted() && second.prompted()) << first.screen() << second.screen();
  first.keys({"Enter"});
  second.keys({"Enter"});
  EXPECT_EQ(first.wait(60), 1) << first.screen();
  EXPECT_EQ(second.wait(60), 1) << second.screen();
  EXPECT_EQ(host.state("journal"), removal("A.kext") + copy(kKitA) + kTouch + kTouch);
  EXPECT_FALSE(fs::exists(host.inside(kEntries + "A.kext/A.kext")));
}

TEST_F(E2eTest, MemcheckFindsNoLeakOrErrorInWholeRuns) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "valgrind and the sanitizers' runtime do not mix";
#endif
  // Debian's valgrind is a script that starts valgrind.bin, which looks for its tool at the path
  // it was built with.
  const std::string tools = "/usr/libexec/valgrind/";
  if (!fs::exists("/usr/bin/valgrind.bin") || !fs::exists(tools + "memcheck-amd64-linux")) {
    GTEST_SKIP() << "no valgrind with memcheck for amd64 (scripts/install-deps installs it)";
  }
  // Each way a run ends through the program's own exits; the last is answered on a terminal.
  // clang-format off
  const struct { Args arguments; int status; bool onTerminal = false; } rows[] = {
      {.arguments = {"-h"}, .status = 0}, {.arguments = {"/Users/Shared/Missing.kext"}, .status = 255},
      {.arguments = {"-n", "-u", kEntries + "A.kext"}, .status = 1}, {.arguments = {kKitA}, .status = 255},
      {.arguments = {kKitA}, .status = 1, .onTerminal = true}};
  const Args options = {"--program", tools + "valgrind.bin"},
      valgrind = {"--leak-check=full", "--errors-for-leak-kinds=definite,indirect", "--error-exitcode=99", "--vgdb=no",
                  "--log-file=/tmp/memcheck.log", "--suppressions=" + tools + "third-party.supp", tools + "Morvane"};
  const fs::path copies[] = {MORVANE_BINARY, "/usr/bin/valgrind.bin", fs::path(__FILE__).parent_path() / "memcheck/third-party.supp",
      tools + "default.supp", tools + "memcheck-amd64-linux", tools + "vgpreload_core-amd64-linux.so", tools + "vgpreload_memcheck-amd64-linux.so"};
  // clang-format on
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.arguments));
    const Sandbox host(offered(kEntries + "A.kext", "1.0", true) + offered(kKitA, "1.1"));
    fs::create_directories(host.inside(tools));
    for (const fs::path& file : copies) {
      fs::copy(file, host.inside(tools));
    }
    if (row.onTerminal) {
      UserRun run(host, valgrind + row.arguments, {.sandbox = options});
      EXPECT_TRUE(run.prompted()) << run.screen();
      run.keys({"Enter"});
      EXPECT_EQ(run.wait(120), row.status) << run.screen();
      EXPECT_NE(host.state("journal").find("/bin/cp"), std::string::npos);
    } else {
      EXPECT_EQ(runProgram(host.command(options, valgrind + row.arguments)).status, row.status);
    }
    const std::string log = fileText(host.inside("/tmp/memcheck.log"));
    EXPECT_NE(log.find("ERROR SUMMARY: 0 errors"), std::string::npos) << log;
  }
}

}  // namespace
}  // namespace morvane::testing
