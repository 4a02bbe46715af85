// The two encodings an operator's word lists meet: UTF-8, in which they are written on an
// ordinary machine, and EUC-KR, in which the round programs read them. Both are read
// strictly, one character at a time, so a character that is not right is named exactly.
#pragma once

#include <iconv.h>

#include <cstddef>
#include <string>
#include <string_view>

// Appends the characters of `in` to `out`. Returns the offset of the first byte that does
// not begin a well-formed UTF-8 character (overlong forms, surrogates and values beyond
// U+10FFFF are not), or npos when there is none.
std::size_t decode_utf8(std::string_view in, std::u32string& out);

// Appends the UTF-8 bytes of `c`.
void encode_utf8(char32_t c, std::string& out);

// Why a word is not EUC-KR text: printable ASCII and pairs of the character set.
enum class EucKrFault { none, control, stray_byte, lone_lead, unassigned };

// EUC-KR and Unicode characters, each to the other, as glibc's EUC-KR has them: ASCII and
// the KS X 1001 characters (so of the Hangul syllables only the 2,350 it lists).
class EucKr {
 public:
  EucKr();
  ~EucKr();
  EucKr(const EucKr&) = delete;
  EucKr& operator=(const EucKr&) = delete;

  // False when iconv has no EUC-KR; nothing converts then.
  bool ready() const;
  // Appends the EUC-KR bytes of `c`; false when EUC-KR has no such character.
  bool encode(char32_t c, std::string& out);
  // Reads `text` as EUC-KR, appending its characters to `chars`. On a fault, `at` is the
  // offset of the byte it begins at and the characters before it are in `chars`.
  EucKrFault decode(std::string_view text, std::u32string& chars, std::size_t& at);

 private:
  iconv_t to_euckr_;
  iconv_t from_euckr_;
  std::string scratch_;
};
