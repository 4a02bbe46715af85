// Turns a short text into six rows of block characters using the font.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "big_font.h"

inline constexpr std::size_t line_size = 200;
inline constexpr std::size_t big_positions = 8;
inline constexpr std::size_t big_width = big_positions * glyph_width;  // 72

using LineTable = std::array<std::array<char, line_size>, glyph_rows>;

extern LineTable font_line;   // working copy of big_font, loaded once
extern LineTable glyph_line;  // the glyph cut last, 9 bytes a row
extern LineTable big_line;    // the composed text, 72 bytes a row

// Copies big_font into font_line; needed once before the first composition.
void load_font();

// Selects the glyph for one byte value and cuts it from font_line into glyph_line.
void get_glyph(int character);

// Composes exactly eight positions of `text` into big_line. The text ends at its end or
// at its first terminator, whichever comes first; positions past that draw the blank.
void make_big(std::string_view text);
