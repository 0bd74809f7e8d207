// Read-only questions about a kext: its bundle information, whether it is loaded, and how it
// compares with the installed copy.
#include "app/MorvaneAppDelegate.h"
#include "exec/tool_paths.h"
#include "kext/kext_listing.h"
#include "kext/kext_paths.h"
#include "kext/version_order.h"

namespace morvane {

std::optional<std::string> MorvaneAppDelegate::getInfoPlistWithKey(const std::string& key,
                                                                   const std::string& file) {
  bool isDirectory = false;
  if (!platform_.files.fileExists(file, &isDirectory) || isDirectory) {
    return std::nullopt;
  }
  return platform_.propertyLists.textValue(file, key);
}

bool MorvaneAppDelegate::checkKextLoadedWithBundleID(const std::string& bundleID) {
  const std::optional<std::string> listing =
      runCommand(kKextstatTool, std::vector<std::string>{"-l", "-bundle-id", bundleID});
  return listing && listsALoadedKext(*listing);
}

bool MorvaneAppDelegate::isKextLoadedInSystem(const std::string& kextPath) {
  const std::string infoPlist = kextPath + "/Contents/Info.plist";
  if (!platform_.files.fileExists(infoPlist)) {
    return false;
  }
  // A bundle without an identifier is asked about as "(null)", the text an absent value
  // formats to; a value that is not text counts as absent.
  const std::optional<std::string> bundleID = getInfoPlistWithKey("CFBundleIdentifier", infoPlist);
  return checkKextLoadedWithBundleID(bundleID.value_or("(null)"));
}

int MorvaneAppDelegate::checkKextUpgrade(const std::string& kextPath) {
  // A path that names no entry of the extensions folder has no installed copy to compare
  // with; the passes refuse it before any tool runs.
  const std::optional<std::string> installed = installedCopy(kextPath);
  if (!installed || !platform_.files.fileExists(*installed)) {
    return 0;
  }
  const std::optional<std::string> offered = platform_.propertyLists.bundleVersion(kextPath);
  if (!offered) {
    return 2;
  }
  // An installed copy whose version cannot be read (no bundle information, no version, not a
  // bundle) is taken as older, so that an offered kext with a version repairs it.
  const std::optional<std::string> current = platform_.propertyLists.bundleVersion(*installed);
  if (!current) {
    return 1;
  }
  const int order = compareNumerically(*offered, *current);
  return order > 0 ? 1 : order == 0 ? 2 : 3;
}

}  // namespace morvane
