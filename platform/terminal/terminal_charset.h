#pragma once

#include <string>
#include <string_view>

namespace morvane {

/// The character set the terminal speaks, as the user's locale names it. Inside the program
/// every text is UTF-8 (the window wants it so); only the bytes written to the terminal are in
/// this set.
class TerminalCharset {
 public:
  /// The set of the locale the environment names for characters (LC_ALL, LC_CTYPE, LANG).
  static TerminalCharset ofLocale();
  /// `codeset` as iconv names it: "UTF-8", "ISO-8859-1", "ANSI_X3.4-1968".
  explicit TerminalCharset(std::string codeset);

  /// `utf8` as the terminal will show it, still in UTF-8 so that its columns can be counted:
  /// each character the set cannot hold transliterated ("…" as "..."), or '?'.
  std::string fit(std::string_view utf8) const;
  /// `utf8` in the terminal's bytes.
  std::string encode(std::string_view utf8) const;

 private:
  bool isUtf8() const;
  std::string codeset_;
};

}  // namespace morvane
