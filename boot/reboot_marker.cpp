// The reboot marker file: the one rule for trusting it, and its making.
#include "app/MorvaneAppDelegate.h"
#include "exec/tool_vectors.h"

namespace morvane {

MorvaneAppDelegate::RebootMarker MorvaneAppDelegate::rebootMarkerState() {
  if (!preInstallCheckRebootFile || preInstallCheckRebootFile->empty()) {
    return RebootMarker::kAbsent;
  }
  // Not followed: the default marker's folder is writable by every user, and root's touch of
  // a link planted there would create or touch any file of the machine.
  const std::optional<FileAttributes> marker =
      platform_.files.attributesOfItem(*preInstallCheckRebootFile);
  if (!marker) {
    return RebootMarker::kAbsent;
  }
  if (marker->type == FileType::kRegular && marker->ownerAccountID == 0) {
    return RebootMarker::kTrusted;
  }
  platform_.log.write("Refused: the reboot marker is not a file of root. [" +
                      *preInstallCheckRebootFile + "]");
  return RebootMarker::kRefused;
}

void MorvaneAppDelegate::touchRebootMarker() {
  if (rebootMarkerState() == RebootMarker::kRefused) {
    return;  // like a failed touch, which its callers ignore too
  }
  // The root helper makes it itself, never through a link planted after the look above.
  const ToolCall marker = toolCall(kMarkerVector, preInstallCheckRebootFile->c_str());
  runPrivilegedTool(marker.tool, marker.arguments);
}

}  // namespace morvane
