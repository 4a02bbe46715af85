// The glyphs are drawn here in picture form: '.' is a space byte and each "##" is one
// square, the byte pair A1 E1. The pictures are turned into the font's bytes at compile
// time, so a malformed picture (odd run of '#', wrong width, stray character) does not
// build.
#include "big_font.h"

#include <string_view>

namespace {

using Picture = std::array<std::string_view, glyph_rows>;

// One row of a picture a line, as the screen shows it.
// clang-format off
constexpr std::array<Picture, glyph_count> glyphs = {{
    // 0: blank, for every character outside the font
    {".........",
     ".........",
     ".........",
     ".........",
     ".........",
     "........."},
    // 1: '0'
    {"..####...",
     "##....##.",
     "##....##.",
     "##....##.",
     "##....##.",
     "..####..."},
    // 2: '1'
    {"....##...",
     "..####...",
     "....##...",
     "....##...",
     "....##...",
     "..######."},
    // 3: '2'
    {"..####...",
     "##....##.",
     "......##.",
     "....##...",
     "..##.....",
     "########."},
    // 4: '3'
    {"########.",
     "......##.",
     "....##...",
     "......##.",
     "......##.",
     "######..."},
    // 5: '4'
    {"....##...",
     "..####...",
     "##..##...",
     "##..##...",
     "########.",
     "....##..."},
    // 6: '5'
    {"########.",
     "##.......",
     "######...",
     "......##.",
     "......##.",
     "######..."},
    // 7: '6'
    {"....##...",
     "..##.....",
     "######...",
     "##....##.",
     "##....##.",
     "..####..."},
    // 8: '7'
    {"########.",
     "......##.",
     "....##...",
     "..##.....",
     "..##.....",
     "..##....."},
    // 9: '8'
    {"..####...",
     "##....##.",
     "..####...",
     "##....##.",
     "##....##.",
     "..####..."},
    // 10: '9'
    {"..####...",
     "##....##.",
     "##....##.",
     "..######.",
     "......##.",
     "..####..."},
    // 11: ':' - its squares start at the odd byte 3, off the digits' two-byte grid
    {".........",
     ".........",
     "...##....",
     ".........",
     "...##....",
     "........."},
    // 12: '/' - squares at bytes 5, 4, 3, 2
    {".........",
     ".....##..",
     "....##...",
     "...##....",
     "..##.....",
     "........."},
}};
// clang-format on

// Throwing inside a constant evaluation stops the build, which is the point.
constexpr std::array<FontRow, glyph_rows> build_font() {
  std::array<FontRow, glyph_rows> font{};
  for (std::size_t r = 0; r < glyph_rows; ++r) {
    for (std::size_t g = 0; g < glyph_count; ++g) {
      std::string_view pic = glyphs[g][r];
      if (pic.size() != glyph_width) throw "glyph picture row is not 9 wide";
      if (pic[glyph_width - 1] != '.') throw "glyph must end with a space column";
      char* out = font[r].data() + g * glyph_width;
      for (std::size_t i = 0; i < glyph_width; ++i) {
        if (pic[i] == '.') {
          out[i] = ' ';
        } else if (pic[i] == '#' && i + 1 < glyph_width && pic[i + 1] == '#') {
          out[i] = static_cast<char>(0xA1);
          out[i + 1] = static_cast<char>(0xE1);
          ++i;
        } else {
          throw "a square is always a pair ##";
        }
      }
    }
    font[r][font_width] = '\0';
  }
  return font;
}

}  // namespace

constinit const std::array<FontRow, glyph_rows> big_font = build_font();
