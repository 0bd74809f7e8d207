// The restart prompt: showing it, the countdown and the three answers.
#include <cstdio>

#include "app/MorvaneAppDelegate.h"

namespace morvane {
namespace {

constexpr double kCountdownStart = 60.0;
constexpr double kTickInterval = 1.0;
constexpr char kCountdownKey[] = "The dialog will be closed in %@ seconds";
constexpr char kRestartRequested[] = "The restart was requested.";
constexpr char kRestartNotRequested[] =
    "The restart could not be requested. Please restart the computer yourself.";

/// `count` as "%0.0f" writes it: no decimals.
std::string formatCount(double count) {
  const int length = std::snprintf(nullptr, 0, "%0.0f", count);
  std::string text(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
  std::snprintf(text.data(), text.size() + 1, "%0.0f", count);
  return text;
}

/// `text` with its first "%@" replaced by `value`.
std::string substitute(std::string text, const std::string& value) {
  const std::size_t at = text.find("%@");
  if (at != std::string::npos) {
    text.replace(at, 2, value);
  }
  return text;
}

}  // namespace

void MorvaneAppDelegate::setCountdownText() {
  if (countdownField != nullptr) {
    // Looked up afresh on every tick, as the table may be read anew.
    countdownField->setStringValue(substitute(platform_.localizer.localizedString(kCountdownKey),
                                              formatCount(timerCountDown)));
  }
}

void MorvaneAppDelegate::stopCountdown() {
  if (CDTimer != nullptr) {
    CDTimer->invalidate();
    CDTimer = nullptr;
  }
}

void MorvaneAppDelegate::showNotificationWithCountdown(bool withCountdown) {
  // Choosing where to ask comes before anything changes: a run that cannot ask ends here, with
  // nothing installed.
  std::string why = "no window";
  if (SRWindow_ == nullptr || !platform_.application.bindWindow(*SRWindow_, &why)) {
    // With -i -d the caller has said what the end of the countdown does, and nobody can answer
    // before it: an installer run without a terminal, or a configuration tool.
    if (withCountdown && m_bDefaultInstalled) {
      platform_.log.tell("nobody to ask whether to restart (" + why +
                         "): installing at once, as -d says the countdown's end does");
      rebootLater(nullptr);
    }
    endRunFailed("cannot ask whether to restart, nothing was installed: " + why);
  }
  if (withCountdown) {
    timerCountDown = kCountdownStart;
    setCountdownText();
    if (countdownField != nullptr) {
      countdownField->setHidden(false);
    }
    CDTimer = platform_.application.scheduledTimer(
        kTickInterval, [this](Timer* timer) { updateCountdownLabel(timer); });
  }
  SRWindow_->orderFront();
}

void MorvaneAppDelegate::updateCountdownLabel(Timer* /*timer*/) {
  // Written as "not greater than" so that a count that is not a number also ends it.
  if (timerCountDown > 1.0) {
    timerCountDown -= 1.0;
    setCountdownText();
    return;
  }
  stopCountdown();
  if (m_bDefaultInstalled) {
    rebootLater(nullptr);  // ends the run
  }
  endRunFailed("the countdown ran out without -d: nothing was installed");
}

void MorvaneAppDelegate::rebootConfirmed(const Control* /*sender*/) {
  stopCountdown();
  if (!processKextInstall(m_bUninstall)) {
    endPass(false);
  }
  passSucceeded_ = true;
  if (!m_bPreInstall) {
    // The system ends the process when it restarts. Until then the prompt says what became of
    // the request; the buttons stay for another answer.
    const bool requested = restartSystem();
    if (countdownField != nullptr) {
      countdownField->setStringValue(platform_.localizer.localizedString(
          requested ? kRestartRequested : kRestartNotRequested));
      countdownField->setHidden(false);
    }
    return;
  }
  // An empty path given with -r is still a path: touch is asked, fails, and the run succeeds.
  if (!preInstallCheckRebootFile) {
    endRunFailed("installed, but no reboot marker was named (-r) to tell the installer");
  }
  touchRebootMarker();
  endPass(true);
}

void MorvaneAppDelegate::rebootLater(const Control* /*sender*/) {
  stopCountdown();
  endPass(processKextInstall(m_bUninstall));
}

void MorvaneAppDelegate::rebootRejected(const Control* /*sender*/) {
  stopCountdown();
  // After an installation the kexts are in place though the restart did not follow: the caller
  // must not read the close as "nothing installed".
  if (passSucceeded_) {
    platform_.process.exit(kExitSuccess);
  }
  endRunFailed("the prompt was closed: nothing was installed");
}

}  // namespace morvane
