// The block-digit font: thirteen glyphs, each 9 bytes wide and six rows high, drawn with
// spaces and the EUC-KR square A1 E1 (two bytes, two terminal columns).
#pragma once

#include <array>
#include <cstddef>

inline constexpr std::size_t glyph_count = 13;
inline constexpr std::size_t glyph_width = 9;
inline constexpr std::size_t glyph_rows = 6;
inline constexpr std::size_t font_width = glyph_count * glyph_width;  // 117

// Glyph numbers: 0 is the blank, digit d is d + 1, then the colon and the slash.
inline constexpr int glyph_blank = 0;
inline constexpr int glyph_colon = 11;
inline constexpr int glyph_slash = 12;

// Row r holds row r of every glyph side by side, glyph 0 first, then a terminator.
using FontRow = std::array<char, font_width + 1>;
extern const std::array<FontRow, glyph_rows> big_font;
