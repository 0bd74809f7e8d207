#pragma once

namespace morvane::testing {

/// The usage text, byte for byte.
inline constexpr char kUsage[] =
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
    "   -r: create check file for installer when User choose reboot in morvane.\n";

}  // namespace morvane::testing
