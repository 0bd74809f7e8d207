// The real property lists and system version, on files written by the tests.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

#include "platform/posix/plist_bounds.h"
#include "platform/posix/property_lists_libplist.h"
#include "platform/posix/system_info_plist.h"
#include "tests/temp_folder.h"

namespace morvane::testing {
namespace {

/// `levels` nested arrays with `middle` at the bottom.
std::string arrays(std::size_t levels, const std::string& middle = "") {
  return levels ? "<array>" + arrays(levels - 1, middle) + "</array>" : middle;
}

TEST(PropertyListsTest, TextValuesComeOnlyFromTextsInDictionaryFiles) {
  // {Name: "com.quorix.bin"} in the binary form.
  const std::string binary(
      "bplist00\xd1\x01\x02TName^com.quorix.bin\x08\x0b\x10\0\0\0\0\0\0\x01\x01"
      "\0\0\0\0\0\0\0\x03\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\x1f",
      66);
  TempFolder folder;
  const LibplistPropertyLists plists;
  const auto named = [](const std::string& value, const std::string& key = "Name") {
    return xmlPlist("<dict><key>" + key + "</key>" + value + "</dict>");
  };
  // clang-format off
  const std::pair<std::string, std::optional<std::string>> rows[] = {
      {named("<string>M\xc3\xb6rvane &amp; co</string>"), "M\xc3\xb6rvane & co"},
      {named("<string></string>"), ""}, {binary, "com.quorix.bin"}, {named("<integer>3</integer>"), std::nullopt},
      {xmlPlist("<array><string>Name</string></array>"), std::nullopt}, {"Name = x;\n\x01\x02\xff\xfe", std::nullopt},
      {named("<string>" + std::string(kLargestPropertyList, 'x') + "</string>"), std::nullopt}};
  // clang-format on
  for (const auto& [contents, text] : rows) {
    EXPECT_EQ(plists.textValue(folder.file("f.plist", contents), "Name"), text)
        << contents.substr(0, 80);
  }
  std::filesystem::create_symlink(folder.file("valid.plist", named("<string>v</string>")),
                                  folder.path() / "link.plist");
  for (const char* path : {"", "missing.plist", "link.plist"}) {  // a folder, nothing, a link
    EXPECT_EQ(plists.textValue(folder.path() / path, "Name"), std::nullopt) << path;
  }

  // A bundle's version is its Info.plist's CFBundleVersion, trailing slashes left out.
  folder.file("a.kext/Contents/Info.plist", named("<string>1.10</string>"));
  folder.file("b.kext/Contents/Info.plist", named("<string>1.10</string>", "CFBundleVersion"));
  EXPECT_EQ(plists.bundleVersion(folder.path() / "b.kext/"), "1.10");
  EXPECT_EQ(plists.bundleVersion(folder.path() / "a.kext"), std::nullopt);
}

/// A binary list of `count` arrays, each holding `fanout` references to the next one.
std::string binaryChain(unsigned count, unsigned fanout) {
  std::string bytes = "bplist00", table;
  const auto put = [](std::string& to, std::uint64_t value, int width) {
    while (width-- > 0)
      to += static_cast<char>(value >> (8 * width));
  };
  for (unsigned object = 0; object < count; ++object) {
    put(table, bytes.size(), 4);
    const unsigned references = object + 1 < count ? fanout : 0;
    bytes += static_cast<char>(0xA0 | references);
    for (unsigned i = 0; i < references; ++i)
      put(bytes, object + 1, 2);
  }
  const std::size_t tableAt = bytes.size();
  bytes += table + std::string(6, '\0');  // the trailer: sizes, then where the table is
  for (const auto& [value, width] : {std::pair{4ul, 1}, {2ul, 1}, {count, 8}, {0ul, 8}})
    put(bytes, value, width);
  put(bytes, tableAt, 8);
  return bytes;
}

TEST(PropertyListsTest, OnlyListsThatLibplistCanBuildAndFreeSafelyGetThrough) {
  const std::size_t deepest = kDeepestPropertyList;
  // binaryChain(40, 2): 40 objects, 2^40 nodes once each reference is copied.
  // clang-format off
  const std::pair<std::string, bool> rows[] = {
      {binaryChain(deepest, 1), true}, {binaryChain(deepest + 1, 1), false}, {binaryChain(16, 2), true},
      {binaryChain(40, 2), false}, {binaryChain(8, 1).substr(0, 60), false},
      {xmlPlist(arrays(deepest)), true}, {xmlPlist(arrays(deepest + 1)), false},
      {xmlPlist(arrays(deepest, "<array/><!-- <array> --><string><![CDATA[<dict>]]></string>")), true},
      {xmlPlist(arrays(deepest + 1, "<!-- </array> --><string><![CDATA[</dict>]]></string>")), false},
      {xmlPlist("<array a=\"\"></array>"), true}, {xmlPlist("<string a=\">\">x</string>"), false},
      {"<!DOCTYPE x [ > </array> ]>" + xmlPlist(arrays(2)), false}, {"{ Name = x; }", false}};
  // clang-format on
  for (std::size_t row = 0; row < std::size(rows); ++row) {
    EXPECT_EQ(withinPropertyListBounds(rows[row].first), rows[row].second) << "row " << row;
  }
  plist_t root = nullptr;
  const std::string chain = binaryChain(deepest, 1);
  plist_from_memory(chain.data(), static_cast<std::uint32_t>(chain.size()), &root);
  EXPECT_NE(PlistNode(root), nullptr) << "libplist reads the chain at the limit";
}

TEST(SystemVersionTest, TheVersionFileAsTheQueryAnswersIt) {
  // clang-format off
  const std::pair<std::string, std::optional<std::int32_t>> rows[] = {
      {"10.6.8", 0x1068}, {"10.7", 0x1070}, {"10.6.8 (build)", 0x1068}, {"10.10.5", 0x1095},
      {"10.6.12", 0x1069}, {"11.2.3", 0x1123}, {"9.2.2", 0x0922}, {"", std::nullopt},
      {"99999999999.99999999999.9", 0x9999}, {"(no file)", std::nullopt}};
  // clang-format on
  TempFolder folder;
  LibplistPropertyLists plists;
  for (const auto& [text, expected] : rows) {
    const std::string file = folder.file(
        "v.plist", xmlPlist("<dict><key>ProductVersion</key><string>" + text + "</string></dict>"));
    EXPECT_EQ(PlistSystemInfo(plists, text == "(no file)" ? file + "x" : file).systemVersion(),
              expected)
        << text;
  }
}

}  // namespace
}  // namespace morvane::testing
