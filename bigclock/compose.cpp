#include "compose.h"

#include <algorithm>
#include <cstring>

LineTable font_line{};
LineTable glyph_line{};
LineTable big_line{};

void load_font() {
  for (std::size_t r = 0; r < glyph_rows; ++r)
    std::copy(big_font[r].begin(), big_font[r].end(), font_line[r].begin());
}

namespace {

int select_glyph(int character) {
  if (character >= '0' && character <= '9') return character - '0' + 1;
  if (character == ':') return glyph_colon;
  if (character == '/') return glyph_slash;
  return glyph_blank;
}

}  // namespace

void get_glyph(int character) {
  const std::size_t from = static_cast<std::size_t>(select_glyph(character)) * glyph_width;
  for (std::size_t r = 0; r < glyph_rows; ++r) {
    std::memcpy(glyph_line[r].data(), font_line[r].data() + from, glyph_width);
    glyph_line[r][glyph_width] = '\0';
  }
}

void make_big(std::string_view text) {
  // A C-style text stops at its terminator; nothing after it is ever looked at.
  text = text.substr(0, std::min(text.find('\0'), text.size()));

  for (auto& row : big_line) row[0] = '\0';
  for (std::size_t i = 0; i < big_positions; ++i) {
    get_glyph(i < text.size() ? static_cast<unsigned char>(text[i]) : '\0');
    // Glyph rows hold no terminator, so each position lands at exactly 9 * i.
    for (std::size_t r = 0; r < glyph_rows; ++r) {
      std::memcpy(big_line[r].data() + i * glyph_width, glyph_line[r].data(), glyph_width);
      big_line[r][(i + 1) * glyph_width] = '\0';
    }
  }
}
