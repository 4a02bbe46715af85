// EUC-KR text from a file, made fit for a terminal that someone reads it on: nothing in
// it may move the cursor, and a UTF-8 terminal gets it converted.
#pragma once

#include <iconv.h>

#include <string>
#include <string_view>

// A byte of the range both bytes of an EUC-KR pair come from.
inline bool is_euckr_pair_byte(unsigned char b) { return b >= 0xA1 && b <= 0xFE; }

// `raw` with printable ASCII and EUC-KR pairs kept and any other byte (controls, a lone
// high byte) shown as '?', so one byte is one column and nothing can steer a terminal.
std::string printable_euckr(std::string_view raw);

// EUC-KR to UTF-8 through `cd` (iconv_open("UTF-8", "EUC-KR")); a byte pair iconv cannot
// take becomes "??" and any other byte it cannot take '?', so a table keeps its columns.
void to_utf8(iconv_t cd, std::string_view in, std::string& out);
