// Whole runs of the built executable: those that end at launch as they are, the others in the
// sandboxed host (sandbox/), checked by what its tools saw (the journal: a line per call,
// path and arguments split by tabs), the folders and the tools' state afterwards. Every change
// to the sandbox is made by a tool, so a run whose journal holds no tool that writes has
// changed nothing; the runs on bad input and under faults also find every file outside what a
// run may change as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "tests/sandbox_host.h"

namespace morvane::testing {
namespace {

using E2eTest = SandboxTest;

TEST(WholeRunTest, EndsOfRunAtLaunch) {
  // A display is named on purpose: a run that ends at launch must not try to open it.
  const Args environment = {"PATH=/usr/bin:/bin", "DISPLAY=:97", "LANGUAGE=de", "LC_ALL=C.UTF-8"};
  // The usage text is known by its first and last lines and its length, untranslated.
  const std::string usage = "Usage: Morvane [-i] SOURCEPATH_1", end = "reboot in morvane.\n";
  const std::tuple<Args, int, std::string> rows[] = {
      {{}, 255, usage},
      {{"-i", "-d", "-t", "Title"}, 255, usage},
      {{"/nonexistent/a.kext", "-h"}, 0, usage},
      {{"/", "/nonexistent/a.kext", "/"}, 255, ""},
      {{"-u", "/", "/nonexistent/a.kext"}, 255, ""},
      {{"-f", ""}, 255, ""},
  };
  for (const auto& [arguments, status, out] : rows) {
    const ProgramResult run = runProgram(Args{MORVANE_BINARY} + arguments, environment);
    EXPECT_EQ(run.status, status) << ::testing::PrintToString(arguments);
    EXPECT_TRUE(out.empty() ? run.output.empty()
                            : run.output.starts_with(out) && run.output.ends_with(end) &&
                                  std::ranges::count(run.output, '\n') == 10)
        << ::testing::PrintToString(arguments) << run.output;
  }
}

TEST_F(E2eTest, TheFilterEndsTheRunWithOneWhenNothingIsLeftToInstall) {
  // Installed and loaded in the same or a newer version (1.10 after 1.9): nothing to do.
  const std::string a = "/Users/Shared/New/A.kext", b = "/Users/Shared/New/B.kext",
                    c = "/Users/Shared/New/C.kext";
  const Sandbox host(installed("A") + installed("B", "1.10") +
                     Args{"--kext", a, "com.quorix.a", "1.0", "--kext", b, "com.quorix.b", "1.9",
                          "--kext", c, "com.quorix.c", "1.0"});
  EXPECT_EQ(host.morvane({"-l", "-n", a, b, a}).status, 1);
  const std::string ask = "/usr/sbin/kextstat\t-l\t-bundle-id\tcom.quorix.";
  EXPECT_EQ(host.state("journal"), ask + "a\n" + ask + "b\n" + ask + "a\n");

  // A kext not installed is kept, and -f skips the filter, so the run goes on to the prompt,
  // which cannot be shown in the sandbox (no display, no terminal): 255, still nothing changed.
  const ProgramResult asked = host.morvane({a, c});
  EXPECT_EQ(asked.status, 255);
  // One line: why no window (in the window module's words), then why no terminal.
  EXPECT_TRUE(
      asked.output.starts_with("Morvane: cannot ask whether to restart, nothing was installed: ") &&
      asked.output.ends_with("; no controlling terminal (/dev/tty: No such device or address)\n") &&
      std::ranges::count(asked.output, '\n') == 1)
      << asked.output;
  EXPECT_EQ(host.morvane({"-f", a}).status, 255);
  EXPECT_EQ(host.state("journal"), ask + "a\n" + ask + "b\n" + ask + "a\n" + ask + "a\n");
}

const std::string kKitA = "/Users/Shared/Kit/A.kext", kKitB = "/Users/Shared/Kit/B.kext";
// A kext name and a folder with what a shell would split or expand, and bytes that are not UTF-8.
const std::string kOdd = "Odd 'q\" $(touch x);y\n\xff.kext", kOddKit = "/Users/Shared/K it;\n\xfe/";

/// One line of the journal: the tool and its arguments, escaped as the stand-ins write them.
std::string call(const Args& words) {
  std::string line;
  for (const std::string& word : words) {
    line += (line.empty() ? "" : "\t");
    for (const char c : word) {
      line += c == '\\' ? "\\\\" : c == '\t' ? "\\t" : c == '\n' ? "\\n" : std::string(1, c);
    }
  }
  return line + "\n";
}

std::string copy(const std::string& source, const std::string& name) {
  return call({"/bin/cp", "-rf", source, entry(name)});
}

Args offered(const std::string& path, const std::string& version = "2.0") {
  const char letter = static_cast<char>(std::tolower(path[path.rfind('/') + 1]));
  return {"--kext", path, std::string("com.quorix.") + letter, version};
}

TEST_F(E2eTest, BadInputAndFaultsEndWithAStatusOfTheTableAndChangeNothingElse) {
  if (runProgram({"tmux", "-V"}).status != 0) {
    GTEST_SKIP() << "tmux is not installed (scripts/install-deps installs it)";
  }
  // Installations reach the prompt on a terminal, where Enter answers "Restart Later", then run
  // the pass. Hosts start with A.kext 1.0 installed and loaded; the tools' exit statuses are
  // never looked at, so a copy that fails still ends a pass that ran.
  const std::string touch = call({"/usr/bin/touch", kExtensions}),
                    listA = call({"/usr/sbin/kextstat", "-l", "-bundle-id", "com.quorix.a"}),
                    listNull = call({"/usr/sbin/kextstat", "-l", "-bundle-id", "(null)"}),
                    setBoot =
                        "/usr/bin/uname\t-m\n/usr/sbin/nvram\tboot-args\n"
                        "/usr/sbin/nvram\tboot-args=io=0x00040000\n/usr/sbin/nvram\tboot-args\n",
                    unloadA = call({"/sbin/kextunload", entry("A.kext")}),
                    upgradeA = removal("A.kext") + copy(kKitA, "A.kext") + touch;
  struct Row {
    std::string what;
    Args sandbox, arguments;  // make-sandbox's, Morvane's
    bool asked;               // whether the run reaches the prompt
    int status;
    std::string journal;
  };
  const auto hostile = [](const std::string& kind) {
    return offered(kKitA) + Args{"--info-plist", kKitA, kind};
  };
  const auto fault = [](const std::string& tool, const std::string& kind) {
    return Args{"--fault", tool, kind};
  };
  const Args same = offered(kKitA, "1.0"), removeA = {"-u", entry("A.kext")};
  const Row rows[] = {
      Row("odd bytes, offered", offered(kOddKit + kOdd), {kOddKit + kOdd}, true, 1,
          copy(kOddKit + kOdd, kOdd) + touch),
      Row("odd bytes, removed", offered(entry(kOdd)), {"-u", entry(kOdd)}, false, 1,
          call({"/sbin/kextunload", entry(kOdd)}) + call({"/bin/rm", "-rf", entry(kOdd)})),
      Row("offered /", {}, {"/"}, true, 255, ""),
      Row("offered .", offered(kKitA), {"/Users/Shared/Kit/."}, true, 255, ""),
      Row("offered ..", offered(kKitA), {"/Users/Shared/Kit/.."}, true, 255, ""),
      Row("offered link", offered(kKitA) + Args{"--link", "/Users/Shared/Kit/L.kext", "A.kext"},
          {"/Users/Shared/Kit/L.kext"}, true, 255, ""),
      Row("relative removal", {}, {"-u", "System/Library/Extensions/A.kext"}, false, 255, ""),
      Row("removal with ..", {}, {"-u", entry("A.kext/../A.kext")}, false, 255, ""),
      Row("unsafe removal after a safe one", {"--boot-args", "io=0x00040000"},
          {"-u", "-n", entry("A.kext"), entry("A.kext/Contents")}, false, 255, removal("A.kext")),
      Row("removal of links and a plug-in",
          offered(kKitA) + offered(entry("A.kext/Contents/PlugIns/P.KEXT")) +
              Args{"--link", entry("L.kext"), kKitA, "--link", entry("D.kext"), "/nowhere"},
          {"-u", entry("L.kext/"), entry("D.kext"),
           "/System//Library/Extensions/A.kext/Contents/PlugIns/P.KEXT/"},
          false, 1,
          removal("L.kext") + removal("D.kext") + removal("A.kext/Contents/PlugIns/P.KEXT")),
      Row("truncated Info.plist", hostile("truncated"), {kKitA}, true, 1, listNull + touch),
      Row("garbage Info.plist", hostile("garbage"), {kKitA}, true, 1, listNull + touch),
      Row("deep Info.plist", hostile("deep"), {kKitA}, true, 1, listNull + touch),
      Row("huge Info.plist", hostile("huge"), {kKitA}, true, 1, listNull + touch),
      Row("mistyped Info.plist", hostile("mistyped"), {kKitA}, true, 1, listNull + touch),
      Row("garbage installed Info.plist",
          offered(kKitA) + Args{"--info-plist", entry("A.kext"), "garbage"}, {kKitA}, true, 1,
          upgradeA),
      Row("listing not UTF-8", same + fault("/usr/sbin/kextstat", "garbage"), {kKitA}, true, 1,
          listA + touch),
      Row("listing of 8 MiB", same + fault("/usr/sbin/kextstat", "mega"), {kKitA}, false, 1, listA),
      Row("listing empty", same + fault("/usr/sbin/kextstat", "silent"), {kKitA}, true, 1,
          listA + touch),
      Row("nvram not UTF-8", offered(kKitB) + fault("/usr/sbin/nvram", "garbage"), {"-n", kKitB},
          true, 255, setBoot),
      Row("nvram of 8 MiB", offered(kKitB) + fault("/usr/sbin/nvram", "mega"), {"-n", kKitB}, true,
          1, setBoot + call({"/usr/bin/touch", "/Users/Shared/.quorix_install_reboot"})),
      Row("nvram empty", offered(kKitB) + fault("/usr/sbin/nvram", "silent"), {"-n", kKitB}, true,
          255, setBoot),
      Row("marker in a missing folder", offered(kKitB), {"-n", "-r", "/Users/Shared/no/m", kKitB},
          true, 1,
          setBoot + call({"/usr/bin/touch", "/Users/Shared/no/m"}) + copy(kKitB, "B.kext") + touch),
      Row("read-only extensions, install", offered(kKitA) + Args{"--mount", "ro"}, {kKitA}, true, 1,
          upgradeA),
      Row("read-only extensions, removal", {"--mount", "ro"}, removeA, false, 1, removal("A.kext")),
      Row("full disk during the copy",
          offered(kKitB) + Args{"--info-plist", kKitB, "huge", "--mount", "full"}, {kKitB}, true, 1,
          copy(kKitB, "B.kext") + touch),
      Row("flooding tool", fault("/sbin/kextunload", "flood"), removeA, false, 1,
          removal("A.kext")),
      Row("tool killed", fault("/sbin/kextunload", "kill"), removeA, false, 1, removal("A.kext")),
      Row("tool ended with the run", fault("/sbin/kextunload", "term"), removeA, false, 255,
          unloadA),
      Row("standard streams closed", offered(kKitB), {kClosedStreams, kKitB}, true, 1,
          copy(kKitB, "B.kext") + touch),
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const Sandbox host(installed("A") + row.sandbox);
    const auto before = host.snapshot();
    UserRun run(host, row.arguments);
    EXPECT_EQ(run.prompted(), row.asked) << run.screen();
    run.keys({"Return"});
    EXPECT_EQ(run.wait(60), row.status) << run.screen();
    EXPECT_EQ(host.state("journal"), row.journal);
    EXPECT_EQ(host.snapshot(), before);
  }
}

}  // namespace
}  // namespace morvane::testing
