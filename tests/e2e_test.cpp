// Whole runs of the built executable in the sandboxed host (tests/sandbox): the real Morvane
// starts the sandbox's tools at their fixed paths, and these tests read what the tools saw
// (the journal), the folders and the tools' state afterwards.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/run_program.h"
#include "tests/temp_folder.h"

namespace morvane::testing {
namespace {

namespace fs = std::filesystem;

using Call = std::vector<std::string>;
using Calls = std::vector<Call>;

constexpr char kExtensions[] = "/System/Library/Extensions";
constexpr char kIo[] = "io=0x00040000";

std::vector<std::string> toolEnvironment() {
  std::vector<std::string> environment = {"PATH=/usr/sbin:/usr/bin:/sbin:/bin"};
  for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
    if (const char* value = std::getenv(name)) {
      environment.push_back(std::string(name) + "=" + value);
    }
  }
  return environment;
}

std::string script(const std::string& name) {
  return std::string(MORVANE_SANDBOX_DIR) + "/" + name;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find(separator, start)) != std::string::npos; start = end + 1) {
    pieces.push_back(text.substr(start, end - start));
  }
  pieces.push_back(text.substr(start));
  return pieces;
}

/// A field of the stand-ins' files, as written with "\\", "\t" and "\n".
std::string unescape(const std::string& field) {
  std::string text;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\' || i + 1 == field.size()) {
      text += field[i];
      continue;
    }
    const char next = field[++i];
    text += next == 't' ? '\t' : next == 'n' ? '\n' : next;
  }
  return text;
}

/// The lines of a stand-in's state file, each split at its tabs and unescaped.
std::vector<Call> records(const fs::path& file) {
  std::vector<Call> result;
  for (const std::string& line : split(readFile(file), '\n')) {
    if (line.empty()) {
      continue;
    }
    Call fields;
    for (const std::string& field : split(line, '\t')) {
      fields.push_back(unescape(field));
    }
    result.push_back(fields);
  }
  return result;
}

/// A sandbox of its own in a temporary folder, with the options of make-sandbox.
class Sandbox {
 public:
  explicit Sandbox(const std::vector<std::string>& options) : root_(folder_.path() / "root") {
    std::vector<std::string> arguments = {"make-sandbox", root_.string()};
    arguments.insert(arguments.end(), options.begin(), options.end());
    const ProgramResult made = runProgram(script("make-sandbox"), arguments, toolEnvironment());
    EXPECT_EQ(made.status, 0) << made.err;
  }

  ProgramResult morvane(const std::vector<std::string>& arguments) const {
    std::vector<std::string> all = {"run-in-sandbox", root_.string(), "--binary", MORVANE_BINARY,
                                    "--"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    ProgramResult result = runProgram(script("run-in-sandbox"), all, toolEnvironment());
    EXPECT_NE(result.status, 125) << result.err;
    return result;
  }

  /// Every tool call of the runs so far: the tool path, then its arguments.
  Calls journal() const { return records(root_ / "var/sandbox/journal"); }
  /// The bundle identifiers of the loaded kexts.
  std::set<std::string> loaded() const {
    std::set<std::string> ids;
    for (const Call& record : records(root_ / "var/sandbox/loaded")) {
      ids.insert(record.at(0));
    }
    return ids;
  }
  std::optional<std::string> bootArgs() const {
    for (const Call& record : records(root_ / "var/sandbox/nvram")) {
      if (record.at(0) == "boot-args") {
        return record.size() > 1 ? record[1] : "";
      }
    }
    return std::nullopt;
  }
  /// The names in the extensions folder.
  std::set<std::string> extensions() const {
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(inside(kExtensions))) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }
  fs::path inside(const std::string& path) const { return root_ / path.substr(1); }

  /// What every entry of the tree is (kind, mode, time, contents), by its path inside the
  /// sandbox, leaving out the journal and whatever lies under `skipped`.
  std::map<std::string, std::string> snapshot(const std::vector<std::string>& skipped = {}) const {
    std::map<std::string, std::string> entries;
    for (auto it = fs::recursive_directory_iterator(root_);
         it != fs::recursive_directory_iterator(); ++it) {
      const std::string path = "/" + fs::relative(it->path(), root_).string();
      bool skip = path == "/var/sandbox/journal";
      for (const std::string& prefix : skipped) {
        skip = skip || path == prefix || path.starts_with(prefix + "/");
      }
      if (skip) {
        it.disable_recursion_pending();
        continue;
      }
      struct stat facts {};
      ::lstat(it->path().c_str(), &facts);
      std::string& description = entries[path];
      description = std::to_string(facts.st_mode) + " " + std::to_string(facts.st_mtim.tv_sec) +
                    "." + std::to_string(facts.st_mtim.tv_nsec) + " ";
      if (S_ISLNK(facts.st_mode)) {
        description += fs::read_symlink(it->path()).string();
      } else if (S_ISREG(facts.st_mode)) {
        description += std::to_string(std::hash<std::string>{}(readFile(it->path())));
      }
    }
    return entries;
  }

 private:
  TempFolder folder_;
  fs::path root_;
};

std::string entry(const std::string& name) {
  return std::string(kExtensions) + "/" + name;
}

/// make-sandbox options for a kext installed under NAME and loaded.
std::vector<std::string> installedAndLoaded(const std::string& name, const std::string& id,
                                            const std::string& version) {
  return {"--kext", entry(name), id, version, "--loaded", id, version};
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Calls removal(const std::string& path) {
  return {{"/sbin/kextunload", path}, {"/bin/rm", "-rf", path}};
}

Calls operator+(Calls a, const Calls& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class E2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static const std::optional<std::string> unavailable = whySandboxIsUnavailable();
    if (unavailable) {
      GTEST_SKIP() << "the sandboxed host cannot run here: " << *unavailable;
    }
  }

 private:
  static std::optional<std::string> whySandboxIsUnavailable() {
    TempFolder folder;
    const std::string root = (folder.path() / "root").string();
    const ProgramResult made =
        runProgram(script("make-sandbox"), {"make-sandbox", root}, toolEnvironment());
    if (made.status != 0) {
      return "make-sandbox failed: " + made.err;
    }
    const ProgramResult check = runProgram(script("run-in-sandbox"),
                                           {"run-in-sandbox", root, "--check"}, toolEnvironment());
    if (check.status != 0) {
      return check.err;
    }
    return std::nullopt;
  }
};

TEST_F(E2eTest, UninstallUnloadsThenRemovesEachKextInTurn) {
  const Sandbox host(installedAndLoaded("A.kext", "com.quorix.a", "1.0") +
                     installedAndLoaded("B.kext", "com.quorix.b", "2.1") +
                     installedAndLoaded("C.kext", "com.quorix.c", "3.0"));
  const auto before = host.snapshot({kExtensions, "/var/sandbox/loaded"});

  // A trailing slash still names the entry, and the tools are given the entry itself.
  const ProgramResult run = host.morvane({"-u", entry("A.kext"), entry("B.kext") + "/"});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(host.journal(), removal(entry("A.kext")) + removal(entry("B.kext")));
  EXPECT_EQ(host.extensions(), std::set<std::string>{"C.kext"});
  EXPECT_EQ(host.loaded(), std::set<std::string>{"com.quorix.c"});
  EXPECT_EQ(host.snapshot({kExtensions, "/var/sandbox/loaded"}), before);

  // -f and -i change nothing for a removal: no filtering, no window, no boot argument.
  const ProgramResult forced = host.morvane({"-f", "-i", "-u", entry("C.kext")});
  EXPECT_EQ(forced.status, 1) << forced.err;
  EXPECT_EQ(host.journal(),
            removal(entry("A.kext")) + removal(entry("B.kext")) + removal(entry("C.kext")));
  EXPECT_TRUE(host.extensions().empty());
  EXPECT_TRUE(host.loaded().empty());
}

TEST_F(E2eTest, UninstallClearsBootArgsOnlyWhenTheyHoldTheIoArgument) {
  struct Case {
    std::string machine;
    std::string version;
    std::optional<std::string> bootArgs;
    std::optional<std::string> after;
    Calls calls;  // after the removal
  };
  const Call uname = {"/usr/bin/uname", "-m"};
  const Call read = {"/usr/sbin/nvram", "boot-args"};
  const Call clear = {"/usr/sbin/nvram", "boot-args="};
  const std::vector<Case> cases = {
      {"x86_64", "10.6.8", kIo, "", {uname, read, clear}},
      {"x86_64", "10.6.8", "-v io=0x00040000 debug=0x144", "", {uname, read, clear}},
      {"x86_64", "10.9.5", kIo, "", {uname, read, clear}},
      {"x86_64", "10.6.8", "debug=0x144", "debug=0x144", {uname, read}},
      {"x86_64", "10.6.8", std::nullopt, std::nullopt, {uname, read}},
      {"i386", "10.6.8", kIo, kIo, {uname}},
      {"x86_64h", "10.6.8", kIo, "", {uname, read, clear}},
      {"x86_64", "none", kIo, kIo, {uname}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.machine + " " + c.version + " boot-args " + c.bootArgs.value_or("unset"));
    std::vector<std::string> options = {"--machine", c.machine, "--version", c.version};
    if (c.bootArgs) {
      options = options + std::vector<std::string>{"--boot-args", *c.bootArgs};
    }
    const Sandbox host(options + installedAndLoaded("A.kext", "com.quorix.a", "1.0"));
    const ProgramResult run = host.morvane({"-u", "-n", entry("A.kext")});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(host.journal(), removal(entry("A.kext")) + c.calls);
    EXPECT_EQ(host.bootArgs(), c.after);
    EXPECT_TRUE(host.extensions().empty());
  }
}

TEST_F(E2eTest, UninstallStopsAtTheFirstRemovalThatFails) {
  // A path the removal refuses (inside a kext, not an entry of the folder) fails the same way
  // as a tool that cannot be started: nothing more is removed and boot-args stay.
  const Sandbox host(std::vector<std::string>{"--boot-args", kIo} +
                     installedAndLoaded("A.kext", "com.quorix.a", "1.0") +
                     installedAndLoaded("B.kext", "com.quorix.b", "1.0") +
                     installedAndLoaded("C.kext", "com.quorix.c", "1.0"));
  const ProgramResult run =
      host.morvane({"-u", "-n", entry("A.kext"), entry("B.kext/Contents"), entry("C.kext")});
  EXPECT_EQ(run.status, 255);
  EXPECT_EQ(host.journal(), removal(entry("A.kext")));
  EXPECT_EQ(host.extensions(), (std::set<std::string>{"B.kext", "C.kext"}));
  EXPECT_TRUE(fs::exists(host.inside(entry("B.kext/Contents/Info.plist"))));
  EXPECT_EQ(host.loaded(), (std::set<std::string>{"com.quorix.b", "com.quorix.c"}));
  EXPECT_EQ(host.bootArgs(), kIo);

  // Without /bin/rm the first removal cannot start: the kext is unloaded but stays in place.
  const Sandbox noRm(std::vector<std::string>{"--without", "/bin/rm", "--boot-args", kIo} +
                     installedAndLoaded("A.kext", "com.quorix.a", "1.0") +
                     installedAndLoaded("C.kext", "com.quorix.c", "1.0"));
  const ProgramResult failed = noRm.morvane({"-u", "-n", entry("A.kext"), entry("C.kext")});
  EXPECT_EQ(failed.status, 255);
  EXPECT_EQ(noRm.journal(), (Calls{{"/sbin/kextunload", entry("A.kext")}}));
  EXPECT_EQ(noRm.extensions(), (std::set<std::string>{"A.kext", "C.kext"}));
  EXPECT_EQ(noRm.loaded(), std::set<std::string>{"com.quorix.c"});
  EXPECT_EQ(noRm.bootArgs(), kIo);
}

TEST_F(E2eTest, NothingLeftToInstallEndsTheRunBeforeAnyChange) {
  const std::string offered = "/Users/Shared/Offered/";
  // The same version, and an older one than the installed copy, both loaded; one path twice.
  const Sandbox host(installedAndLoaded("A.kext", "com.quorix.a", "1.10") +
                     installedAndLoaded("B.kext", "com.quorix.b", "2.0") +
                     std::vector<std::string>{"--kext", offered + "A.kext", "com.quorix.a", "1.10",
                                              "--kext", offered + "B.kext", "com.quorix.b", "1.9"});
  const auto before = host.snapshot();
  const ProgramResult run =
      host.morvane({"-l", "-n", offered + "A.kext", offered + "B.kext", offered + "A.kext"});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(run.out, "");
  const Call askA = {"/usr/sbin/kextstat", "-l", "-bundle-id", "com.quorix.a"};
  const Call askB = {"/usr/sbin/kextstat", "-l", "-bundle-id", "com.quorix.b"};
  EXPECT_EQ(host.journal(), (Calls{askA, askB, askA}));
  EXPECT_EQ(host.snapshot(), before);
}

TEST_F(E2eTest, KextsThatNeedWorkAreKeptForThePrompt) {
  // Installed in the same version but not loaded, or older than the offered one: the filter
  // keeps them, so the run goes on to the prompt, which cannot be shown in the sandbox (no
  // display, no terminal) and ends the run with 255 before anything changes.
  const std::string offered = "/Users/Shared/Offered/";
  const Sandbox host(std::vector<std::string>{"--kext", entry("A.kext"), "com.quorix.a", "1.0",
                                              "--kext", offered + "A.kext", "com.quorix.a", "1.0",
                                              "--kext", offered + "B.kext", "com.quorix.b",
                                              "1.10"} +
                     installedAndLoaded("B.kext", "com.quorix.b", "1.9"));
  const auto before = host.snapshot();
  const ProgramResult run = host.morvane({offered + "A.kext", offered + "B.kext"});
  EXPECT_EQ(run.status, 255);
  EXPECT_EQ(host.journal(), (Calls{{"/usr/sbin/kextstat", "-l", "-bundle-id", "com.quorix.a"}}));
  EXPECT_EQ(host.snapshot(), before);
}

TEST_F(E2eTest, AMissingPathEndsTheRunBeforeAnyTool) {
  const Sandbox host(std::vector<std::string>{"--boot-args", kIo} +
                     installedAndLoaded("A.kext", "com.quorix.a", "1.0"));
  const auto before = host.snapshot();
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"-u", "-n", entry("A.kext"), entry("Missing.kext")},
        std::vector<std::string>{"-n", "-l", entry("A.kext"), "/Users/Shared/Missing.kext"}}) {
    SCOPED_TRACE(arguments.back());
    const ProgramResult run = host.morvane(arguments);
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(host.journal().empty());
    EXPECT_EQ(host.snapshot(), before);
  }
}

TEST_F(E2eTest, RemovalsOutsideTheExtensionsFolderAreRefused) {
  const Sandbox host(std::vector<std::string>{"--boot-args", kIo} +
                     installedAndLoaded("A.kext", "com.quorix.a", "1.0") +
                     std::vector<std::string>{"--kext", "/Users/Shared/X.kext", "com.quorix.x",
                                              "1.0", "--loaded", "com.quorix.x", "1.0"});
  const auto before = host.snapshot();
  // Every one of them exists, so launch lets it through to the removal.
  for (const std::string& path :
       {std::string(kExtensions), std::string(kExtensions) + "/", std::string(kExtensions) + "/.",
        std::string(kExtensions) + "/..", std::string("/System/Library"), entry("A.kext/../.."),
        entry("A.kext/Contents"), std::string("//System//Library/"),
        std::string("System/Library/Extensions/A.kext"), std::string("/Users/Shared/X.kext"),
        std::string("/")}) {
    SCOPED_TRACE(path);
    const ProgramResult run = host.morvane({"-u", "-n", path});
    EXPECT_EQ(run.status, 255);
    EXPECT_TRUE(host.journal().empty());
    EXPECT_EQ(host.snapshot(), before);
  }
}

}  // namespace
}  // namespace morvane::testing
