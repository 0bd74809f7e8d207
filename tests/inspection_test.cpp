#include <gtest/gtest.h>

#include "kext/kext_listing.h"
#include "kext/version_order.h"
#include "platform/property_lists_libplist.h"
#include "tests/delegate_fixture.h"
#include "tests/temp_folder.h"

namespace morvane::testing {
namespace {

constexpr char kKextstat[] = "/usr/sbin/kextstat";

class InspectionTest : public DelegateTest {
 protected:
  void SetUp() override {
    start({"/k/a.kext"});
    files.addFile(kKextstat, true);
    processes.answer = [this](const std::string&, const std::vector<std::string>& arguments) {
      asked.push_back(arguments);
      return listing;
    };
  }

  /// An offered kext with a bundle information file holding `identifier`, if any.
  void addBundle(const std::string& path, const std::optional<std::string>& identifier) {
    files.addDirectory(path);
    files.addFile(path + "/Contents/Info.plist");
    auto& info = propertyLists.files[path + "/Contents/Info.plist"];
    info["CFBundleVersion"] = "1.0";
    if (identifier) {
      info["CFBundleIdentifier"] = *identifier;
    }
  }

  std::optional<std::string> listing;
  std::vector<std::vector<std::string>> asked;
};

TEST_F(InspectionTest, InfoPlistLookupGivesNothingForFoldersMissingFilesAndAbsentKeys) {
  const std::map<std::string, std::string> info = {{"CFBundleIdentifier", "com.quorix.a"}};
  files.addFile("/k/Info.plist");
  files.addDirectory("/k/folder.plist");
  propertyLists.files = {{"/k/Info.plist", info}, {"/k/folder.plist", info}, {"/k/gone", info}};

  EXPECT_EQ(peer().getInfoPlistWithKey("CFBundleIdentifier", "/k/Info.plist"), "com.quorix.a");
  EXPECT_EQ(peer().getInfoPlistWithKey("CFBundleVersion", "/k/Info.plist"), std::nullopt);
  EXPECT_EQ(peer().getInfoPlistWithKey("CFBundleIdentifier", "/k/folder.plist"), std::nullopt);
  EXPECT_EQ(peer().getInfoPlistWithKey("CFBundleIdentifier", "/k/gone"), std::nullopt);
}

TEST_F(InspectionTest, LoadedQueryAsksTheListingToolAboutTheBundlesIdentifier) {
  files.addDirectory("/k/bare.kext");
  EXPECT_FALSE(peer().isKextLoadedInSystem("/k/bare.kext"));
  EXPECT_EQ(processes.launches, 0) << "no bundle information, no tool";

  addBundle("/k/a.kext", "com.quorix.a");
  listing =
      "Index Refs Address Size Wired Name (Version) <Linked Against>\n"
      "  112    0 0xffffff7f 0x5000 0x5000 com.quorix.a (1.0.4) <7 5 4 3>\n";
  EXPECT_TRUE(peer().isKextLoadedInSystem("/k/a.kext"));
  listing = "Index Refs Address Size Wired Name <Linked Against>\n";
  EXPECT_FALSE(peer().isKextLoadedInSystem("/k/a.kext"));
  listing = std::nullopt;
  EXPECT_FALSE(peer().isKextLoadedInSystem("/k/a.kext"));
  listing = "com.quorix.a (1.0) \xff\n";
  EXPECT_FALSE(peer().isKextLoadedInSystem("/k/a.kext")) << "output that is not UTF-8";

  addBundle("/k/anonymous.kext", std::nullopt);
  listing = "";
  EXPECT_FALSE(peer().isKextLoadedInSystem("/k/anonymous.kext"));

  using Arguments = std::vector<std::string>;
  const Arguments forA = {"-l", "-bundle-id", "com.quorix.a"};
  EXPECT_EQ(asked, (std::vector<Arguments>{forA, forA, forA, forA,
                                           Arguments{"-l", "-bundle-id", "(null)"}}));
  EXPECT_EQ(journal.back(), "run /usr/sbin/kextstat -l -bundle-id (null)");

  files.remove(kKextstat);
  listing = "(1.0)";
  EXPECT_FALSE(peer().checkKextLoadedWithBundleID("com.quorix.a")) << "no listing tool";
  EXPECT_EQ(asked.size(), 5u);
}

TEST(KextListingTest, OnlyAParenthesizedTokenBetweenSeparatorsCounts) {
  // clang-format off
  const std::pair<std::string, bool> plain[] = {
      {"", false}, {"(", false}, {")", false}, {"()", true}, {"(1.0)", true}, {"((", false},
      {"( )", false}, {"x(1.0)", false}, {"(1.0)x", false}, {"(1.0", false}, {"1.0)", false},
      {"(\xc3\xa9)", true}, {"a ( ) b", false}, {"(1.0) ( x", true}, {"( x (1.0)", true},
      {"(1.0)(", false}, {"\n\n\n", false}, {"com.quorix.a\n", false},
  };
  // clang-format on

  for (const auto& [output, loaded] : plain) {
    EXPECT_EQ(listsALoadedKext(output), loaded) << '"' << output << '"';
  }

  const std::string separators[] = {
      " ",      "\t",     "\n",     "\v",     "\f",     "\r",     "\u0085", "\u00a0", "\u1680",
      "\u2000", "\u2007", "\u200a", "\u2028", "\u2029", "\u202f", "\u205f", "\u3000",
  };
  for (const std::string& s : separators) {
    EXPECT_TRUE(listsALoadedKext("a" + s + "(1.0)" + s + "b")) << "separator " << s;
    EXPECT_TRUE(listsALoadedKext(s + s + "(1.0)" + s + s)) << "adjacent " << s;
    EXPECT_TRUE(listsALoadedKext("(1.0)" + s)) << "first " << s;
    EXPECT_TRUE(listsALoadedKext(s + "()")) << "last " << s;
    EXPECT_FALSE(listsALoadedKext("(1." + s + "0)")) << "split inside " << s;
    EXPECT_FALSE(listsALoadedKext(s + "(" + s)) << "lone ( " << s;
  }

  // Format characters and joiners look blank but separate nothing.
  const std::string joiners[] = {"\u200b", "\u200c", "\u200d", "\u2060", "\ufeff",
                                 "\u180e", "\u00ad", "\x1f",   "\x7f"};
  for (const std::string& j : joiners) {
    EXPECT_FALSE(listsALoadedKext("a " + j + "(1.0) b")) << "before " << j;
    EXPECT_FALSE(listsALoadedKext("a (1.0)" + j + " b")) << "after " << j;
    EXPECT_FALSE(listsALoadedKext("(1.0)" + j)) << "at the end " << j;
  }
}

TEST(VersionOrderTest, DigitRunsCompareByValueAndEverythingElseByCharacter) {
  struct Case {
    const char* left;
    const char* right;
    int order;
  };
  // clang-format off
  const Case cases[] = {
      {"1.10", "1.9", 1}, {"10.0", "9.5", 1}, {"1.0", "1.0", 0}, {"007", "7", 0},
      {"1.007", "1.7", 0}, {"1.00", "1.0", 0}, {"0000000000000000000000001", "2", -1},
      {"1.0", "1.0.1", -1}, {"1.0a", "1.0", 1}, {"1.0", "1.", 1}, {"", "", 0}, {"", "0", -1},
      {"a", "1", 1}, {"1.a", "1.1", 1}, {"1a", "1b", -1}, {"1.9b", "1.10a", -1},
      {"2.0b3", "2.0b12", -1}, {"1.0 ", "1.0", 1}, {"v1", "1", 1},
      // Digit runs beyond 64 bits.
      {"18446744073709551616", "18446744073709551615", 1},
      {"99999999999999999999999999.1", "99999999999999999999999999.2", -1},
      {"123456789012345678901234567890", "123456789012345678901234567891", -1},
      // Characters outside ASCII compare by code; full-width digits are not digits.
      {"1.\xc3\xa9", "1.e", 1}, {"\xc3\xa9", "\xc3\xaa", -1},
      {"\xef\xbc\x91\xef\xbc\x90", "\xef\xbc\x99", -1},
  };
  // clang-format on

  for (const Case& c : cases) {
    const int order = compareNumerically(c.left, c.right);
    EXPECT_EQ((order > 0) - (order < 0), c.order) << c.left << " vs " << c.right;
    const int reverse = compareNumerically(c.right, c.left);
    EXPECT_EQ((reverse > 0) - (reverse < 0), -c.order) << c.right << " vs " << c.left;
  }
}

class UpgradeTest : public InspectionTest {
 protected:
  static constexpr char kInstalled[] = "/System/Library/Extensions/a.kext";

  /// The status of `offered` with the given versions of the two copies.
  int status(const std::string& offered, const std::optional<std::string>& offeredVersion,
             const std::optional<std::string>& installedVersion) {
    propertyLists.bundleVersions.clear();
    if (offeredVersion) {
      propertyLists.bundleVersions[offered] = *offeredVersion;
    }
    if (installedVersion) {
      propertyLists.bundleVersions[kInstalled] = *installedVersion;
    }
    return peer().checkKextUpgrade(offered);
  }
};

TEST_F(UpgradeTest, WithoutAnInstalledCopyTheStatusIsZero) {
  EXPECT_EQ(status("/k/a.kext", "1.0", "1.0"), 0);
  EXPECT_EQ(status("/k/a.kext", std::nullopt, std::nullopt), 0);
  EXPECT_EQ(processes.launches, 0);
}

TEST_F(UpgradeTest, OfferedVersionAgainstTheInstalledCopy) {
  files.addDirectory(kInstalled);
  struct Case {
    std::optional<std::string> offered;
    std::optional<std::string> installed;
    int status;
  };
  // clang-format off
  const Case cases[] = {
      {"1.10", "1.9", 1}, {"1.9", "1.10", 3}, {"1.0", "1.0", 2}, {"1.0.0", "1.0", 1},
      {"01.9", "1.9", 2}, {"2.0", "10.0", 3}, {"", "1.0", 3},
      {std::nullopt, "1.0", 2}, {std::nullopt, std::nullopt, 2},
      // An installed copy without a readable version is replaced by one that has a version.
      {"1.0", std::nullopt, 1}, {"", std::nullopt, 1},
  };
  // clang-format on

  for (const Case& c : cases) {
    EXPECT_EQ(status("/k/a.kext", c.offered, c.installed), c.status)
        << c.offered.value_or("(none)") << " vs " << c.installed.value_or("(none)");
  }
}

TEST_F(UpgradeTest, TheInstalledCopyIsFoundByTheLastPathComponent) {
  files.addDirectory(kInstalled);
  EXPECT_EQ(status("/elsewhere/deep/a.kext", "2.0", "1.0"), 1);
  EXPECT_EQ(status("a.kext", "1.0", "2.0"), 3);
  EXPECT_EQ(status("/k/a.kext/", "1.0", "1.0"), 2);
  EXPECT_EQ(status("/k/a.kext//", "2.0", "1.0"), 1);
  EXPECT_EQ(status("/k/b.kext", "2.0", "1.0"), 0);

  // Paths that would name the extensions folder itself, or one above it, have no installed copy.
  files.addDirectory("/System/Library/Extensions");
  files.addDirectory("/System/Library/Extensions/");
  files.asked.clear();
  for (const std::string path : {"/", "", "//", "/k/..", "/k/.", "..", "."}) {
    EXPECT_EQ(status(path, "1.0", "1.0"), 0) << path;
  }
  EXPECT_TRUE(files.asked.empty());
}

/// The same questions over a real bundle information file whose values are not all text.
TEST_F(InspectionTest, ValuesThatAreNotTextCountAsAbsent) {
  TempFolder folder;
  LibplistPropertyLists plists;
  Platform platform{files,       processes, authorization, plists,  systemInfo, appleEvents,
                    application, localizer, log,           process, {"Morvane"}};
  MorvaneAppDelegate delegate(platform);
  MorvaneAppDelegateTestPeer inspect(delegate);

  for (const char* identifier : {"<integer>42</integer>",
                                 "<dict><key>a</key><string>b</string>"
                                 "</dict>",
                                 "<array><string>com.quorix.a</string></array>", "<true/>"}) {
    const std::string kext = (folder.path() / "odd.kext").string();
    const std::string info =
        folder.file("odd.kext/Contents/Info.plist",
                    xmlPlist(std::string("<dict><key>CFBundleIdentifier</key>") + identifier +
                             "<key>CFBundleVersion</key><integer>3</integer></dict>"));
    files.addFile(info);
    listing = "(1.0)";
    EXPECT_TRUE(inspect.isKextLoadedInSystem(kext)) << identifier;
    EXPECT_EQ(asked.back(), (std::vector<std::string>{"-l", "-bundle-id", "(null)"}));
    EXPECT_EQ(inspect.getInfoPlistWithKey("CFBundleVersion", info), std::nullopt);

    // The installed copy is never read here: an offered kext without a version is equal.
    files.addDirectory("/System/Library/Extensions/odd.kext");
    EXPECT_EQ(inspect.checkKextUpgrade(kext), 2);
  }
}

}  // namespace
}  // namespace morvane::testing
