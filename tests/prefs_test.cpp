#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <limits>

#include "platform/preferences_plist.h"
#include "platform/property_lists_libplist.h"
#include "prefs/reg_value.h"
#include "tests/temp_folder.h"

namespace morvane::testing {
namespace {

namespace fs = std::filesystem;
using Limits = std::numeric_limits<std::int32_t>;

/// Values by domain and key, and a record of the writes.
class MapPreferences final : public Preferences {
 public:
  std::optional<PreferenceValue> copyAppValue(const std::string& key,
                                              const std::string& domain) override {
    const auto value = values.find(domain + "/" + key);
    return value == values.end() ? std::nullopt : std::optional(value->second);
  }
  void setValue(const std::string& key, const PreferenceValue& value, const std::string& domain,
                PreferenceUser, PreferenceHost host) override {
    calls.push_back("set " + domain + "/" + key + (host == PreferenceHost::kAnyHost ? " any" : ""));
    values[domain + "/" + key] = value;
  }
  bool synchronize(const std::string& domain, PreferenceUser, PreferenceHost host) override {
    calls.push_back("sync " + domain + (host == PreferenceHost::kAnyHost ? " any" : ""));
    return false;
  }

  std::map<std::string, PreferenceValue> values;
  std::vector<std::string> calls;
};

/// The environment and the domain of the helpers, put back after each test.
class PrefsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saveEnvironment("HOME");
    saveEnvironment("XDG_CONFIG_HOME");
    ::setenv("XDG_CONFIG_HOME", folder.path().c_str(), 1);
    ::setenv("HOME", (folder.path() / "home").c_str(), 1);
  }
  void TearDown() override {
    QUORIX_REMOTE_REG_KEY = savedDomain;
    for (const auto& [name, value] : savedEnvironment) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
  }
  void saveEnvironment(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    savedEnvironment[name] = value ? std::optional<std::string>(value) : std::nullopt;
  }

  /// The names in the preference folder of the configuration folder `base`, subfolders too.
  static std::vector<std::string> filesIn(const fs::path& base) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::recursive_directory_iterator entry(base / "morvane" / "preferences", error), end;
         !error && entry != end; entry.increment(error)) {
      names.push_back(fs::relative(entry->path(), base / "morvane" / "preferences").string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  TempFolder folder;
  const char* savedDomain = QUORIX_REMOTE_REG_KEY;
  std::map<std::string, std::optional<std::string>> savedEnvironment;
};

TEST_F(PrefsTest, AbsentIsNotZeroAndTheWholeRangeRoundTrips) {
  std::int32_t value = 1234;
  EXPECT_FALSE(RegValueGet("Port", &value));
  EXPECT_EQ(value, 1234) << "untouched without a value";

  for (const std::int32_t stored : {0, -1, 1, 5938, Limits::min(), Limits::max()}) {
    EXPECT_TRUE(RegValueSet("Port", stored));
    value = 1234;
    EXPECT_TRUE(RegValueGet("Port", &value));
    EXPECT_EQ(value, stored);
  }
  EXPECT_EQ(filesIn(folder.path()), std::vector<std::string>{"com.quorix.remote.plist"});

  EXPECT_FALSE(RegValueGet(nullptr, &value));
  EXPECT_FALSE(RegValueGet("Port", nullptr));
  EXPECT_TRUE(RegValueSet(nullptr, 7));
  EXPECT_EQ(value, Limits::max());
}

TEST_F(PrefsTest, TheConfigurationFolderFollowsTheEnvironmentOfEachCall) {
  ASSERT_TRUE(RegValueSet("Port", 1));
  ::setenv("XDG_CONFIG_HOME", "relative/folder", 1);  // not absolute: ignored
  std::int32_t value = 0;
  EXPECT_FALSE(RegValueGet("Port", &value));
  ASSERT_TRUE(RegValueSet("Port", 2));
  EXPECT_EQ(filesIn(folder.path() / "home" / ".config"),
            std::vector<std::string>{"com.quorix.remote.plist"});
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_TRUE(RegValueGet("Port", &value));
  EXPECT_EQ(value, 2);

  // A configuration folder that cannot hold files: nothing is stored, and set still says true.
  ::setenv("XDG_CONFIG_HOME", folder.file("plain-file", "x").c_str(), 1);
  EXPECT_TRUE(RegValueSet("Port", 3));
  EXPECT_FALSE(RegValueGet("Port", &value));
  ::unsetenv("HOME");
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_TRUE(RegValueSet("Port", 4));
  EXPECT_FALSE(RegValueGet("Port", &value));
  EXPECT_EQ(value, 2);
}

TEST_F(PrefsTest, SetStoresA32BitNumberForAnyHostAndSynchronizesThatDomain) {
  MapPreferences preferences;
  EXPECT_TRUE(RegValueSet(preferences, "Port", -7)) << "even though synchronizing failed";
  EXPECT_EQ(preferences.calls, (std::vector<std::string>{"set com.quorix.remote/Port any",
                                                         "sync com.quorix.remote any"}));
  EXPECT_EQ(preferences.values["com.quorix.remote/Port"], PreferenceValue(std::int64_t{-7}));

  QUORIX_REMOTE_REG_KEY = "com.quorix.other";
  std::int32_t value = 0;
  EXPECT_FALSE(RegValueGet(preferences, "Port", &value)) << "the new domain is read";
  EXPECT_TRUE(RegValueSet(preferences, "Port", 9));
  EXPECT_EQ(preferences.calls.back(), "sync com.quorix.other any");
  QUORIX_REMOTE_REG_KEY = nullptr;
  EXPECT_FALSE(RegValueGet(preferences, "Port", &value));
  EXPECT_TRUE(RegValueSet(preferences, "Port", 10));
  EXPECT_EQ(preferences.calls.size(), 4u) << "no domain, nothing stored";
  QUORIX_REMOTE_REG_KEY = "com.quorix.remote";
  EXPECT_TRUE(RegValueGet(preferences, "Port", &value));
  EXPECT_EQ(value, -7);
}

TEST_F(PrefsTest, StoredValuesThatAreNoIntegerAreClampedCutOrAbsent) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double infinity = std::numeric_limits<double>::infinity();
  const std::int64_t big = std::int64_t{1} << 40;
  // clang-format off
  const std::pair<PreferenceValue, std::optional<std::int32_t>> cases[] = {
      {big, Limits::max()}, {-big, Limits::min()}, {std::int64_t{Limits::max()} + 1, Limits::max()},
      {std::int64_t{Limits::min()} - 1, Limits::min()},
      {std::numeric_limits<std::int64_t>::min(), Limits::min()},
      {3.9, 3}, {-3.9, -3}, {-0.5, 0}, {1e12, Limits::max()}, {-infinity, Limits::min()},
      {nan, std::nullopt}, {true, 1}, {false, 0},
      {std::string("42"), std::nullopt}, {std::string(""), std::nullopt},
  };
  // clang-format on

  MapPreferences preferences;
  for (const auto& [stored, expected] : cases) {
    preferences.values["com.quorix.remote/Key"] = stored;
    std::int32_t value = 1234;
    EXPECT_EQ(RegValueGet(preferences, "Key", &value), expected.has_value()) << stored.index();
    EXPECT_EQ(value, expected.value_or(1234)) << stored.index();
  }
}

TEST_F(PrefsTest, FileValuesOfEveryKindAsTheHelpersReadThem) {
  folder.file("morvane/preferences/com.quorix.remote.plist",
              xmlPlist("<dict><key>Negative</key><integer>-5</integer>"
                       "<key>Huge</key><integer>9999999999</integer>"
                       "<key>Real</key><real>2.75</real>"
                       "<key>Flag</key><true/>"
                       "<key>Text</key><string>12</string>"
                       "<key>Blob</key><data>AAEC</data>"
                       "<key>Date</key><date>2020-01-01T00:00:00Z</date>"
                       "<key>List</key><array><integer>1</integer></array>"
                       "<key>Nested</key><dict><key>Port</key><integer>1</integer></dict></dict>"));
  // clang-format off
  const std::pair<const char*, std::optional<std::int32_t>> cases[] = {
      {"Negative", -5}, {"Huge", Limits::max()}, {"Real", 2}, {"Flag", 1}, {"Text", std::nullopt},
      {"Blob", std::nullopt}, {"Date", std::nullopt}, {"List", std::nullopt},
      {"Nested", std::nullopt}, {"Port", std::nullopt},
  };
  // clang-format on

  for (const auto& [key, expected] : cases) {
    std::int32_t value = 1234;
    EXPECT_EQ(RegValueGet(key, &value), expected.has_value()) << key;
    EXPECT_EQ(value, expected.value_or(1234)) << key;
  }

  // Setting one value keeps every other one in the file.
  ASSERT_TRUE(RegValueSet("Port", 80));
  PlistPreferences fresh(folder.path(), "host");
  EXPECT_EQ(fresh.copyAppValue("Text", "com.quorix.remote"), PreferenceValue(std::string("12")));
  EXPECT_EQ(fresh.copyAppValue("Real", "com.quorix.remote"), PreferenceValue(2.75));
  EXPECT_EQ(fresh.copyAppValue("Huge", "com.quorix.remote"),
            PreferenceValue(std::int64_t{9999999999}));
  EXPECT_EQ(fresh.copyAppValue("Flag", "com.quorix.remote"), PreferenceValue(true));
  const PlistNode root = readPropertyListFile(
      (folder.path() / "morvane/preferences/com.quorix.remote.plist").string());
  ASSERT_TRUE(root);
  for (const char* kept : {"Blob", "Date", "List", "Nested", "Negative"}) {
    EXPECT_NE(plist_dict_get_item(root.get(), kept), nullptr) << kept;
  }
}

TEST_F(PrefsTest, ValuesAreHeldUntilSynchronizeAndThenSeenByAFreshInstance) {
  PlistPreferences writer(folder.path(), "host-a");
  const auto any = PreferenceHost::kAnyHost;
  writer.setValue("Name", std::string("M\xc3\xb6rvane <&>"), "d", PreferenceUser::kCurrentUser,
                  any);
  writer.setValue("Low", std::int64_t{Limits::min()}, "d", PreferenceUser::kCurrentUser, any);
  EXPECT_EQ(writer.copyAppValue("Low", "d"), PreferenceValue(std::int64_t{Limits::min()}));
  EXPECT_EQ(PlistPreferences(folder.path(), "host-a").copyAppValue("Low", "d"), std::nullopt);
  EXPECT_TRUE(writer.synchronize("other", PreferenceUser::kCurrentUser, any));
  EXPECT_TRUE(filesIn(folder.path()).empty()) << "nothing held for that domain";

  ASSERT_TRUE(writer.synchronize("d", PreferenceUser::kCurrentUser, any));
  PlistPreferences reader(folder.path(), "host-b");
  EXPECT_EQ(reader.copyAppValue("Name", "d"), PreferenceValue(std::string("M\xc3\xb6rvane <&>")));
  EXPECT_EQ(reader.copyAppValue("Low", "d"), PreferenceValue(std::int64_t{Limits::min()}));
  EXPECT_EQ(reader.copyAppValue("Name", "e"), std::nullopt);
  EXPECT_EQ(reader.copyAppValue("Name", ""), std::nullopt);
}

TEST_F(PrefsTest, TheCurrentHostsValueWinsOverTheOneForAnyHost) {
  PlistPreferences here(folder.path(), "host-a");
  here.setValue("Port", std::int64_t{1}, "com.quorix.remote", PreferenceUser::kCurrentUser,
                PreferenceHost::kCurrentHost);
  ASSERT_TRUE(here.synchronize("com.quorix.remote", PreferenceUser::kCurrentUser,
                               PreferenceHost::kCurrentHost));
  EXPECT_TRUE(RegValueSet(here, "Port", 2));
  std::int32_t value = 0;
  EXPECT_TRUE(RegValueGet(here, "Port", &value));
  EXPECT_EQ(value, 1);

  PlistPreferences elsewhere(folder.path(), "host/b");
  EXPECT_TRUE(RegValueGet(elsewhere, "Port", &value));
  EXPECT_EQ(value, 2);
  EXPECT_EQ(filesIn(folder.path()),
            (std::vector<std::string>{"ByHost", "ByHost/com.quorix.remote.host-a.plist",
                                      "com.quorix.remote.plist"}));
}

TEST_F(PrefsTest, AGarbageDomainFileReadsAsEmptyAndIsReplacedCleanly) {
  for (const std::string& garbage : {std::string("\x01\x02garbage"), std::string(""),
                                     xmlPlist("<array/>"), std::string("bplist00\xff\xff\xff")}) {
    folder.file("morvane/preferences/com.quorix.remote.plist", garbage);
    std::int32_t value = 1234;
    EXPECT_FALSE(RegValueGet("Port", &value));
    EXPECT_TRUE(RegValueSet("Port", -42));
    EXPECT_TRUE(RegValueGet("Port", &value));
    EXPECT_EQ(value, -42);
    EXPECT_EQ(filesIn(folder.path()), std::vector<std::string>{"com.quorix.remote.plist"})
        << "no temporary file is left";
  }

  // A write that cannot take the file's place is dropped whole and reported.
  folder.file("morvane/preferences/ByHost/d.h.plist/keep", "x");
  PlistPreferences preferences(folder.path(), "h");
  preferences.setValue("Port", std::int64_t{1}, "d", PreferenceUser::kCurrentUser,
                       PreferenceHost::kCurrentHost);
  EXPECT_FALSE(
      preferences.synchronize("d", PreferenceUser::kCurrentUser, PreferenceHost::kCurrentHost));
  EXPECT_EQ(preferences.copyAppValue("Port", "d"), PreferenceValue(std::int64_t{1}))
      << "still held";
  EXPECT_EQ(filesIn(folder.path()),
            (std::vector<std::string>{"ByHost", "ByHost/d.h.plist", "ByHost/d.h.plist/keep",
                                      "com.quorix.remote.plist"}));
}

TEST_F(PrefsTest, EveryDomainStaysInsideThePreferenceFolder) {
  for (const char* domain : {"../../escape", "a/b", "..", "a b%2F"}) {
    QUORIX_REMOTE_REG_KEY = domain;
    EXPECT_TRUE(RegValueSet("Port", 1));
    std::int32_t value = 0;
    EXPECT_TRUE(RegValueGet("Port", &value)) << domain;
  }
  // "a.b" for the current host and "a.b.<host>" for any host must not share a file.
  PlistPreferences preferences(folder.path(), "c");
  preferences.setValue("K", std::int64_t{1}, "a.b", PreferenceUser::kCurrentUser,
                       PreferenceHost::kCurrentHost);
  preferences.synchronize("a.b", PreferenceUser::kCurrentUser, PreferenceHost::kCurrentHost);
  EXPECT_EQ(preferences.copyAppValue("K", "a.b.c"), std::nullopt);
  EXPECT_EQ(filesIn(folder.path()),
            (std::vector<std::string>{"..%2F..%2Fescape.plist", "...plist", "ByHost",
                                      "ByHost/a.b.c.plist", "a%20b%252F.plist", "a%2Fb.plist"}));
}

}  // namespace
}  // namespace morvane::testing
