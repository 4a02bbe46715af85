#include "terminal_text.h"

#include <langinfo.h>
#include <strings.h>

#include <clocale>
#include <cstring>
#include <string>

#include "euckr_text.h"

namespace {

const iconv_t kNoIconv = reinterpret_cast<iconv_t>(-1);

}  // namespace

bool operator_uses_utf8() {
  if (!std::setlocale(LC_ALL, "")) return false;
  const char* set = nl_langinfo(CODESET);
  const bool utf8 = set && (strcasecmp(set, "UTF-8") == 0 || strcasecmp(set, "UTF8") == 0);
  std::setlocale(LC_ALL, "C");
  return utf8;
}

TerminalText::TerminalText(bool utf8)
    : utf8_(utf8), cd_(utf8 ? iconv_open("UTF-8", "EUC-KR") : kNoIconv) {}

TerminalText::~TerminalText() {
  if (cd_ != kNoIconv) iconv_close(cd_);
}

std::string TerminalText::operator()(std::string_view euckr) {
  std::string shown = printable_euckr(euckr);
  if (!utf8_) return shown;
  if (cd_ == kNoIconv) {
    // No conversion at hand: a Korean character shows as '?', never as bytes the
    // terminal would take for something else.
    for (char& c : shown)
      if (static_cast<unsigned char>(c) >= 0x80) c = '?';
    return shown;
  }
  to_utf8(cd_, shown, out_);
  return out_;
}

std::string controls_masked(std::string_view text) {
  std::string s(text);
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return s;
}
