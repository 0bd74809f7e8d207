#include <gtest/gtest.h>

#include "kext/kext_listing.h"
#include "kext/version_order.h"
#include "platform/posix/property_lists_libplist.h"
#include "tests/delegate_fixture.h"
#include "tests/temp_folder.h"

namespace morvane::testing {
namespace {

using Arguments = std::vector<std::string>;
constexpr char kInstalled[] = "/System/Library/Extensions/a.kext";

class InspectionTest : public DelegateTest {
 protected:
  void SetUp() override {
    start({"/k/a.kext"});
    files.addFile("/usr/sbin/kextstat", true);
    processes.answer = [this](const std::string&, const Arguments& arguments) {
      asked.push_back(arguments);
      return listing;
    };
  }

  /// checkKextUpgrade of `offered` with the given versions of the offered and installed copies.
  int status(const std::string& offered, const std::optional<std::string>& offeredVersion,
             const std::optional<std::string>& installedVersion) {
    propertyLists.bundleVersions.clear();
    if (offeredVersion)
      propertyLists.bundleVersions[offered] = *offeredVersion;
    if (installedVersion)
      propertyLists.bundleVersions[kInstalled] = *installedVersion;
    return peer().checkKextUpgrade(offered);
  }

  std::optional<std::string> listing = "com.quorix.a (1.0.4) <7 5>\n";
  std::vector<Arguments> asked;
};

TEST(KextListingTest, OnlyAParenthesizedTokenBetweenSeparatorsCounts) {
  const std::pair<std::string, bool> plain[] = {
      {"", false},     {"(", false},   {"()", true},        {"(1.0)", true},  {"x(1.0)", false},
      {"(1.0", false}, {"( )", false}, {"(1.0) ( x", true}, {"(1.0)(", false}};
  for (const auto& [output, loaded] : plain) {
    EXPECT_EQ(listsALoadedKext(output), loaded) << '"' << output << '"';
  }
  for (const std::string s : {" ", "\t", "\n", "\r", "\u0085", "\u00a0", "\u2028", "\u3000"}) {
    EXPECT_TRUE(listsALoadedKext("a" + s + "(1.0)" + s + "b")) << "separator " << s;
    EXPECT_TRUE(listsALoadedKext(s + "()")) << "last " << s;
    EXPECT_FALSE(listsALoadedKext("(1." + s + "0)")) << "split inside " << s;
  }
  // A zero-width space looks blank but separates nothing.
  EXPECT_FALSE(listsALoadedKext("a \u200b(1.0) b"));
  EXPECT_FALSE(listsALoadedKext("a (1.0)\u200b b"));
}

TEST(VersionOrderTest, DigitRunsCompareByValueAndEverythingElseByCharacter) {
  // clang-format off
  const std::tuple<const char*, const char*, int> cases[] = {
      {"1.10", "1.9", 1}, {"1.0", "1.0", 0}, {"007", "7", 0}, {"1.007", "1.7", 0},
      {"1.0", "1.0.1", -1}, {"", "0", -1}, {"1.0a", "1.0", 1}, {"a", "1", 1},
      {"1.9b", "1.10a", -1}, {"2.0b3", "2.0b12", -1},
      {"18446744073709551616", "18446744073709551615", 1},
      {"99999999999999999999999999.1", "99999999999999999999999999.2", -1},
  };
  // clang-format on
  for (const auto& [left, right, order] : cases) {
    const int forth = compareNumerically(left, right), back = compareNumerically(right, left);
    EXPECT_EQ((forth > 0) - (forth < 0), order) << left << " vs " << right;
    EXPECT_EQ((back > 0) - (back < 0), -order) << right << " vs " << left;
  }
}

TEST_F(InspectionTest, UpgradeStatusAgainstTheInstalledCopy) {
  EXPECT_EQ(status("/k/a.kext", std::nullopt, "1.0"), 0) << "no installed copy";
  files.addDirectory(kInstalled);
  const std::tuple<std::optional<std::string>, std::optional<std::string>, int> cases[] = {
      {"1.10", "1.9", 1},       {"1.9", "1.10", 3},       {"1.0", "1.0", 2},
      {"01.9", "1.9", 2},       {std::nullopt, "1.0", 2}, {std::nullopt, std::nullopt, 2},
      {"1.0", std::nullopt, 1}, {"", std::nullopt, 1},
  };
  for (const auto& [offered, installed, expected] : cases) {
    EXPECT_EQ(status("/k/a.kext", offered, installed), expected)
        << offered.value_or("(none)") << " vs " << installed.value_or("(none)");
  }
  // The installed copy is found by the last path component, trailing slashes left out.
  EXPECT_EQ(status("/k/a.kext/", "2.0", "1.0"), 1);
  EXPECT_EQ(status("/k/b.kext", "2.0", "1.0"), 0);
  for (const std::string path : {"/", "..", "/k/."}) {
    EXPECT_EQ(status(path, "1.0", "1.0"), 0) << path;
  }
}

TEST_F(InspectionTest, LoadedQueryAsksTheListingToolAboutTheBundlesIdentifier) {
  EXPECT_FALSE(peer().isKextLoadedInSystem("/k/bare.kext"));
  EXPECT_EQ(processes.launches, 0) << "no Info.plist, no tool";

  files.addFile("/k/a.kext/Contents/Info.plist");
  propertyLists.files["/k/a.kext/Contents/Info.plist"]["CFBundleIdentifier"] = "com.quorix.a";
  EXPECT_TRUE(peer().isKextLoadedInSystem("/k/a.kext"));
  listing = "com.quorix.a (1.0) \xff\n";
  EXPECT_FALSE(peer().isKextLoadedInSystem("/k/a.kext")) << "output that is not UTF-8";
  files.addFile("/k/anonymous.kext/Contents/Info.plist");
  EXPECT_FALSE(peer().isKextLoadedInSystem("/k/anonymous.kext"));
  const Arguments forA = {"-l", "-bundle-id", "com.quorix.a"};
  EXPECT_EQ(asked, (std::vector<Arguments>{forA, forA, {"-l", "-bundle-id", "(null)"}}));
  EXPECT_EQ(journal.back(), "run /usr/sbin/kextstat -l -bundle-id (null)");

  // getInfoPlistWithKey: nothing for an absent key, a folder or a missing file.
  files.addDirectory("/k/folder.plist");
  propertyLists.files["/k/folder.plist"] = propertyLists.files["/k/gone"] = {{"K", "v"}};
  EXPECT_EQ(peer().getInfoPlistWithKey("CFBundleVersion", "/k/a.kext/Contents/Info.plist"),
            std::nullopt);
  EXPECT_EQ(peer().getInfoPlistWithKey("K", "/k/folder.plist"), std::nullopt);
  EXPECT_EQ(peer().getInfoPlistWithKey("K", "/k/gone"), std::nullopt);
}

TEST_F(InspectionTest, AnIdentifierThatIsNotTextIsAskedAboutAsNull) {
  TempFolder folder;
  LibplistPropertyLists plists;
  Platform platform{files,       processes, authorization, plists,  systemInfo, appleEvents,
                    application, localizer, log,           process, {"Morvane"}};
  MorvaneAppDelegate delegate(platform);
  files.addFile(folder.file("odd.kext/Contents/Info.plist",
                            xmlPlist("<dict><key>CFBundleIdentifier</key><integer>42</integer>"
                                     "</dict>")));
  EXPECT_TRUE(
      MorvaneAppDelegateTestPeer(delegate).isKextLoadedInSystem(folder.path() / "odd.kext"));
  EXPECT_EQ(asked.back(), (Arguments{"-l", "-bundle-id", "(null)"}));
}

}  // namespace
}  // namespace morvane::testing
