// The launch sequence, the dispatch after it and the clean-up at termination.
#include <algorithm>

#include "app/MorvaneAppDelegate.h"
#include "kext/kext_paths.h"

namespace morvane {
namespace {

constexpr char kDefaultRebootMarker[] = "/Users/Shared/.quorix_install_reboot";

}  // namespace

bool MorvaneAppDelegate::removalTargetExists(const std::string& path) {
  // The entry the tools will get, its last link not followed: a dangling linked entry can
  // still be removed. A path the pass refuses is looked at as written; the pass logs it.
  return platform_.files.attributesOfItem(uninstallTarget(path).value_or(path)).has_value();
}

void MorvaneAppDelegate::applicationWillFinishLaunching() {
  authorizationRef = nullptr;
  windowTitle.reset();
  preInstallCheckRebootFile.reset();
  m_bForceInstall = m_bUninstall = m_bNVRAM = false;
  m_bPreInstall = m_bLoadKext = m_bDefaultInstalled = false;
  m_pathArray = {};

  if (SRWindow_ != nullptr) {
    SRWindow_->setLevel(CGWindowLevelForKey(kCGModalPanelWindowLevelKey));
  }

  const Localizer& texts = platform_.localizer;
  if (okBtn != nullptr) {
    okBtn->setTitle(texts.localizedString("OK"));
  }
  if (cancelBtn != nullptr) {
    cancelBtn->setTitle(texts.localizedString("Restart Later"));
  }
  if (restartBtn != nullptr) {
    restartBtn->setTitle(texts.localizedString("Restart Now"));
  }
  if (textField != nullptr) {
    textField->setStringValue(
        texts.localizedString("Restart your computer for the settings to take effect."));
  }
  if (textTitle != nullptr) {
    textTitle->setStringValue(texts.localizedString("The installation is completed."));
  }

  if (layout1 != nullptr) {
    layout1->setHidden(false);
  }
  if (layout2 != nullptr) {
    layout2->setHidden(true);
  }
  if (countdownField != nullptr) {
    countdownField->setHidden(true);
  }

  processArguments();
  anchorRelativePaths();

  if (m_bPreInstall) {
    // An installer shows these as they stand: its own texts are not translated either.
    if (textTitle != nullptr) {
      textTitle->setStringValue("Installation is complete.");
    }
    if (textField != nullptr) {
      textField->setStringValue(
          "Note that you won't hear audio during your remote sessions unless this Mac has been "
          "restarted. You can restart later at your convenience.");
    }
    if (restartBtn != nullptr) {
      restartBtn->setHidden(true);
    }
    if (cancelBtn != nullptr) {
      cancelBtn->setTitle("Continue");
      cancelBtn->setFrameOrigin(restartBtn != nullptr ? restartBtn->frame().origin : Point{});
    }
  }

  const std::optional<std::int32_t> version = platform_.systemInfo.systemVersion();
  const bool oldSystem = !version || *version < kLionSystemVersion;
  if (oldSystem && !preInstallCheckRebootFile) {
    preInstallCheckRebootFile = kDefaultRebootMarker;
  }

  if (m_pathArray.empty()) {
    printHelp();
    endRunFailed("no kext path given");
  }
  for (const std::string& path : m_pathArray) {
    if (!(m_bUninstall ? removalTargetExists(path) : platform_.files.fileExists(path))) {
      endRunFailed("nothing at " + path + ": nothing was changed");
    }
  }
  if (m_bUninstall || m_bForceInstall) {
    return;
  }
  if (!filterNotInstallKext()) {
    platform_.process.exit(kExitSuccess);
  }
}

void MorvaneAppDelegate::applicationDidFinishLaunching() {
  if (m_bUninstall) {
    endPass(processKextInstall(true));
  }
  showNotificationWithCountdown(m_bPreInstall);
}

void MorvaneAppDelegate::anchorRelativePaths() {
  // pkexec starts its program in root's home folder: a relative path means the folder where the
  // caller stood. A removal's path must be absolute already.
  const std::optional<std::string> here = platform_.files.currentFolder();
  if (!here) {
    return;
  }
  const auto anchored = [&here](const std::string& path) {
    return path.empty() || path.front() == '/' ? path : (*here == "/" ? "" : *here) + "/" + path;
  };
  if (!m_bUninstall) {
    std::ranges::transform(m_pathArray, m_pathArray.begin(), anchored);
  }
  if (preInstallCheckRebootFile) {
    preInstallCheckRebootFile = anchored(*preInstallCheckRebootFile);
  }
}

void MorvaneAppDelegate::endRunFailed(const std::string& why) {
  platform_.log.tell(why);
  platform_.process.exit(kExitFailure);
}

void MorvaneAppDelegate::endPass(bool succeeded) {
  if (platform_.privileges.interrupted()) {
    endRunFailed(
        "asked to end while the run waited for the administrator right or a tool: nothing more was "
        "started");
  }
  if (!succeeded) {
    endRunFailed(m_bUninstall ? "the removal failed; the lines above say where"
                              : "the installation failed; the lines above say where");
  }
  platform_.process.exit(kExitSuccess);
}

// Only the framework's own termination calls this, and this machine's never does: it stays so
// that a framework which terminates applications finds the clean-up the run state needs.
void MorvaneAppDelegate::applicationWillTerminate() {
  if (CDTimer != nullptr) {
    CDTimer->invalidate();
    CDTimer = nullptr;
  }
  if (SRWindow_ != nullptr && SRWindow_->isVisible()) {
    SRWindow_->orderOut();
  }
  preInstallCheckRebootFile.reset();
  windowTitle.reset();
  // The way itself stays with the platform, which stops what it keeps running at the end.
  authorizationRef = nullptr;
}

}  // namespace morvane
