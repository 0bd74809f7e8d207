#include "platform/posix/localizer_gettext.h"

#include <libintl.h>

#include <clocale>
#include <filesystem>
#include <string>

#ifndef MORVANE_INSTALLED_LOCALE_DIR
#define MORVANE_INSTALLED_LOCALE_DIR "/usr/local/share/locale"
#endif

namespace morvane {
namespace {

constexpr char kDomain[] = "morvane";

std::string defaultCatalogueFolder() {
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    const std::filesystem::path beside = exe.parent_path() / "locale";
    if (std::filesystem::is_directory(beside, error)) {
      return beside.string();
    }
  }
  return MORVANE_INSTALLED_LOCALE_DIR;
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
  ::bindtextdomain(kDomain, folder.c_str());
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
