#include "platform/terminal/terminal_charset.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <memory>

#include "platform/utf8.h"

namespace morvane {
namespace {

struct IconvClose {
  void operator()(void* cd) const { ::iconv_close(static_cast<iconv_t>(cd)); }
};
using UniqueIconv = std::unique_ptr<void, IconvClose>;

UniqueIconv openIconv(const std::string& to, const std::string& from) {
  const iconv_t cd = ::iconv_open(to.c_str(), from.c_str());
  return UniqueIconv(cd == reinterpret_cast<iconv_t>(-1) ? nullptr : cd);
}

/// `text`, well-formed in `from`, converted to `to`; what `to` cannot hold becomes '?'. The
/// output grows as the conversion needs it. Without a converter between the two, `text` as it
/// stands.
std::string convert(std::string_view text, const std::string& from, const std::string& to) {
  const UniqueIconv cd = openIconv(to, from);
  if (!cd) {
    return std::string(text);
  }
  const auto descriptor = static_cast<iconv_t>(cd.get());
  std::string out(text.size() + 16, '\0');
  std::size_t used = 0;
  char* in = const_cast<char*>(text.data());  // iconv never writes its input
  std::size_t inLeft = text.size();
  for (;;) {
    char* at = out.data() + used;
    std::size_t outLeft = out.size() - used;
    // The last call, without input, writes what a stateful set needs to end in its first state.
    const bool last = inLeft == 0;
    const std::size_t done =
        ::iconv(descriptor, last ? nullptr : &in, last ? nullptr : &inLeft, &at, &outLeft);
    used = out.size() - outLeft;
    const bool failed = done == static_cast<std::size_t>(-1);
    if (failed && errno == E2BIG) {
      out.resize(out.size() * 2);
    } else if (last) {
      break;
    } else if (failed) {
      // A character even transliteration cannot place: one '?' for it. Only a conversion from
      // UTF-8 can miss one, as UTF-8 holds every character.
      std::size_t length = 1;
      decodeUtf8(std::string_view(in, inLeft), 0, &length);
      in += length;
      inLeft -= length;
      out.insert(used++, 1, '?');
    }
  }
  out.resize(used);
  return out;
}

}  // namespace

TerminalCharset TerminalCharset::ofLocale() {
  // Its own locale object: the process's locale stays as it is.
  const locale_t locale = ::newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
  if (locale == static_cast<locale_t>(nullptr)) {
    return TerminalCharset("ANSI_X3.4-1968");  // what the C locale speaks
  }
  TerminalCharset charset(::nl_langinfo_l(CODESET, locale));
  ::freelocale(locale);
  return charset;
}

TerminalCharset::TerminalCharset(std::string codeset) : codeset_(std::move(codeset)) {}

bool TerminalCharset::isUtf8() const {
  return codeset_ == "UTF-8";
}

std::string TerminalCharset::fit(std::string_view utf8) const {
  if (isUtf8()) {
    return std::string(utf8);
  }
  return convert(convert(utf8, "UTF-8", codeset_ + "//TRANSLIT"), codeset_, "UTF-8");
}

std::string TerminalCharset::encode(std::string_view utf8) const {
  return isUtf8() ? std::string(utf8) : convert(utf8, "UTF-8", codeset_ + "//TRANSLIT");
}

}  // namespace morvane
