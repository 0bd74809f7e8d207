// The preference helpers on real files; each call reads or writes through a fresh instance, as
// each call of the exported helpers does. Run as root, those take root's own folder, so the
// tests name a temporary one.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <limits>

#include "platform/posix/plist_bounds.h"
#include "platform/posix/preferences_plist.h"
#include "prefs/reg_value.h"
#include "tests/temp_folder.h"

namespace morvane::testing {
namespace {

namespace fs = std::filesystem;
using Limits = std::numeric_limits<std::int32_t>;

constexpr char kDomainFile[] = "morvane/preferences/com.quorix.remote.plist";

struct RecordedLog final : Log {
  void write(const std::string& message) override { lines.push_back(message); }
  std::vector<std::string> lines;
};

/// The configuration folder and the helpers' domain, put back after each test.
class PrefsTest : public ::testing::Test {
 protected:
  void TearDown() override { QUORIX_REMOTE_REG_KEY = savedDomain; }

  bool set(const char* key, std::int32_t value) {
    PlistPreferences preferences(folder.path());
    return regValueSet(preferences, key, value, log);
  }
  /// What RegValueGet reads for `key`; none when it says false, which must leave the value.
  std::optional<std::int32_t> get(const char* key) const {
    const PlistPreferences preferences(folder.path());
    std::int32_t value = 1234;
    const bool found = regValueGet(preferences, key, &value);
    EXPECT_TRUE(found || value == 1234) << key << " changed to " << value << " though absent";
    return found ? std::optional(value) : std::nullopt;
  }
  TempFolder folder;
  RecordedLog log;
  const char* savedDomain = QUORIX_REMOTE_REG_KEY;
};

TEST_F(PrefsTest, ValueConversions) {
  // Rows: the stored value, what RegValueGet reads (none: no value).
  // clang-format off
  const std::pair<std::string, std::optional<std::int32_t>> rows[] = {
      {"<integer>-7</integer>", -7}, {"<integer>9999999999</integer>", Limits::max()},
      {"<integer>-9999999999</integer>", Limits::min()}, {"<real>-3.9</real>", -3},
      {"<real>3.9</real>", 3}, {"<real>1e300</real>", Limits::max()},
      {"<real>-1e300</real>", Limits::min()}, {"<real>nan</real>", 0}, {"<true/>", 1},
      {"<false/>", 0}, {"<string>12</string>", std::nullopt}, {"<data>AAE=</data>", std::nullopt},
      {"<date>2020-01-01T00:00:00Z</date>", std::nullopt},
      {"<array><integer>1</integer></array>", std::nullopt},
      {"<dict><key>Port</key><integer>1</integer></dict>", std::nullopt},
  };
  // clang-format on
  std::string dictionary;
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    dictionary += "<key>K" + std::to_string(i) + "</key>" + rows[i].first;
  }
  folder.file(kDomainFile, xmlPlist("<dict>" + dictionary + "</dict>"));
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    EXPECT_EQ(get(("K" + std::to_string(i)).c_str()), rows[i].second) << rows[i].first;
  }
  // Setting keeps the file's other values, and the whole range comes back. Null reads nothing.
  EXPECT_EQ(get("Port"), std::nullopt);
  for (const std::int32_t stored : {0, Limits::min(), Limits::max()}) {
    EXPECT_TRUE(set("Port", stored));
    EXPECT_EQ(get("Port"), stored);
  }
  EXPECT_EQ(get("K3"), -3);
  EXPECT_EQ(get(nullptr), std::nullopt);
  const PlistPreferences preferences(folder.path());
  EXPECT_FALSE(regValueGet(preferences, "Port", nullptr));
  EXPECT_TRUE(set(nullptr, 1)) << "stores nothing, and says true";
}

TEST_F(PrefsTest, TheDomainIsReadAfreshOnEveryCallAndItsFileReplacedWhole) {
  // An empty file holds nothing to keep; it is replaced in one rename: no temporary file is left.
  folder.file(kDomainFile, "");
  EXPECT_EQ(get("Port"), std::nullopt);
  ASSERT_TRUE(set("Port", 7));
  EXPECT_EQ(get("Port"), 7);
  QUORIX_REMOTE_REG_KEY = nullptr;
  EXPECT_TRUE(set("Port", 10)) << "no domain: nothing stored";
  EXPECT_EQ(get("Port"), std::nullopt);
  QUORIX_REMOTE_REG_KEY = "../../escape";  // stays inside the preference folder
  EXPECT_TRUE(set("Port", 11));
  EXPECT_EQ(get("Port"), 11);
  QUORIX_REMOTE_REG_KEY = "com.quorix.remote";
  EXPECT_EQ(get("Port"), 7);
  const fs::path stored = folder.path() / "morvane/preferences";
  EXPECT_TRUE(fs::exists(stored / "..%2F..%2Fescape.plist"));
  EXPECT_EQ(std::count_if(
                fs::directory_iterator(stored), {},
                [](const fs::directory_entry& file) { return file.path().extension() != ".lock"; }),
            2);
  EXPECT_EQ(log.lines, std::vector<std::string>{});
}

TEST_F(PrefsTest, TwoProcessesSavingTheDomainAtOnceLoseNoKey) {
  constexpr int kKeys = 40;
  const pid_t child = ::fork();
  for (int i = 0; i < kKeys; ++i) {
    set(((child == 0 ? "B" : "A") + std::to_string(i)).c_str(), i);
  }
  if (child == 0) {
    ::_exit(0);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  for (const std::string prefix : {"A", "B"}) {
    for (int i = 0; i < kKeys; ++i) {
      EXPECT_EQ(get((prefix + std::to_string(i)).c_str()), i) << prefix << i;
    }
  }
}

TEST_F(PrefsTest, AFileThatCannotBeReadIsKeptAndTheSaveFailsAndIsLogged) {
  const std::string kept = xmlPlist("<dict><key>Other</key><integer>5</integer></dict>");
  const fs::path domain = folder.path() / kDomainFile;
  const fs::path elsewhere = folder.file("elsewhere/com.quorix.remote.plist", kept);
  const auto link = [](const fs::path& from, const fs::path& to) {
    return [=] {
      fs::create_directories(from.parent_path());
      fs::create_symlink(to, from);
    };
  };
  const auto holding = [this](const std::string& bytes) {
    return [=, this] { folder.file(kDomainFile, bytes); };
  };
  struct Row {
    const char* name;
    std::function<void()> plant;
    bool asRoot = false;  // links are not followed
  };
  // clang-format off
  const Row rows[] = {
      {.name = "a read error (EIO)", .plant = link(domain, "/proc/self/mem")},
      {.name = "the file is a link", .plant = link(domain, elsewhere), .asRoot = true},
      {.name = "a folder is a link", .plant = link(domain.parent_path(), elsewhere.parent_path()), .asRoot = true},
      // Beyond the bounds of every property list the program reads, or no dictionary.
      {.name = "garbage", .plant = holding("\x01\x02garbage")},
      {.name = "an array", .plant = holding(xmlPlist("<array><integer>5</integer></array>"))},
      {.name = "too large", .plant = holding(kept + std::string(kLargestPropertyList, ' '))}};
  // clang-format on
  for (const auto& row : rows) {
    fs::remove_all(folder.path() / "morvane");
    row.plant();
    const fs::file_type planted = fs::symlink_status(domain).type();
    const auto contents = [&] {  // what a link names is checked through `elsewhere`
      return planted == fs::file_type::regular ? fileText(domain.string()) : "";
    };
    const std::string before = contents();
    log.lines.clear();
    PlistPreferences preferences(folder.path(), !row.asRoot);
    regValueSet(preferences, "Port", 1, log);
    EXPECT_EQ(log.lines, std::vector<std::string>{"Preference Port not saved: the file of "
                                                  "com.quorix.remote cannot be read or written, "
                                                  "and is left as it was."})
        << row.name;
    EXPECT_EQ(fs::symlink_status(domain).type(), planted) << row.name;
    EXPECT_EQ(contents(), before) << row.name;
    EXPECT_EQ(fileText(elsewhere.string()), kept) << row.name;
  }
}

}  // namespace
}  // namespace morvane::testing
