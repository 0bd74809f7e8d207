// LibplistPropertyLists on real files the tests write.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "platform/property_lists_libplist.h"
#include "tests/temp_folder.h"

namespace morvane::testing {
namespace {

/// The binary form of a dictionary with "CFBundleIdentifier" and an integer "Count".
std::string binaryInfo(const std::string& identifier) {
  const PlistNode root(plist_new_dict());
  plist_dict_set_item(root.get(), "CFBundleIdentifier", plist_new_string(identifier.c_str()));
  plist_dict_set_item(root.get(), "Count", plist_new_uint(7));
  char* bytes = nullptr;
  std::uint32_t length = 0;
  plist_to_bin(root.get(), &bytes, &length);
  std::string binary(bytes, length);
  std::free(bytes);
  return binary;
}

class PropertyListsTest : public ::testing::Test {
 protected:
  TempFolder folder;
  LibplistPropertyLists plists;
};

TEST_F(PropertyListsTest, ReadsTextFromXmlAndBinaryDictionaries) {
  const std::string xml = folder.file(
      "xml.plist", xmlPlist("<dict><key>CFBundleIdentifier</key><string>com.quorix.x</string>"
                            "<key>Name</key><string>M\xc3\xb6rvane &amp; co</string>"
                            "<key>Empty</key><string></string>"
                            "<key>Count</key><integer>3</integer>"
                            "<key>Flag</key><true/>"
                            "<key>Blob</key><data>AAEC</data>"
                            "<key>Nested</key><dict><key>Name</key><string>in</string></dict>"
                            "<key>List</key><array><string>a</string></array></dict>"));
  EXPECT_EQ(plists.textValue(xml, "CFBundleIdentifier"), "com.quorix.x");
  EXPECT_EQ(plists.textValue(xml, "Name"), "M\xc3\xb6rvane & co");
  EXPECT_EQ(plists.textValue(xml, "Empty"), "") << "an empty text is a value";
  for (const char* key : {"Count", "Flag", "Blob", "Nested", "List", "Absent", "", "name"}) {
    EXPECT_EQ(plists.textValue(xml, key), std::nullopt) << key;
  }

  const std::string binary = folder.file("binary.plist", binaryInfo("com.quorix.bin"));
  EXPECT_EQ(plists.textValue(binary, "CFBundleIdentifier"), "com.quorix.bin");
  EXPECT_EQ(plists.textValue(binary, "Count"), std::nullopt);
}

TEST_F(PropertyListsTest, AnythingButADictionaryFileGivesNothing) {
  const std::string files[] = {
      folder.file("array.plist", xmlPlist("<array><string>CFBundleIdentifier</string></array>")),
      folder.file("string.plist", xmlPlist("<string>CFBundleIdentifier</string>")),
      folder.file("empty.plist", ""),
      folder.file("short.plist", "<a/>"),
      folder.file("garbage.plist", "CFBundleIdentifier = com.quorix.x;\n\x01\x02\xff\xfe"),
      folder.file("unclosed.plist",
                  "<?xml version=\"1.0\"?><plist><dict><key>CFBundleIdentifier</key><string>x"),
      folder.file("Folder.kext/Contents/Info.plist", xmlPlist("<dict/>")),
  };
  for (const std::string& file : files) {
    EXPECT_EQ(plists.textValue(file, "CFBundleIdentifier"), std::nullopt) << file;
  }
  EXPECT_EQ(plists.textValue((folder.path() / "Folder.kext").string(), "CFBundleIdentifier"),
            std::nullopt)
      << "a folder";
  EXPECT_EQ(plists.textValue((folder.path() / "missing.plist").string(), "CFBundleIdentifier"),
            std::nullopt);
  const std::string pipe = (folder.path() / "pipe.plist").string();
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_EQ(plists.textValue(pipe, "CFBundleIdentifier"), std::nullopt) << "and no wait";
}

TEST_F(PropertyListsTest, TruncatedBinaryFilesNeverReadPastTheirEnd) {
  const std::string whole = binaryInfo("com.quorix.truncated");
  for (std::size_t length = 0; length < whole.size(); ++length) {
    const std::string file = folder.file("cut.plist", whole.substr(0, length));
    EXPECT_EQ(plists.textValue(file, "CFBundleIdentifier"), std::nullopt) << length;
  }
}

TEST_F(PropertyListsTest, BundleVersionComesFromTheFoldersInfoPlist) {
  const std::string info =
      xmlPlist("<dict><key>CFBundleVersion</key><string>1.10.2</string></dict>");
  folder.file("a.kext/Contents/Info.plist", info);
  folder.file("plain.kext", info);
  folder.file("plain2.kext/Contents", info);
  folder.file("noversion.kext/Contents/Info.plist",
              xmlPlist("<dict><key>CFBundleShortVersionString</key><string>1.0</string></dict>"));
  folder.file("numeric.kext/Contents/Info.plist",
              xmlPlist("<dict><key>CFBundleVersion</key><real>1.5</real></dict>"));
  std::error_code ignored;
  std::filesystem::create_directories(folder.path() / "empty.kext" / "Contents", ignored);

  const auto version = [this](const std::string& name) {
    return plists.bundleVersion((folder.path() / name).string());
  };
  EXPECT_EQ(version("a.kext"), "1.10.2");
  EXPECT_EQ(version("a.kext/"), "1.10.2");
  EXPECT_EQ(version("plain.kext"), std::nullopt) << "a file is not a bundle";
  EXPECT_EQ(version("plain2.kext"), std::nullopt) << "Contents is a file";
  EXPECT_EQ(version("noversion.kext"), std::nullopt);
  EXPECT_EQ(version("numeric.kext"), std::nullopt);
  EXPECT_EQ(version("empty.kext"), std::nullopt);
  EXPECT_EQ(version("missing.kext"), std::nullopt);
  EXPECT_EQ(plists.bundleVersion(""), std::nullopt);
}

}  // namespace
}  // namespace morvane::testing
