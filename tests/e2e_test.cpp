// Whole runs of the built executable in the sandboxed host (sandbox/), checked by what its tools
// saw (the journal: a line per call, path and arguments split by tabs), the folders and the tools'
// state afterwards. Every change to the sandbox is made by a tool, so a run whose journal holds no
// tool that writes has changed nothing; the runs on bad input and under faults also find every
// file outside what a run may change as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/sandbox_host.h"

namespace morvane::testing {
namespace {

using E2eTest = SandboxTest;

const std::string kKit = "/Users/Shared/Kit/", kKitA = kKit + "A.kext", kKitB = kKit + "B.kext";
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
  return call({"/bin/cp", "-RH", source, kEntries + name});
}

/// make-sandbox options for the kext at `path`, identified by the first letter of its name.
Args offered(const std::string& path, const std::string& version = "2.0") {
  const char letter = static_cast<char>(std::tolower(path[path.rfind('/') + 1]));
  return {"--kext", path, std::string("com.quorix.") + letter, version};
}

TEST(WholeRunTest, TheUsageTextReachesAPipeUntranslatedAndNoDisplayIsOpenedAtLaunch) {
  const ProgramResult run = runProgram({MORVANE_BINARY, "-h"}, {"PATH=/usr/bin:/bin", "DISPLAY=:97",
                                                                "LANGUAGE=de", "LC_ALL=C.UTF-8"});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.output.starts_with("Usage: Morvane [-i] SOURCEPATH_1") &&
              run.output.ends_with("reboot in morvane.\n") &&
              std::ranges::count(run.output, '\n') == 10)
      << run.output;
}

TEST_F(E2eTest, WithNeitherDisplayNorTerminalNothingIsAskedAndNothingChanges) {
  const Sandbox host(offered(kKitA));
  const ProgramResult run = runProgram(host.command({}, {kKitA}));
  EXPECT_EQ(run.status, 255);
  // One line: why no window (in the window module's words), then why no terminal.
  EXPECT_TRUE(
      run.output.starts_with("Morvane: cannot ask whether to restart, nothing was installed: ") &&
      run.output.ends_with("; no controlling terminal (/dev/tty: No such device or address)\n") &&
      std::ranges::count(run.output, '\n') == 1)
      << run.output;
  EXPECT_EQ(host.state("journal"), "");
}

TEST_F(E2eTest, BadInputAndFaultsEndWithAStatusOfTheTableAndChangeNothingElse) {
  // Installations reach the prompt on a terminal, where Enter answers "Restart Later", then run
  // the pass. Hosts start with A.kext 1.0 installed and loaded; the tools' exit statuses are
  // never looked at, so a copy that fails still ends a pass that ran.
  const std::string touch = call({"/usr/bin/touch", "/System/Library/Extensions"}),
                    listA = call({"/usr/sbin/kextstat", "-l", "-bundle-id", "com.quorix.a"}),
                    listNull = call({"/usr/sbin/kextstat", "-l", "-bundle-id", "(null)"}),
                    setBoot =
                        "/usr/bin/uname\t-m\n/usr/sbin/nvram\tboot-args\n"
                        "/usr/sbin/nvram\tboot-args=io=0x00040000\n/usr/sbin/nvram\tboot-args\n",
                    upgradeA = removal("A.kext") + copy(kKitA, "A.kext") + touch,
                    copyB = copy(kKitB, "B.kext") + touch;
  struct Row {
    std::string what = "";
    Args host = {}, args = {};  // make-sandbox's, Morvane's
    bool asked = false;         // whether the run reaches the prompt
    int status = 1;
    std::string journal = "";
    bool closedStreams = false;
    bool planted = false;  // a user's process changed files: no link may be in the extensions
  };
  const auto fault = [](const std::string& tool, const std::string& kind) {
    return Args{"--fault", tool, kind};
  };
  const Args same = offered(kKitA, "1.0"), newB = offered(kKitB),
             removeA = {"-u", kEntries + "A.kext"};
  const Args links = {"--link", kEntries + "L.kext", kKitA,
                      "--link", kEntries + "D.kext", "/nowhere"};
  const std::string marker = "/Users/Shared/.quorix_install_reboot";
  // clang-format off
  std::vector<Row> rows = {
      {.what = "odd bytes", .host = offered(kOddKit + kOdd), .args = {kOddKit + kOdd},
       .asked = true, .journal = copy(kOddKit + kOdd, kOdd) + touch},
      {.what = "offered link", .host = offered(kKitA) + Args{"--link", kKit + "L.kext", "A.kext"},
       .args = {kKit + "L.kext"}, .asked = true, .status = 255},
      // Each entry itself is removed, never the link's target.
      {.what = "removal of links", .host = offered(kKitA) + links,
       .args = {"-u", kEntries + "L.kext/", kEntries + "D.kext"},
       .journal = removal("L.kext") + removal("D.kext")},
      {.what = "garbage installed Info.plist",
       .host = offered(kKitA) + Args{"--info-plist", kEntries + "A.kext", "garbage"},
       .args = {kKitA}, .asked = true, .journal = upgradeA},
      {.what = "listing not UTF-8", .host = same + fault("/usr/sbin/kextstat", "garbage"),
       .args = {kKitA}, .asked = true, .journal = listA + touch},
      {.what = "listing of 8 MiB", .host = same + fault("/usr/sbin/kextstat", "mega"),
       .args = {kKitA}, .journal = listA},
      {.what = "listing empty", .host = same + fault("/usr/sbin/kextstat", "silent"),
       .args = {kKitA}, .asked = true, .journal = listA + touch},
      {.what = "nvram not UTF-8", .host = newB + fault("/usr/sbin/nvram", "garbage"),
       .args = {"-n", kKitB}, .asked = true, .status = 255, .journal = setBoot},
      {.what = "nvram of 8 MiB", .host = newB + fault("/usr/sbin/nvram", "mega"),
       .args = {"-n", kKitB}, .asked = true, .journal = setBoot},
      {.what = "nvram empty", .host = newB + fault("/usr/sbin/nvram", "silent"),
       .args = {"-n", kKitB}, .asked = true, .status = 255, .journal = setBoot},
      {.what = "marker in a missing folder", .host = newB,
       .args = {"-n", "-r", "/Users/Shared/no/m", kKitB}, .asked = true,
       .journal = setBoot + copyB},
      // Links planted when a tool starts, after the program looked: the marker's is refused,
      // the source's is followed by the copy.
      {.what = "marker link planted", .host = newB + Args{"--plant", "/usr/sbin/nvram", marker,
       "/etc/passwd"}, .args = {"-n", kKitB}, .asked = true, .journal = setBoot + copyB},
      {.what = "source link planted", .host = offered(kKitA) + offered("/Users/Shared/O/A.kext")
       + Args{"--plant", "/sbin/kextunload", kKitA, "/Users/Shared/O/A.kext"}, .args = {kKitA},
       .asked = true, .journal = upgradeA, .planted = true},
      {.what = "read-only extensions, install", .host = offered(kKitA) + Args{"--mount", "ro"},
       .args = {kKitA}, .asked = true, .status = 255, .journal = removal("A.kext")},
      {.what = "read-only extensions, removal", .host = {"--mount", "ro"}, .args = removeA,
       .status = 255, .journal = removal("A.kext")},
      {.what = "full disk during the copy",
       .host = newB + Args{"--info-plist", kKitB, "huge", "--mount", "full"},
       .args = {kKitB}, .asked = true, .status = 255, .journal = copy(kKitB, "B.kext")},
      {.what = "flooding tool", .host = fault("/sbin/kextunload", "flood"), .args = removeA,
       .journal = removal("A.kext")},
      {.what = "tool killed", .host = fault("/sbin/kextunload", "kill"), .args = removeA,
       .journal = removal("A.kext")},
      {.what = "tool ended with the run", .host = fault("/sbin/kextunload", "term"),
       .args = removeA, .status = 255, .journal = call({"/sbin/kextunload", kEntries + "A.kext"})},
      {.what = "standard streams closed", .host = newB, .args = {kKitB}, .asked = true,
       .journal = copyB, .closedStreams = true},
  };
  // clang-format on
  // An offered Info.plist that libplist cannot read, or must not, reads as nothing.
  for (const char* kind : {"truncated", "garbage", "deep", "huge", "mistyped"}) {
    rows.push_back({.what = kind,
                    .host = offered(kKitA) + Args{"--info-plist", kKitA, kind},
                    .args = {kKitA},
                    .asked = true,
                    .journal = listNull + touch});
  }
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const Sandbox host(installed("A") + row.host);
    const auto before = host.snapshot();
    UserRun run(host, row.args, {.closedStreams = row.closedStreams});
    EXPECT_EQ(run.prompted(), row.asked) << run.screen();
    run.keys({"Return"});
    EXPECT_EQ(run.wait(60), row.status) << run.screen();
    EXPECT_EQ(host.state("journal"), row.journal);
    if (row.planted) {
      EXPECT_EQ(runProgram({"find", host.inside(kEntries), "-type", "l"}).output, "");
    } else {
      EXPECT_EQ(host.snapshot(), before);
    }
  }
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
  const struct {
    Args arguments = {};
    int status = 0;
    bool onTerminal = false;
  } rows[] = {
      {.arguments = {}, .status = 255},
      {.arguments = {"-h"}, .status = 0},
      {.arguments = {"/Users/Shared/Missing.kext"}, .status = 255},
      {.arguments = {"-n", "-u", kEntries + "A.kext"}, .status = 1},
      {.arguments = {"-u", "Users/Shared/A.kext"}, .status = 255},
      {.arguments = {kKitA}, .status = 255},
      {.arguments = {kKitA}, .status = 1, .onTerminal = true},
  };
  const std::string supp = fs::path(__FILE__).parent_path() / "memcheck/third-party.supp";
  const Args options = {"--program", "/usr/bin/valgrind"},
             valgrind = {"--leak-check=full",
                         "--errors-for-leak-kinds=definite,indirect",
                         "--error-exitcode=99",
                         "--vgdb=no",
                         "--log-file=/tmp/memcheck.log",
                         "--suppressions=/tmp/third-party.supp",
                         "/usr/local/bin/Morvane"};
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.arguments));
    const Sandbox host(installed("A") + offered(kKitA, "1.1"));
    fs::create_directories(host.inside(tools));
    for (const auto& [from, to] :
         std::map<std::string, std::string>{{"/usr/bin/valgrind.bin", "/usr/bin/valgrind"},
                                            {supp, "/tmp/third-party.supp"},
                                            {MORVANE_BINARY, "/usr/local/bin/Morvane"},
                                            {tools + "default.supp", ""},
                                            {tools + "memcheck-amd64-linux", ""},
                                            {tools + "vgpreload_core-amd64-linux.so", ""},
                                            {tools + "vgpreload_memcheck-amd64-linux.so", ""}}) {
      fs::copy_file(from, host.inside(to.empty() ? from : to));
    }
    if (row.onTerminal) {
      UserRun run(host, valgrind + row.arguments, {.sandbox = options});
      EXPECT_TRUE(run.prompted()) << run.screen();
      run.keys({"Return"});
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
