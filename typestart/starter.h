// The steps of one start of a typing race: the title and countdown, then the word
// from the word list and the answer file the server's chat engine reads.
#pragma once

#include <cstdint>

// The time limit of the word-type index record read last. Kept for the round's length,
// which the server, not the starter, enforces.
extern std::int32_t ftime;

// Texts, EUC-KR.
inline constexpr char TXT_TITLE[] = "##### \xC5\xB8\xC0\xDA\xB9\xE6 #####";  // typing room
inline constexpr char MSG_NO_MENU[] =  // there is no word menu file at present
    "\xC7\xF6\xC0\xE7 \xB4\xDC\xBE\xEE \xB8\xDE\xB4\xBA \xC6\xC4\xC0\xCF\xC0\xCC "
    "\xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9";
inline constexpr char MSG_NO_WORD_FILE[] =  // there is no word file at present
    "\xC7\xF6\xC0\xE7 \xB4\xDC\xBE\xEE \xC6\xC4\xC0\xCF\xC0\xCC \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9";
inline constexpr char MSG_NO_ANSWER_FILE[] =  // the file the question needs cannot be made
    "\xB9\xAE\xC1\xA6\xC7\xCA\xBF\xE4\xC6\xC4\xC0\xCF\xC0\xBB \xB8\xB8\xB5\xE9\xBC\xF6 "
    "\xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.";

// Announces the title, then counts down on the wall clock.
void print_title(int group, int room);

// The pick number: rand() % kStarterPicks from the generator's unseeded state, so every run of the
// program plays the same record. 1 and 2 play the first and second records; 0 never
// meets the count and plays the last.
inline constexpr int kStarterPicks = 3;
int pick_number();

// Looks up the word type, picks the word, announces it and writes it to the room and
// group's answer file. The answer file is replaced whole: it holds either the new word
// or what it held before, never part of a word, and a link in its place is replaced, not
// followed. strokes receives the stroke count of each record read. Any
// failure is reported through perror and ends the process with status 1, before a
// word goes out when there is none to send.
void print_taja(int group, int room, const char* type, std::int32_t& strokes);
