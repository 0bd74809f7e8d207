// The preference helpers on real files; each call reads or writes through a fresh instance.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <limits>

#include "platform/posix/preferences_plist.h"
#include "prefs/reg_value.h"
#include "tests/temp_folder.h"

namespace morvane::testing {
namespace {

using Limits = std::numeric_limits<std::int32_t>;

/// The configuration folder and the helpers' domain, put back after each test.
class PrefsTest : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("XDG_CONFIG_HOME", folder.path().c_str(), 1); }
  void TearDown() override {
    QUORIX_REMOTE_REG_KEY = savedDomain;
    savedFolder.empty() ? ::unsetenv("XDG_CONFIG_HOME")
                        : ::setenv("XDG_CONFIG_HOME", savedFolder.c_str(), 1);
  }

  /// What RegValueGet reads for `key`; none when it says false, which must leave the value.
  static std::optional<std::int32_t> get(const char* key, Preferences* preferences = nullptr) {
    std::int32_t value = 1234;
    const bool found =
        preferences ? RegValueGet(*preferences, key, &value) : RegValueGet(key, &value);
    EXPECT_TRUE(found || value == 1234) << key << " changed to " << value << " though absent";
    return found ? std::optional(value) : std::nullopt;
  }
  TempFolder folder;
  const char* savedDomain = QUORIX_REMOTE_REG_KEY;
  std::string savedFolder = ::getenv("XDG_CONFIG_HOME") ? ::getenv("XDG_CONFIG_HOME") : "";
};

TEST_F(PrefsTest, ValueConversions) {
  // Rows: the stored value, what RegValueGet reads (none: no value).
  // clang-format off
  const std::pair<std::string, std::optional<std::int32_t>> rows[] = {
      {"<integer>-7</integer>", -7}, {"<integer>9999999999</integer>", Limits::max()},
      {"<integer>-9999999999</integer>", Limits::min()}, {"<real>-3.9</real>", -3},
      {"<real>3.9</real>", 3}, {"<real>1e300</real>", Limits::max()},
      {"<real>-1e300</real>", Limits::min()}, {"<true/>", 1}, {"<false/>", 0},
      {"<string>12</string>", std::nullopt}, {"<data>AAE=</data>", std::nullopt},
      {"<date>2020-01-01T00:00:00Z</date>", std::nullopt},
      {"<array><integer>1</integer></array>", std::nullopt},
      {"<dict><key>Port</key><integer>1</integer></dict>", std::nullopt},
  };
  // clang-format on
  std::string dictionary;
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    dictionary += "<key>K" + std::to_string(i) + "</key>" + rows[i].first;
  }
  folder.file("morvane/preferences/com.quorix.remote.plist",
              xmlPlist("<dict>" + dictionary + "</dict>"));
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    EXPECT_EQ(get(("K" + std::to_string(i)).c_str()), rows[i].second) << rows[i].first;
  }
  // Setting keeps the file's other values, and the whole range comes back. Null reads nothing.
  EXPECT_EQ(get("Port"), std::nullopt);
  for (const std::int32_t stored : {0, Limits::min(), Limits::max()}) {
    EXPECT_TRUE(RegValueSet("Port", stored));
    EXPECT_EQ(get("Port"), stored);
  }
  EXPECT_EQ(get("K3"), -3);
  EXPECT_EQ(get(nullptr), std::nullopt);
  EXPECT_FALSE(RegValueGet("Port", nullptr));
  EXPECT_TRUE(RegValueSet(nullptr, 1)) << "stores nothing, and says true";
}

TEST_F(PrefsTest, TheCurrentHostsValueWinsOverTheOneForAnyHost) {
  PlistPreferences here(folder.path(), "host-a");
  here.setValue("Port", std::int64_t{1}, "com.quorix.remote", PreferenceUser::kCurrentUser,
                PreferenceHost::kCurrentHost);
  ASSERT_TRUE(here.synchronize("com.quorix.remote", PreferenceUser::kCurrentUser,
                               PreferenceHost::kCurrentHost));
  EXPECT_TRUE(RegValueSet(here, "Port", 2));
  PlistPreferences freshHere(folder.path(), "host-a"), elsewhere(folder.path(), "host-b");
  EXPECT_EQ(get("Port", &freshHere), 1);
  EXPECT_EQ(get("Port", &elsewhere), 2);
}

TEST_F(PrefsTest, TheDomainIsReadAfreshOnEveryCallAndItsFileReplacedWhole) {
  // A garbage file reads as empty and is replaced in one rename: no temporary file is left.
  folder.file("morvane/preferences/com.quorix.remote.plist", "\x01\x02garbage");
  EXPECT_EQ(get("Port"), std::nullopt);
  ASSERT_TRUE(RegValueSet("Port", 7));
  EXPECT_EQ(get("Port"), 7);
  QUORIX_REMOTE_REG_KEY = nullptr;
  EXPECT_TRUE(RegValueSet("Port", 10)) << "no domain: nothing stored";
  EXPECT_EQ(get("Port"), std::nullopt);
  QUORIX_REMOTE_REG_KEY = "../../escape";  // stays inside the preference folder
  EXPECT_TRUE(RegValueSet("Port", 11));
  EXPECT_EQ(get("Port"), 11);
  QUORIX_REMOTE_REG_KEY = "com.quorix.remote";
  EXPECT_EQ(get("Port"), 7);
  const std::filesystem::path stored = folder.path() / "morvane/preferences";
  EXPECT_TRUE(std::filesystem::exists(stored / "..%2F..%2Fescape.plist"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(stored), {}), 2);
}

}  // namespace
}  // namespace morvane::testing
