#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>

#include "compose.h"
#include "picture.h"

namespace {

using Rows = std::array<std::string, 6>;

Rows compose(std::string_view text) {
  load_font();
  make_big(text);
  Rows rows;
  for (std::size_t r = 0; r < 6; ++r) rows[r] = big_line[r].data();
  return rows;
}

Rows pictures(const std::array<std::string_view, 6>& pics) {
  Rows rows;
  for (std::size_t r = 0; r < 6; ++r) rows[r] = picture(pics[r]);
  return rows;
}

Rows blanks() {
  Rows rows;
  rows.fill(std::string(72, ' '));
  return rows;
}

// The pictures are laid out as the screen shows them.
// clang-format off
TEST(Compose, TimeOfDay) {
  EXPECT_EQ(compose("12:34:56"), pictures({
      "....##.....####............########.....##............########.....##...",
      "..####...##....##................##...####............##.........##.....",
      "....##.........##....##........##...##..##......##....######...######...",
      "....##.......##..................##.##..##..................##.##....##.",
      "....##.....##........##..........##.########....##..........##.##....##.",
      "..######.########..........######.......##............######.....####...",
  }));
}

TEST(Compose, DateWithSlashes) {
  EXPECT_EQ(compose("01/03/05"), pictures({
      "..####.......##..............####...########............####...########.",
      "##....##...####........##..##....##.......##......##..##....##.##.......",
      "##....##.....##.......##...##....##.....##.......##...##....##.######...",
      "##....##.....##......##....##....##.......##....##....##....##.......##.",
      "##....##.....##.....##.....##....##.......##...##.....##....##.......##.",
      "..####.....######............####...######..............####...######...",
  }));
}

TEST(Compose, RemainingDigits) {
  EXPECT_EQ(compose("78/90:78"), pictures({
      "########...####..............####.....####............########...####...",
      "......##.##....##......##..##....##.##....##................##.##....##.",
      "....##.....####.......##...##....##.##....##....##........##.....####...",
      "..##.....##....##....##......######.##....##............##.....##....##.",
      "..##.....##....##...##...........##.##....##....##......##.....##....##.",
      "..##.......####..............####.....####..............##.......####...",
  }));
}
// clang-format on

TEST(Compose, CharactersOutsideTheFontAreBlank) {
  EXPECT_EQ(compose("ABCDEFGH"), blanks());
  EXPECT_EQ(compose("        "), blanks());
  EXPECT_EQ(compose("--.-+ ;\t"), blanks());
  // Four EUC-KR characters: eight high bytes, eight blanks, even those whose low bits
  // would look like a digit.
  EXPECT_EQ(compose("\xB1\xB8\xB0\xB1\xB3\xBA\xBF\xB9"), blanks());
}

TEST(Compose, OnlyEightPositionsAreTaken) {
  const Rows eight = compose("12:34:56");
  EXPECT_EQ(compose("12:34:5678"), eight);
  EXPECT_EQ(compose("ABCDEFGH12345"), blanks());
  for (const auto& row : eight) EXPECT_EQ(row.size(), 72u);
}

TEST(Compose, ShortTextEndsInBlanks) {
  // No terminator in the storage: reading past these three bytes is caught by ASan.
  auto three = std::make_unique<char[]>(3);
  std::memcpy(three.get(), "1:2", 3);
  const Rows short_text = compose(std::string_view(three.get(), 3));
  EXPECT_EQ(short_text, compose("1:2     "));

  // Whatever follows a terminator is not part of the text.
  EXPECT_EQ(compose(std::string("1:2") + '\0' + "99999"), short_text);
  EXPECT_EQ(compose(""), blanks());
}

TEST(Compose, EachCompositionReplacesThePrevious) {
  compose("88:88:88");
  EXPECT_EQ(compose("ABCDEFGH"), blanks());
}

TEST(Glyph, OnlyDigitsColonAndSlashDraw) {
  load_font();
  const std::string digits_and_marks = "0123456789:/";
  for (int c = -128; c < 512; ++c) {
    get_glyph(c);
    bool drawn = false;
    for (const auto& row : glyph_line) {
      ASSERT_EQ(std::strlen(row.data()), 9u);
      drawn |= std::string_view(row.data()).find('\xA1') != std::string_view::npos;
    }
    const bool in_font =
        c >= 0 && c < 256 && digits_and_marks.find(static_cast<char>(c)) != std::string::npos;
    EXPECT_EQ(drawn, in_font) << "character " << c;
  }
}

}  // namespace
