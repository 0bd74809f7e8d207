// The command-line scan and the usage text.
#include <cstdio>

#include "app/MorvaneAppDelegate.h"

namespace morvane {

void MorvaneAppDelegate::processArguments() {
  const std::vector<std::string>& arguments = platform_.arguments;
  // Signed like the system's own indices: -1 matches no argument.
  std::int64_t pendingTitle = -1;
  std::int64_t pendingMarker = -1;

  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const auto index = static_cast<std::int64_t>(i);
    if (!argument.empty() && argument[0] == '-') {
      // A lone "-" has no letter: like an unknown letter, it is ignored.
      const char letter = argument.size() > 1 ? argument[1] : '\0';
      switch (letter) {
        case 'f':
          m_bForceInstall = true;
          break;
        case 'u':
          m_bUninstall = true;
          break;
        case 'n':
          m_bNVRAM = true;
          break;
        case 'i':
          m_bPreInstall = true;
          break;
        case 'l':
          m_bLoadKext = true;
          break;
        case 'd':
          m_bDefaultInstalled = true;
          break;
        case 'h':
          printHelp();
          platform_.process.exit(kExitHelp);
        case 'r':
          pendingMarker = index + 1;
          break;
        case 't':
          pendingTitle = index + 1;
          break;
        default:
          // A caller who wrote it meant something: say that nothing came of it.
          platform_.log.tell("ignored " + argument + ": no such option");
          break;
      }
    } else if (index == pendingTitle) {
      windowTitle = argument;
      if (SRWindow_ != nullptr) {
        SRWindow_->setTitle(*windowTitle);
      }
    } else if (index == pendingMarker) {
      preInstallCheckRebootFile = argument;
    } else {
      // An empty argument is a value too: as a path it names nothing, and launch refuses it.
      m_pathArray.push_back(argument);
    }
  }
}

void MorvaneAppDelegate::printHelp() {
  std::fputs(
      "Usage: Morvane [-i] SOURCEPATH_1 SOURCEPATH_2 SOURCEPATH_3.......\n"
      "       Morvane [-i] -u TARGETPATH_1 TARGETPATH_2 TARGETPATH_3......\n"
      "   -n: write nvram arguments (private use only).\n"
      "   -t: specify the dialog title.\n"
      "   -u: uninstall the kext.\n"
      "   -f: force install the kext.\n"
      "   -l: try to load kext after install kext.\n"
      "   -i: please use the argument when install kext in instller.\n"
      "   -d: please use the argument with argument \"i\". You want to set default action when "
      "countdown auto-close.\n"
      "   -r: create check file for installer when User choose reboot in morvane.\n",
      stdout);
}

}  // namespace morvane
