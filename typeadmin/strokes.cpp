#include "strokes.h"

#include <array>

namespace {

struct Jamo {
  char32_t letter;
  int keys;
};

// The modern letters in their Unicode order, U+3131 to U+3163, each with the keys it
// takes. The tense consonants (ㄲ ㄸ ㅃ ㅆ ㅉ) and the vowels ㅐ ㅔ ㅒ ㅖ have keys of their
// own; the compound vowels and the compound finals are typed as their two parts.
// clang-format off
constexpr std::array<Jamo, 51> kJamo = {{
    {U'ㄱ', 1}, {U'ㄲ', 1}, {U'ㄳ', 2}, {U'ㄴ', 1}, {U'ㄵ', 2}, {U'ㄶ', 2}, {U'ㄷ', 1},
    {U'ㄸ', 1}, {U'ㄹ', 1}, {U'ㄺ', 2}, {U'ㄻ', 2}, {U'ㄼ', 2}, {U'ㄽ', 2}, {U'ㄾ', 2},
    {U'ㄿ', 2}, {U'ㅀ', 2}, {U'ㅁ', 1}, {U'ㅂ', 1}, {U'ㅃ', 1}, {U'ㅄ', 2}, {U'ㅅ', 1},
    {U'ㅆ', 1}, {U'ㅇ', 1}, {U'ㅈ', 1}, {U'ㅉ', 1}, {U'ㅊ', 1}, {U'ㅋ', 1}, {U'ㅌ', 1},
    {U'ㅍ', 1}, {U'ㅎ', 1},
    {U'ㅏ', 1}, {U'ㅐ', 1}, {U'ㅑ', 1}, {U'ㅒ', 1}, {U'ㅓ', 1}, {U'ㅔ', 1}, {U'ㅕ', 1},
    {U'ㅖ', 1}, {U'ㅗ', 1}, {U'ㅘ', 2}, {U'ㅙ', 2}, {U'ㅚ', 2}, {U'ㅛ', 1}, {U'ㅜ', 1},
    {U'ㅝ', 2}, {U'ㅞ', 2}, {U'ㅟ', 2}, {U'ㅠ', 1}, {U'ㅡ', 1}, {U'ㅢ', 2}, {U'ㅣ', 1},
}};

// A syllable's parts as letters, in the order Unicode numbers the syllables by.
constexpr std::array<char32_t, 19> kInitials = {
    U'ㄱ', U'ㄲ', U'ㄴ', U'ㄷ', U'ㄸ', U'ㄹ', U'ㅁ', U'ㅂ', U'ㅃ', U'ㅅ',
    U'ㅆ', U'ㅇ', U'ㅈ', U'ㅉ', U'ㅊ', U'ㅋ', U'ㅌ', U'ㅍ', U'ㅎ'};
constexpr char32_t kFirstVowel = U'ㅏ';  // the 21 vowels follow one another from here
constexpr int kVowels = 21;
constexpr std::array<char32_t, 28> kFinals = {
    0,     U'ㄱ', U'ㄲ', U'ㄳ', U'ㄴ', U'ㄵ', U'ㄶ', U'ㄷ', U'ㄹ', U'ㄺ',
    U'ㄻ', U'ㄼ', U'ㄽ', U'ㄾ', U'ㄿ', U'ㅀ', U'ㅁ', U'ㅂ', U'ㅄ', U'ㅅ',
    U'ㅆ', U'ㅇ', U'ㅈ', U'ㅊ', U'ㅋ', U'ㅌ', U'ㅍ', U'ㅎ'};
// clang-format on

constexpr char32_t kFirstSyllable = U'가';
constexpr char32_t kLastSyllable = U'힣';

constexpr bool table_in_order() {
  for (std::size_t i = 0; i < kJamo.size(); ++i)
    if (kJamo[i].letter != kJamo[0].letter + i) return false;
  return kJamo[0].letter + 30 == kFirstVowel;
}
static_assert(table_in_order(), "the letters' table must follow Unicode's order");
static_assert(kLastSyllable - kFirstSyllable + 1 == 19 * 21 * 28);

int letter_keys(char32_t letter) {
  if (letter < kJamo.front().letter || letter > kJamo.back().letter) return 0;
  return kJamo[letter - kJamo.front().letter].keys;
}

}  // namespace

int key_presses(char32_t c) {
  if (c >= kFirstSyllable && c <= kLastSyllable) {
    const char32_t s = c - kFirstSyllable;
    const char32_t initial = s / (kVowels * kFinals.size());
    const char32_t vowel = s / kFinals.size() % kVowels;
    const char32_t final = s % kFinals.size();
    return letter_keys(kInitials[initial]) + letter_keys(kFirstVowel + vowel) +
           (final == 0 ? 0 : letter_keys(kFinals[final]));
  }
  const int keys = letter_keys(c);
  return keys > 0 ? keys : 1;
}

long long word_strokes(std::u32string_view word) {
  long long n = 0;
  for (char32_t c : word) n += key_presses(c);
  return n;
}
