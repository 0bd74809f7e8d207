// Installing and removing kexts, the two passes, and the launch filter.
#include <algorithm>
#include <chrono>
#include <memory>

#include "app/MorvaneAppDelegate.h"
#include "exec/tool_vectors.h"
#include "kext/kext_paths.h"

namespace morvane {
namespace {

/// How long a pass waits for another run's pass: a password prompt inside it takes human time.
constexpr std::chrono::seconds kPassLockPatience = std::chrono::minutes(10);

constexpr char kProcessKextInstall[] = "-[MorvaneAppDelegate(Private) processKextInstall:]";

}  // namespace

bool MorvaneAppDelegate::unInstallKext(const std::string& path) {
  // The path as the caller checked it: the uninstall pass gives its uninstallTarget, an
  // upgrade the installed copy.
  const ToolCall unload = toolCall(kUnloadVector, path.c_str());
  executePrivilegesWithCommand(unload.tool, unload.arguments);
  const ToolCall remove = toolCall(kRemoveVector, path.c_str());
  return runPrivilegedTool(remove.tool, remove.arguments) == ToolResult::kSucceeded;
}

int MorvaneAppDelegate::installKext(const std::string& source, const std::string& dest) {
  if (!platform_.files.fileExists(source)) {
    platform_.log.write("Can't found source file. [" + source + "]");
    return 0;
  }
  // A link would have the extensions folder point into a folder that other users may write
  // to. The copy follows a link that replaces the source after this look (cp -H), so it is
  // never installed as one.
  const std::optional<FileAttributes> named =
      platform_.files.attributesOfItem(withoutTrailingSlashes(source));
  if (!named || named->type == FileType::kSymbolicLink) {
    platform_.log.write("Refused: the kext to install is a link. [" + source + "]");
    return 0;
  }
  if (!isExtensionsEntry(dest.c_str())) {
    platform_.log.write(refusedPathMessage(dest));
    return 0;
  }
  if (platform_.files.fileExists(dest)) {
    const int status = checkKextUpgrade(source);
    if (status > 1) {
      return 2;  // the same or a newer version is installed; -f never replaces it
    }
    // cp -rf into a folder that is still there would nest the bundle inside it.
    if (status == 1 && !unInstallKext(dest)) {
      return 0;
    }
  }
  // cp -RH into an entry that is there copies into it: into a link's target, wherever that is
  // (a dangling link was no installed copy to remove), or into the bundle itself.
  const std::optional<FileAttributes> entry = platform_.files.attributesOfItem(dest);
  if (entry) {
    platform_.log.write(entry->type == FileType::kSymbolicLink
                            ? "Refused: the installed kext is a link. [" + dest + "]"
                            : "Refused: the installed kext is still there. [" + dest + "]");
    return 0;
  }
  const ToolCall copy = toolCall(kCopyVector, source.c_str(), dest.c_str());
  if (runPrivilegedTool(copy.tool, copy.arguments) != ToolResult::kSucceeded) {
    return 0;
  }
  // A kext that the system refuses to load stays installed; the line says why it is not loaded.
  const ToolCall load = toolCall(kLoadVector, dest.c_str());
  return m_bLoadKext && runPrivilegedTool(load.tool, load.arguments) == ToolResult::kNotRun ? 0 : 1;
}

bool MorvaneAppDelegate::listIsSafe(bool uninstall) {
  for (const std::string& path : m_pathArray) {
    if (uninstall ? !uninstallTarget(path) : !installedCopy(path)) {
      platform_.log.write(uninstall ? refusedRemovalMessage(path) : refusedPathMessage(path));
      return false;
    }
    const std::optional<FileAttributes> named =
        uninstall ? std::nullopt : platform_.files.attributesOfItem(withoutTrailingSlashes(path));
    if (named && named->type == FileType::kSymbolicLink) {
      platform_.log.write("Refused: the kext to install is a link. [" + path + "]");
      return false;
    }
  }
  return true;
}

bool MorvaneAppDelegate::processKextInstall(bool uninstall) {
  // A list with one refused member runs no tool at all: half a list is no state to leave.
  if (!listIsSafe(uninstall)) {
    return false;
  }
  // One pass at a time on the machine: two runs that unload, remove and copy the same kext at
  // once would copy it into the folder the other has just made.
  const std::unique_ptr<FolderLock> onePass =
      platform_.files.lockFolder(kExtensionsFolder, kPassLockPatience, [this] {
        platform_.log.tell(
            "another run is changing the extensions folder: waiting for it, up "
            "to 10 minutes");
      });
  if (!onePass) {
    platform_.log.write("Refused: another run held the extensions folder for 10 minutes. [" +
                        std::string(kExtensionsFolder) + "]");
    return false;
  }
  if (uninstall) {
    for (const std::string& path : m_pathArray) {
      if (!unInstallKext(*uninstallTarget(path))) {
        return false;
      }
    }
    if (m_bNVRAM) {
      writeNVRAMArg(true);
    }
    // A tool that was asked to end with the program may have left its work half done.
    return !platform_.privileges.interrupted();
  }

  if (m_bNVRAM && !writeNVRAMArg(false)) {
    platform_.log.write(std::string(kProcessKextInstall) + " writeNVRAMArg return FALSE");
    return false;
  }
  // Setting the boot argument creates the marker, so this test comes after it.
  // A marker that is not root's own is not believed: any user could plant one to stop every
  // later installation.
  if (rebootMarkerState() == RebootMarker::kTrusted) {
    return !platform_.privileges.interrupted();
  }
  for (const std::string& source : m_pathArray) {
    if (installKext(source, *installedCopy(source)) < 1) {
      return false;
    }
  }
  const ToolCall touch = toolCall(kTouchVector);
  runPrivilegedTool(touch.tool, touch.arguments);
  return !platform_.privileges.interrupted();
}

bool MorvaneAppDelegate::filterNotInstallKext() {
  std::vector<std::string> drop;
  for (const std::string& path : m_pathArray) {
    if (checkKextUpgrade(path) > 1 && isKextLoadedInSystem(path)) {
      drop.push_back(path);
    }
  }
  for (const std::string& path : drop) {
    std::erase(m_pathArray, path);
  }
  return !m_pathArray.empty();
}

}  // namespace morvane
