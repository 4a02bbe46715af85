// The stroke rule over every class of letter, and the counts the sample lists carry.
#include "strokes.h"

#include <gtest/gtest.h>

#include <string_view>

namespace {

void expect_each(std::u32string_view chars, int keys) {
  for (char32_t c : chars) EXPECT_EQ(key_presses(c), keys) << "U+" << std::hex << int(c);
}

}  // namespace

TEST(Strokes, EverySyllablePartAsItsLoneLetter) {
  // Initials, plain and tense (one key with Shift), before a simple vowel: 1 + 1.
  expect_each(U"가까나다따라마바빠사싸아자짜차카타파하", 2);
  // Simple vowels, ㅐ ㅔ ㅒ ㅖ among them, one key; compound vowels two.
  expect_each(U"아애야얘어에여예오요우유으이", 2);
  expect_each(U"와왜외워웨위의", 3);
  // Finals: every single one, ㄲ and ㅆ too, one key; the compound finals two.
  expect_each(U"악앆안앋알암압앗았앙앚앛앜앝앞앟", 3);
  expect_each(U"앇앉않앍앎앏앐앑앒앓앖", 4);
  // The most a syllable takes: a compound vowel and a compound final.
  EXPECT_EQ(key_presses(U'꽑'), 5);
  EXPECT_EQ(key_presses(U'힣'), 3);

  // Lone letters as they stand in a syllable; archaic ones and the filler as any other
  // character, as are letters, digits, signs and hanja.
  expect_each(U"ㄱㄲㄴㄸㄹㅃㅆㅉㅎㅏㅐㅒㅓㅖㅗㅛㅜㅠㅡㅣ", 1);
  expect_each(U"ㄳㄵㄶㄺㄻㄼㄽㄾㄿㅀㅄㅘㅙㅚㅝㅞㅟㅢ", 2);
  expect_each(U"ㅥㆆㅿ\u3164aZ7!~漢■", 1);
}

TEST(Strokes, WordsAsTheListsCountThem) {
  EXPECT_EQ(word_strokes(U"사랑해"), 7);
  EXPECT_EQ(word_strokes(U"안녕"), 6);
  EXPECT_EQ(word_strokes(U"티끌모아태산"), 14);
  EXPECT_EQ(word_strokes(U"가는말이고와야오는말이곱다"), 32);
  EXPECT_EQ(word_strokes(U"낮말은새가듣고밤말은쥐가듣는다"), 40);
  EXPECT_EQ(word_strokes(U"닭"), 4);
  EXPECT_EQ(word_strokes(U"keyboard"), 8);
  EXPECT_EQ(word_strokes(U""), 0);
}
