// The stroke count of a word: the keys pressed to type it on the 2-set Korean keyboard,
// Shift not counted. The count before every word of a word list, and so the basis of
// every speed in strokes per minute.
#pragma once

#include <string_view>

// The keys one character takes. A Hangul syllable: its initial consonant, its vowel and
// its final consonant, if any, each as the lone letter takes them. A modern lone letter
// (jamo): 2 for a compound vowel or a compound final, 1 for any other. Any other
// character, a letter, digit, sign or hanja: 1.
int key_presses(char32_t c);

// The keys a whole word takes.
long long word_strokes(std::u32string_view word);
