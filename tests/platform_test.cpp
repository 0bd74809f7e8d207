// The real services of this machine that need no tool and no privilege.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>

#include "platform/posix/file_manager_posix.h"
#include "platform/posix/localizer_gettext.h"
#include "platform/posix/property_lists_libplist.h"
#include "platform/posix/system_info_plist.h"
#include "tests/temp_folder.h"

namespace morvane::testing {
namespace {

TEST(SystemVersionTest, ReadsTheVersionFileAndFailsWithoutIt) {
  TempFolder folder;
  LibplistPropertyLists plists;
  const std::string file =
      folder.file("SystemVersion.plist",
                  xmlPlist("<dict><key>ProductVersion</key><string>10.6.8</string></dict>"));
  std::int32_t version = 0;
  EXPECT_EQ(PlistSystemInfo(plists, file).gestalt(gestaltSystemVersion, &version), noErr);
  EXPECT_EQ(version, 0x1068);
  EXPECT_NE(PlistSystemInfo(plists, file).gestalt(0x61626364, &version), noErr);

  version = 7;
  EXPECT_NE(
      PlistSystemInfo(plists, folder.path() / "none.plist").gestalt(gestaltSystemVersion, &version),
      noErr);
  const std::string broken = folder.file("broken.plist", "not a property list");
  EXPECT_NE(PlistSystemInfo(plists, broken).gestalt(gestaltSystemVersion, &version), noErr);
  EXPECT_EQ(version, 7) << "a failed query leaves the answer alone";
}

TEST(FileManagerTest, ExistenceDirectoriesAndExecutables) {
  TempFolder folder;
  PosixFileManager files;
  const std::string plain = folder.file("plain", "x");
  const std::string tool = folder.file("tool", "#!/bin/sh\n");
  std::filesystem::permissions(tool, std::filesystem::perms::owner_all);
  bool directory = true;
  EXPECT_TRUE(files.fileExists(plain, &directory));
  EXPECT_FALSE(directory);
  EXPECT_TRUE(files.fileExists(folder.path().string(), &directory));
  EXPECT_TRUE(directory);
  EXPECT_FALSE(files.fileExists(folder.path() / "none"));
  EXPECT_FALSE(files.fileExists(""));

  EXPECT_TRUE(files.isExecutableFile(tool));
  EXPECT_FALSE(files.isExecutableFile(plain));
  EXPECT_FALSE(files.isExecutableFile(folder.path().string())) << "a folder is not a tool";
}

TEST(LocalizerTest, TranslatesWhereTheCatalogueHasTheTextAndKeepsTheKeyElsewhere) {
  // The catalogues of the build folder are found beside the executable; the test binary lives
  // one folder below, so the folder is named here.
  ::setenv("LANGUAGE", "de", 1);
  ::setenv("LC_ALL", "C.UTF-8", 1);
  GettextLocalizer localizer(MORVANE_LOCALE_BUILD_DIR);
  EXPECT_EQ(localizer.localizedString("Restart Now"), "Jetzt neu starten");
  EXPECT_EQ(localizer.localizedString("No such text"), "No such text");
  EXPECT_EQ(localizer.localizedString(""), "");
  ::unsetenv("LANGUAGE");
  ::unsetenv("LC_ALL");
}

}  // namespace
}  // namespace morvane::testing
