// One table per rule: each row an input and what the rule makes of it.
#include <gtest/gtest.h>

#include "kext/kext_listing.h"
#include "kext/kext_paths.h"
#include "kext/version_order.h"
#include "platform/utf8.h"
#include "tests/fakes/fake_world.h"

namespace morvane::testing {
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
  // clang-format on
  for (const auto& [bytes, valid] : rows) {
    EXPECT_EQ(isValidUtf8(bytes), valid) << ::testing::PrintToString(bytes);
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
  struct Row {
    bool uninstall;  // a -u path, else an offered one
    std::string path;
    Text entry;
  };
  // clang-format off
  const Row rows[] = {
      {true, a, a}, {true, a + "//", a}, {true, "//System//Library/Extensions/A.KEXT", entry("A.KEXT")},
      {true, "/Library/Extensions/b.kext", "/Library/Extensions/b.kext"},
      {true, entry("a.kext/Contents/PlugIns/p.kext"), entry("a.kext/Contents/PlugIns/p.kext")},
      {true, "/.kext", "/.kext"}, {true, entry("b.kext/../a.kext"), {}},
      {true, "/System/./Library/Extensions/a.kext", {}}, {true, entry("a.kext/."), {}},
      {true, kExtensionsFolder, {}}, {true, entry(""), {}}, {true, entry(".."), {}},
      {true, entry("a.kext/Contents"), {}}, {true, entry("a.kextx"), {}}, {true, "/", {}},
      {true, "", {}}, {true, "a.kext", {}}, {true, "System/Library/Extensions/a.kext", {}},
      {false, "/k/a.kext", a}, {false, "/k/a.kext//", a}, {false, "a.kext", a},
      {false, "/k/..", {}}, {false, "/k/.", {}}, {false, "/k/./", {}}, {false, "/k/../", {}},
      {false, "/", {}}, {false, "//", {}}, {false, ".", {}}, {false, "", {}},
  };
  // clang-format on
  for (const Row& row : rows) {
    EXPECT_EQ(row.uninstall ? uninstallTarget(row.path) : installedCopy(row.path), row.entry)
        << (row.uninstall ? "-u " : "offered ") << '"' << row.path << '"';
  }
}

TEST_F(WorldTest, OptionScan) {
  struct Row {
    Lines arguments;
    std::string flags;  // those set, in the order f u n i l d
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
      {{"-t", "-r", "X"}, "", {}, "X", {}},
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
    start(row.arguments);
    // The usage text that -h prints is pinned by the whole runs that end at launch.
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(exitStatusOf([this] { peer().processArguments(); }), row.exit);
    EXPECT_EQ(::testing::internal::GetCapturedStdout().empty(), !row.exit);
    MorvaneAppDelegateTestPeer p = peer();
    const bool set[] = {p.forceInstall(), p.uninstall(), p.nvram(),
                        p.preInstall(),   p.loadKext(),  p.defaultInstalled()};
    std::string flags;
    for (std::size_t i = 0; i < 6; ++i) {
      flags += set[i] ? std::string(1, "funild"[i]) : "";
    }
    EXPECT_EQ(flags, row.flags);
    EXPECT_EQ(peer().windowTitle(), row.title);
    EXPECT_TRUE(!row.title || resource.window.title() == *row.title) << resource.window.title();
    EXPECT_EQ(peer().rebootFile(), row.marker);
    EXPECT_EQ(peer().pathArray(), row.paths);
  }
}

TEST_F(WorldTest, BootArgumentDecision) {
  // Tools: U uname, R boot-args read, S set, C clear, T touch of the marker (the last three with
  // rights). A null machine: uname cannot start; null boot-args: the variable cannot be read.
  // clang-format off
  struct Row {
    const char* machine; OSErr status; std::int32_t version; bool remove; const char* bootArgs;
    bool writeFails, writeSticks, marker, result; std::string tools; const char* bootArgsAfter;
  };
  const char* const kX86 = "x86_64\n";
  const char* const kIo = "io=0x00040000";
  const Row rows[] = {
      // Only an x86_64 machine whose system version is known goes on.
      {nullptr,   noErr,  0x1068, false, "-v", false, true, true,  true,  "U", "-v"},
      {"i386\n",  noErr,  0x1068, true,  kIo,  false, true, false, true,  "U", kIo},
      {"X86_64",  noErr,  0x1068, true,  kIo,  false, true, false, true,  "U", kIo},
      {" x86_64", noErr,  0x1068, true,  kIo,  false, true, false, true,  "U", kIo},
      {kX86,      fnfErr, 0x1068, false, "-v", false, true, false, false, "U", "-v"},
      // Clearing, on any version, empties the whole variable when it holds the io argument.
      {kX86,      noErr,  0x1070, true,  "-v io=0x00040000", false, true, true, true, "URC", ""},
      {kX86,      noErr,  0x1068, true,  kIo,  true,  true, false, true,  "URC", kIo},
      {kX86, noErr, 0x1068, true, "IO=0x00040000", false, true, false, true, "UR", "IO=0x00040000"},
      {kX86,      noErr,  0x1068, true,  nullptr, false, true, false, true, "UR", nullptr},
      // Setting happens only before Lion, replaces the whole variable and is read back; only
      // then is the marker created.
      {"x86_64h", noErr,  0x1070, false, "-v", false, true, true,  true,  "U", "-v"},
      {kX86,      noErr,  0x1068, false, kIo,  false, true, true,  true,  "UR", kIo},
      {kX86,      noErr,  0x1068, false, "-v", true,  true, true,  false, "URS", "-v"},
      {kX86,      noErr,  0x1068, false, "-v", false, false, true, false, "URSR", "-v"},
      {kX86,      noErr,  0x1068, false, nullptr, false, false, true, false, "URSR", nullptr},
      {kX86,      noErr,  0x1068, false, "io=0x40000", false, true, true, true, "URSRT", kIo},
      {kX86,      noErr,  0x1068, false, "", false, true, false, true, "URSR", kIo},
      {kX86,      noErr,  -1,     false, "", false, true, false, true, "URSR", kIo},
  };
  const std::map<std::string, char> letters = {
      {"run /usr/bin/uname -m", 'U'}, {"run /usr/sbin/nvram boot-args", 'R'},
      {"exec /usr/sbin/nvram boot-args=io=0x00040000", 'S'},
      {"exec /usr/sbin/nvram boot-args=", 'C'}, {"exec /usr/bin/touch /tmp/a marker", 'T'}};
  // clang-format on
  const auto text = [](const char* t) { return t ? Text(t) : std::nullopt; };
  start({"-n", "/k/a.kext"});
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << "row " << (&row - rows));
    world.journal.clear();
    world.files.erase("/tmp/a marker");
    world.machine = text(row.machine);
    world.versionStatus = row.status;
    world.version = row.version;
    world.bootArgs = text(row.bootArgs);
    world.startFailures["/usr/sbin/nvram"] = {row.writeFails ? errAuthorizationToolExecuteFailure
                                                             : errAuthorizationSuccess};
    world.bootArgsStick = row.writeSticks;
    peer().rebootFile() = row.marker ? Text("/tmp/a marker") : std::nullopt;

    EXPECT_EQ(delegate().writeNVRAMArg(row.remove), row.result);
    std::string tools;
    for (const std::string& line : world.journal) {
      tools += letters.contains(line) ? std::string(1, letters.at(line)) : "";
    }
    EXPECT_EQ(tools, row.tools);
    EXPECT_EQ(world.bootArgs, text(row.bootArgsAfter));
    EXPECT_EQ(world.files.contains("/tmp/a marker"), row.tools.ends_with('T'));
  }
}

}  // namespace
}  // namespace morvane::testing
