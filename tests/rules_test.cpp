// One table per rule: each row an input and what the rule makes of it.
#include <gtest/gtest.h>

#include "kext/kext_listing.h"
#include "kext/kext_paths.h"
#include "kext/version_order.h"
#include "platform/utf8.h"
#include "tests/fakes/machine.h"

namespace morvane {

/// Reads the run state that the command line sets: the flags set (in the order f u n i l d), the
/// title, the marker and the paths.
class MorvaneAppDelegateTestPeer {
 public:
  using State = std::tuple<std::string, std::optional<std::string>, std::optional<std::string>,
                           std::vector<std::string>>;
  static State scanned(const MorvaneAppDelegate& d) {
    std::string flags;
    for (const auto& [set, letter] : {std::pair{d.m_bForceInstall, 'f'},
                                      {d.m_bUninstall, 'u'},
                                      {d.m_bNVRAM, 'n'},
                                      {d.m_bPreInstall, 'i'},
                                      {d.m_bLoadKext, 'l'},
                                      {d.m_bDefaultInstalled, 'd'}}) {
      flags += set ? std::string(1, letter) : "";
    }
    return {flags, d.windowTitle, d.preInstallCheckRebootFile, d.m_pathArray};
  }
};

namespace testing {
namespace {

using namespace std::string_literals;
using Text = std::optional<std::string>;

TEST(RulesTest, VersionOrder) {
  // clang-format off
  const std::tuple<const char*, const char*, int> rows[] = {
      {"1.10", "1.9", 1}, {"1.0", "1.0", 0}, {"007", "7", 0}, {"1.007", "1.7", 0},
      {"1.0", "1.0.1", -1}, {"", "0", -1}, {"1.0a", "1.0", 1}, {"a", "1", 1}, {"1.0.", "1.0", 1},
      {"1.9b", "1.10a", -1}, {"2.0b3", "2.0b12", -1}, {"0010", "9", 1},
      {"18446744073709551616", "18446744073709551615", 1},
      {"99999999999999999999999999.1", "99999999999999999999999999.2", -1},
      {"000000000000000000000000001", "1", 0},
  };
  // clang-format on
  for (const auto& [left, right, order] : rows) {
    const int forth = compareNumerically(left, right), back = compareNumerically(right, left);
    EXPECT_EQ((forth > 0) - (forth < 0), order) << left << " vs " << right;
    EXPECT_EQ((back > 0) - (back < 0), -order) << right << " vs " << left;
  }
}

TEST(RulesTest, Utf8Check) {
  // clang-format off
  const std::pair<std::string, bool> rows[] = {
      {""s, true}, {"a\0z"s, true}, {"\xDF\xBF"s, true}, {"\xEF\xBF\xBF"s, true},
      {"\xF0\x9F\x98\x80"s, true}, {"\xF4\x8F\xBF\xBF"s, true}, {"\x80"s, false}, {"\xFF"s, false},
      // Overlong, surrogates, above U+10FFFF, truncated, a bad continuation byte.
      {"\xC0\x80"s, false}, {"\xC1\xBF"s, false}, {"\xE0\x9F\xBF"s, false},
      {"\xF0\x8F\xBF\xBF"s, false}, {"\xED\xA0\x80"s, false}, {"\xED\xBF\xBF"s, false},
      {"\xF4\x90\x80\x80"s, false}, {"\xF5\x80\x80\x80"s, false}, {"a\xC3"s, false},
      {"\xF0\x9F\x98"s, false}, {"\xE2\x28\xA1"s, false}, {"\xF0\x9F\x98\xC0"s, false},
  };
  // What a log line or the terminal gets of a text: control characters as their code points,
  // bytes of no character as bytes, the rest whole.
  const std::pair<std::string, std::string> escapes[] = {
      {"/k/a b.kext", "/k/a b.kext"}, {"Sp\xC3\xA4ter \xE2\x82\xAC", "Sp\xC3\xA4ter \xE2\x82\xAC"},
      {"a\nForged line\r", "a\\u{0A}Forged line\\u{0D}"}, {"\x1B[2J\x7F"s, "\\u{1B}[2J\\u{7F}"},
      {"\xC2\x85\xC2\x9B", "\\u{85}\\u{9B}"}, {"a\0b"s, "a\\u{00}b"}, {"\xFF\xC3", "\\xFF\\xC3"},
  };
  // clang-format on
  for (const auto& [bytes, valid] : rows) {
    EXPECT_EQ(isValidUtf8(bytes), valid) << ::testing::PrintToString(bytes);
  }
  for (const auto& [text, escaped] : escapes) {
    EXPECT_EQ(escapeControls(text), escaped) << ::testing::PrintToString(text);
  }
}

TEST(RulesTest, ListingSeparators) {
  // clang-format off
  std::vector<std::pair<std::string, bool>> rows = {
      {"", false}, {"(", false}, {"()", true}, {"(1.0)", true}, {"x(1.0)", false},
      {"(1.0", false}, {"( )", false}, {"(1.0) ( x", true}, {"(1.0)(", false},
      {"a \u200b(1.0) b", false}, {"a (1.0)\u200b b", false}};
  // clang-format on
  // A zero-width space (above) looks blank but separates nothing; these do.
  for (const std::string s : {" ", "\t", "\n", "\r", "\u0085", "\u00a0", "\u2028", "\u3000"}) {
    rows.insert(rows.end(),
                {{"a" + s + "(1.0)" + s + "b", true}, {s + "()", true}, {"(1." + s + "0)", false}});
  }
  for (const auto& [output, loaded] : rows) {
    EXPECT_EQ(listsALoadedKext(output), loaded) << ::testing::PrintToString(output);
  }
}

TEST(RulesTest, PathSafety) {
  const std::string a = entry("a.kext");
  using Rows = std::vector<std::pair<std::string, Text>>;
  // A -u path and the entry the tools get, none when it is refused; an offered path and the
  // entry it is installed as.
  // clang-format off
  const Rows removals = {
      {a, a}, {a + "//", a}, {"//System//Library/Extensions/A.KEXT", entry("A.KEXT")},
      {"/Library/Extensions/b.kext", "/Library/Extensions/b.kext"}, {"/.kext", "/.kext"},
      {entry("a.kext/Contents/PlugIns/p.kext"), entry("a.kext/Contents/PlugIns/p.kext")},
      {entry("b.kext/../a.kext"), {}}, {"/System/./Library/Extensions/a.kext", {}}, {entry("a.kext/."), {}},
      {kExtensionsFolder, {}}, {entry(""), {}}, {entry(".."), {}}, {entry("a.kext/Contents"), {}},
      {entry("a.kextx"), {}}, {"/", {}}, {"", {}}, {"a.kext", {}}, {"System/Library/Extensions/a.kext", {}}};
  const Rows offers = {
      {"/k/a.kext", a}, {"/k/a.kext//", a}, {"a.kext", a}, {"/k/A.KEXT", entry("A.KEXT")},
      {"/Users/Shared/notes.txt", {}}, {"/k/a.kextx", {}}, {"/k/..", {}}, {"/k/.", {}}, {"/k/./", {}},
      {"/k/../", {}}, {"/", {}}, {"//", {}}, {".", {}}, {"", {}}};
  // clang-format on
  for (const auto& [path, target] : removals) {
    EXPECT_EQ(uninstallTarget(path), target) << "-u \"" << path << '"';
  }
  for (const auto& [path, target] : offers) {
    EXPECT_EQ(installedCopy(path), target) << "offered \"" << path << '"';
  }
}

TEST(RulesTest, OptionScan) {
  struct Row {
    Lines arguments;
    std::string flags;
    Text title, marker;
    Lines paths;
    std::optional<int> exit = {};
  };
  // clang-format off
  const Row rows[] = {
      {{"-force", "-uninstall", "-nvram", "-inst", "-load", "-default", "-H", "-x", "/a.kext"}, "funild", {}, {}, {"/a.kext"}},
      {{"/a.kext", "-i", "/b.kext", "/a.kext", "-d"}, "id", {}, {}, {"/a.kext", "/b.kext", "/a.kext"}},
      {{"", "-", "-t", "-", "/a.kext"}, "", {}, {}, {"", "/a.kext"}},
      {{"-t", ""}, "", "", {}, {}},
      {{"-tTitle", "/a.kext"}, "", "/a.kext", {}, {}},
      {{"-t", "-u", "/a.kext"}, "u", {}, {}, {"/a.kext"}},
      {{"-r", "-t", "X"}, "", "X", {}, {}},
      {{"-t", "-r", "X"}, "", {}, "/Users/Shared/Kit/X", {}},
      {{"-t", "A", "-t", "B", "/a.kext"}, "", "B", {}, {"/a.kext"}},
      {{"/a.kext", "-r"}, "", {}, {}, {"/a.kext"}},
      // The value must stand right after its option: a path in between takes the index.
      {{"-t", "/a.kext", "-r", "/b.kext", "/c.kext"}, "", "/a.kext", "/b.kext", {"/c.kext"}},
      // -h prints the usage text and ends the scan, wherever it stands.
      {{"-h"}, "", {}, {}, {}, 0},
      {{"-help", "/a.kext"}, "", {}, {}, {}, 0},
      {{"/a.kext", "-h", "-u", "/b.kext"}, "", {}, {}, {"/a.kext"}, 0},
      {{"-u", "/missing.kext", "-hx", "-f"}, "u", {}, {}, {"/missing.kext"}, 0},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.arguments));
    Machine machine;
    machine.version = 0x1070;  // no default marker
    ::testing::internal::CaptureStdout();
    const std::optional<int> status = machine.launch(row.arguments);
    const bool printed = !::testing::internal::GetCapturedStdout().empty();
    EXPECT_EQ(printed, row.exit == 0 || row.paths.empty());
    EXPECT_TRUE(!row.exit || status == row.exit);
    EXPECT_EQ(MorvaneAppDelegateTestPeer::scanned(machine.delegate()),
              std::tuple(row.flags, row.title, row.marker, row.paths));
    EXPECT_TRUE(!row.title || machine.resource.window.title() == *row.title);
  }
}

TEST(RulesTest, BootArgumentDecision) {
  // Tools: U uname, R boot-args read, S set, C clear, T the marker made (the last three with
  // rights). A null machine: uname cannot start; null boot-args: the variable cannot be read.
  struct Row {
    Text machine = "x86_64\n";
    std::optional<std::int32_t> version = 0x1068;
    bool remove = false;
    Text bootArgs = "-v";
    bool writeFails = false, writeSticks = true, marker = true, result = true;
    std::string tools;
    Text bootArgsAfter;
  };
  const char* const kIo = "io=0x00040000";
  // clang-format off
  const Row rows[] = {
      // Only an x86_64 machine whose system version is known goes on.
      {.machine = {}, .tools = "U", .bootArgsAfter = "-v"},
      {.machine = "i386\n", .remove = true, .bootArgs = kIo, .tools = "U", .bootArgsAfter = kIo},
      {.machine = "X86_64", .remove = true, .bootArgs = kIo, .tools = "U", .bootArgsAfter = kIo},
      {.machine = " x86_64", .remove = true, .bootArgs = kIo, .tools = "U", .bootArgsAfter = kIo},
      {.version = {}, .result = false, .tools = "U", .bootArgsAfter = "-v"},
      // Clearing, on any version, empties the whole variable when it holds the io argument.
      {.version = 0x1070, .remove = true, .bootArgs = "-v io=0x00040000", .tools = "URC", .bootArgsAfter = ""},
      {.remove = true, .bootArgs = kIo, .writeFails = true, .tools = "URC", .bootArgsAfter = kIo},
      {.remove = true, .bootArgs = "IO=0x00040000", .tools = "UR", .bootArgsAfter = "IO=0x00040000"},
      {.remove = true, .bootArgs = {}, .tools = "UR", .bootArgsAfter = {}},
      // Setting happens only before Lion, replaces the whole variable and is read back; only
      // then is the marker created.
      {.machine = "x86_64h", .version = 0x1070, .tools = "U", .bootArgsAfter = "-v"},
      {.bootArgs = kIo, .tools = "UR", .bootArgsAfter = kIo},
      {.writeFails = true, .result = false, .tools = "URS", .bootArgsAfter = "-v"},
      {.writeSticks = false, .result = false, .tools = "URSR", .bootArgsAfter = "-v"},
      {.bootArgs = {}, .writeSticks = false, .result = false, .tools = "URSR", .bootArgsAfter = {}},
      {.bootArgs = "io=0x40000", .tools = "URSRT", .bootArgsAfter = kIo},
      {.bootArgs = "", .marker = false, .tools = "URSR", .bootArgsAfter = kIo},
      {.version = -1, .bootArgs = "", .marker = false, .tools = "URSR", .bootArgsAfter = kIo},
  };
  const std::map<std::string, char> letters = {
      {"run /usr/bin/uname -m", 'U'}, {"run /usr/sbin/nvram boot-args", 'R'},
      {"exec /usr/sbin/nvram boot-args=io=0x00040000", 'S'},
      {"exec /usr/sbin/nvram boot-args=", 'C'}, {"exec --mark /tmp/a marker", 'T'}};
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << "row " << (&row - rows));
    Machine machine;
    machine.offer("/k/a.kext", "1.0");
    machine.offer(entry("a.kext"), "1.0");
    machine.machine = row.machine;
    machine.version = row.version;
    machine.bootArgs = row.bootArgs;
    if (row.writeFails) {
      machine.faults.cannotStart = {"/usr/sbin/nvram boot-args=io=0x00040000",
                                    "/usr/sbin/nvram boot-args="};
    }
    machine.bootArgsStick = row.writeSticks;
    Lines command = row.marker ? Lines{"-n", "-r", "/tmp/a marker"} : Lines{"-n"};
    const Lines kext = row.remove ? Lines{"-u", entry("a.kext")} : Lines{"-f", "/k/a.kext"};
    command.insert(command.end(), kext.begin(), kext.end());
    // A clear that fails never fails the removal; a set that fails fails the pass.
    EXPECT_EQ(machine.launch(command, Answer::kLater),
              row.result || row.remove ? kExitSuccess : kExitFailure);
    std::string tools;
    for (const std::string& line : machine.calls) {
      tools += letters.contains(line) ? std::string(1, letters.at(line)) : "";
    }
    EXPECT_EQ(tools, row.tools);
    EXPECT_EQ(machine.bootArgs, row.bootArgsAfter);
  }
}

}  // namespace
}  // namespace testing
}  // namespace morvane
