// The block-digit composer over any text, and the glyph cut for any byte value.
// Input: the text handed to make_big.
#include <cstring>
#include <string_view>

#include "compose.h"
#include "fuzz_util.h"

namespace {

int glyph_of(int c) {
  if (c >= '0' && c <= '9') return c - '0' + 1;
  if (c == ':') return glyph_colon;
  if (c == '/') return glyph_slash;
  return glyph_blank;
}

std::string_view font_cell(int glyph, std::size_t row) {
  return std::string_view(big_font[row].data() + glyph * glyph_width, glyph_width);
}

// Only spaces and whole squares (A1 E1).
bool squares_and_spaces(std::string_view row) {
  for (std::size_t i = 0; i < row.size(); ++i) {
    if (row[i] == ' ') continue;
    if (row[i] != '\xA1' || i + 1 >= row.size() || row[i + 1] != '\xE1') return false;
    ++i;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  load_font();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = fuzz::bytes(data, size);

  // Each byte as an unsigned value and as a plain (signed) char would widen it.
  for (std::size_t i = 0; i < size && i < 16; ++i) {
    for (int c : {static_cast<int>(data[i]), static_cast<int>(static_cast<signed char>(data[i]))}) {
      get_glyph(c);
      for (std::size_t r = 0; r < glyph_rows; ++r) {
        FUZZ_CHECK(std::strlen(glyph_line[r].data()) == glyph_width);
        FUZZ_CHECK(std::string_view(glyph_line[r].data()) == font_cell(glyph_of(c), r));
      }
    }
  }

  make_big(text);
  const std::string_view shown = fuzz::c_text(text);
  for (std::size_t r = 0; r < glyph_rows; ++r) {
    const std::string_view row(big_line[r].data());
    FUZZ_CHECK(row.size() == big_width);
    FUZZ_CHECK(squares_and_spaces(row));
    // Eight positions: the text's characters up to its end or terminator, then blanks.
    for (std::size_t i = 0; i < big_positions; ++i) {
      const int c = i < shown.size() ? static_cast<unsigned char>(shown[i]) : 0;
      FUZZ_CHECK(row.substr(i * glyph_width, glyph_width) == font_cell(glyph_of(c), r));
    }
  }
  return 0;
}
