#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "platform/posix/property_lists_libplist.h"
#include "platform/preferences.h"

namespace morvane {

/// Preference domains kept as XML property-list files under
/// "<configuration folder>/morvane/preferences": "<domain>.plist" holds the values for any
/// host, "ByHost/<domain>.<host id>.plist" those for the current host alone. Characters of the
/// domain and the host id that do not belong in a file name are written as %XX, so no domain
/// can name a file outside these folders or the file of another domain.
///
/// Values set are held in memory, seen at once by copyAppValue, until synchronize writes the
/// domain out: the file's other values are kept, and the new file replaces the old one in one
/// rename, so a crash leaves either the old file or the new one. Processes that save the same
/// domain at once take turns through a lock file beside the domain's, so no key is lost.
class PlistPreferences final : public Preferences {
 public:
  /// `configurationFolder` is the user's configuration folder; when it is empty nothing can be
  /// read or written. `hostID` names the current host. Without `followLinks`, a link in the
  /// folder or below it on the way to a domain file makes that file unreadable and unwritable:
  /// for root, whose writes would otherwise land wherever a link points.
  PlistPreferences(std::filesystem::path configurationFolder, std::string hostID,
                   bool followLinks = true);

  /// The current host's value before the one for any host. Whole numbers, real numbers, truth
  /// values and texts are values; a file that is not a property-list dictionary, and values of
  /// other kinds (data, dates, arrays, dictionaries), read as absent.
  std::optional<PreferenceValue> copyAppValue(const std::string& key,
                                              const std::string& domain) override;
  void setValue(const std::string& key, const PreferenceValue& value, const std::string& domain,
                PreferenceUser user, PreferenceHost host) override;
  /// Writes the values set for the domain and host scope into its file, keeping its other
  /// values. A missing or empty file starts empty. False, with the file left as it was and the
  /// values still held, when the file is there but cannot be read, holds anything but a
  /// property-list dictionary within the bounds of plist_bounds.h, or cannot be written.
  bool synchronize(const std::string& domain, PreferenceUser user, PreferenceHost host) override;

 private:
  using Values = std::map<std::string, PreferenceValue>;

  /// The file of `domain` for `host`; none for an empty domain or without a folder.
  std::optional<std::filesystem::path> domainFile(const std::string& domain,
                                                  PreferenceHost host) const;

  /// The dictionary of `file` (empty when it is missing), or none when it cannot be read.
  std::optional<PlistNode> read(const std::filesystem::path& file) const;

  std::filesystem::path folder_;
  std::string hostID_;
  bool followLinks_;
  std::map<std::filesystem::path, Values> pending_;
};

/// Root's configuration folder, from the password database and never from the environment,
/// which the caller of a program run as root controls; empty when it is not known.
std::filesystem::path rootConfigurationFolder();

/// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute path, otherwise
/// $HOME/.config; empty when neither is known.
std::filesystem::path userConfigurationFolder();

/// This machine's name for the current-host scope: the first line of /etc/machine-id, else
/// the host name, else "localhost".
std::string currentHostID();

}  // namespace morvane
