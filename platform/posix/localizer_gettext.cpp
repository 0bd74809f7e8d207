#include "platform/posix/localizer_gettext.h"

#include <libintl.h>

#include <clocale>
#include <string>

#include "platform/posix/executable_folder.h"

// The installed catalogues' folder relative to the executable's (set by the build).
#ifndef MORVANE_LOCALE_DIR
#define MORVANE_LOCALE_DIR "../share/locale"
#endif

namespace morvane {
namespace {

constexpr char kDomain[] = "morvane";

/// "locale" beside the executable in a build folder, else the installed folder; empty when
/// neither is there, which leaves gettext its own default. Folders only: beside an executable
/// installed in /usr/bin, "locale" is the program of that name.
std::string defaultCatalogueFolder() {
  const auto folder =
      findBesideExecutable({"locale", MORVANE_LOCALE_DIR}, std::filesystem::file_type::directory);
  return folder ? folder->string() : std::string();
}

}  // namespace

void GettextLocalizer::bindOnce() const {
  if (bound_) {
    return;
  }
  bound_ = true;
  // Only the messages follow the user's language; numbers and the rest stay in the C locale.
  std::setlocale(LC_MESSAGES, "");
  std::setlocale(LC_CTYPE, "");
  const std::string folder = catalogueFolder_.empty() ? defaultCatalogueFolder() : catalogueFolder_;
  if (!folder.empty()) {
    ::bindtextdomain(kDomain, folder.c_str());
  }
  ::bind_textdomain_codeset(kDomain, "UTF-8");
}

std::string GettextLocalizer::localizedString(const std::string& key) const {
  if (key.empty()) {
    return key;  // gettext("") answers the catalogue's header, never a translation.
  }
  bindOnce();
  return ::dgettext(kDomain, key.c_str());
}

}  // namespace morvane
