// `typeadmin wordlist`: a word list for the round programs, made from words written in
// UTF-8, one a line, with the stroke count of each worked out.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "encoding.h"
#include "terminal_text.h"

// One line of the operator's words as a word-list record: the word in EUC-KR and its
// strokes. A blank line gives an empty word.
struct WordLine {
  std::string word;
  long long strokes = 0;
};

// Makes a record of one line (its line feed taken off): blanks around the word trimmed,
// with `join` the blanks inside it removed. False, with the reason in `why` (quoted text
// as `shown` has it), when the line cannot be a word of a list.
bool make_word_line(std::string_view line, bool join, EucKr& euckr, TerminalText& shown,
                    WordLine& out, std::string& why);

// Reads the lines of `in` (`name` in messages) and writes the word list to `out`: every
// record, or nothing at all when any line is bad; each bad line goes to `err` as
// NAME:LINE: why. Returns 0, or 1 after a bad line or a failed read or write.
int make_word_list(std::FILE* in, std::string_view name, bool join, std::FILE* out, std::FILE* err,
                   TerminalText& shown);
