// A bundle whose Info.plist holds the input, read as launch and the passes read it: the
// version, the identifier and the size check, bounds and libplist behind them.
#include <cstdint>
#include <filesystem>
#include <fstream>

#include "platform/posix/property_lists_libplist.h"
#include "tests/temp_folder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const morvane::testing::TempFolder folder;
  static const std::string bundle = (folder.path() / "A.kext").string();
  static const std::string info = folder.file("A.kext/Contents/Info.plist", "");
  // A new file each time: truncating one makes some file systems write it out on close.
  std::filesystem::remove(info);
  std::ofstream(info, std::ios::binary)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  const morvane::LibplistPropertyLists lists;
  // The bundle's version is the text its list holds, however it is asked for.
  if (lists.bundleVersion(bundle) != lists.textValue(info, "CFBundleVersion")) {
    __builtin_trap();
  }
  static_cast<void>(lists.textValue(info, "CFBundleIdentifier"));
  return 0;
}
