// LibplistPropertyLists on real files the tests write.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/posix/property_lists_libplist.h"
#include "tests/temp_folder.h"

namespace morvane::testing {
namespace {

/// An XML dictionary holding `value` under "Name".
std::string named(const std::string& value) {
  return xmlPlist("<dict><key>Name</key>" + value + "</dict>");
}

TEST(PropertyListsTest, TextValuesComeOnlyFromTextsInDictionaryFiles) {
  const PlistNode root(plist_new_dict());
  plist_dict_set_item(root.get(), "Name", plist_new_string("com.quorix.bin"));
  char* bytes = nullptr;
  std::uint32_t length = 0;
  plist_to_bin(root.get(), &bytes, &length);
  const std::string binary(bytes, length);
  std::free(bytes);

  TempFolder folder;
  const LibplistPropertyLists plists;
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {named("<string>M\xc3\xb6rvane &amp; co</string>"), "M\xc3\xb6rvane & co"},
      {named("<string></string>"), ""},
      {binary, "com.quorix.bin"},
      {named("<integer>3</integer>"), std::nullopt},
      {xmlPlist("<array><string>Name</string></array>"), std::nullopt},
      {"Name = x;\n\x01\x02\xff\xfe", std::nullopt},
  };
  for (const auto& [contents, text] : cases) {
    EXPECT_EQ(plists.textValue(folder.file("f.plist", contents), "Name"), text) << contents;
  }
  for (std::size_t cut = 0; cut < binary.size(); ++cut) {
    EXPECT_EQ(plists.textValue(folder.file("f.plist", binary.substr(0, cut)), "Name"), std::nullopt)
        << "cut at " << cut;
  }
  EXPECT_EQ(plists.textValue(folder.path(), "Name"), std::nullopt) << "a folder";
  EXPECT_EQ(plists.textValue(folder.path() / "missing.plist", "Name"), std::nullopt);
}

TEST(PropertyListsTest, BundleVersionComesFromTheFoldersInfoPlist) {
  TempFolder folder;
  const std::string info =
      xmlPlist("<dict><key>CFBundleVersion</key><string>1.10.2</string></dict>");
  folder.file("a.kext/Contents/Info.plist", info);
  folder.file("plain.kext", info);
  folder.file("noversion.kext/Contents/Info.plist",
              xmlPlist("<dict><key>CFBundleShortVersionString</key><string>1.0</string></dict>"));
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"a.kext", "1.10.2"},           {"a.kext/", "1.10.2"},
      {"plain.kext", std::nullopt},   {"noversion.kext", std::nullopt},
      {"missing.kext", std::nullopt},
  };
  for (const auto& [name, version] : cases) {
    EXPECT_EQ(LibplistPropertyLists().bundleVersion(folder.path() / name), version) << name;
  }
}

}  // namespace
}  // namespace morvane::testing
