// The steps of one start of a typing race: the title and countdown, then the word
// from the word list and the answer file the server's chat engine reads.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <ctime>

// The time limit of the word-type index record read last. Kept for the round's length,
// which the server, not the starter, enforces.
extern std::int32_t ftime;

inline constexpr std::size_t kTextSize = 200;  // a title or countdown line
inline constexpr int kCountdown = 5;

// Texts, EUC-KR.
inline constexpr char TXT_TITLE[] = "##### \xC5\xB8\xC0\xDA\xB9\xE6 #####";  // typing room
inline constexpr char FMT_COUNT[] = "<%lld>";
inline constexpr char MSG_NO_ARGS[] =  // the arguments cannot be received
    "\xC0\xCE\xC0\xDA\xB8\xA6 \xB9\xDE\xC0\xBB\xBC\xF6 \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.";
inline constexpr char MSG_NO_MENU[] =  // there is no word menu file at present
    "\xC7\xF6\xC0\xE7 \xB4\xDC\xBE\xEE \xB8\xDE\xB4\xBA \xC6\xC4\xC0\xCF\xC0\xCC "
    "\xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9";
inline constexpr char MSG_NO_WORD_FILE[] =  // there is no word file at present
    "\xC7\xF6\xC0\xE7 \xB4\xDC\xBE\xEE \xC6\xC4\xC0\xCF\xC0\xCC \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9";
inline constexpr char MSG_NO_ANSWER_FILE[] =  // the file the question needs cannot be made
    "\xB9\xAE\xC1\xA6\xC7\xCA\xBF\xE4\xC6\xC4\xC0\xCF\xC0\xBB \xB8\xB8\xB5\xE9\xBC\xF6 "
    "\xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.";

// Counts down from five: a line each time the whole seconds since the start move the
// remaining value, until a value of 0 or less has gone out. Between lines it pauses
// until the clock leaves the second it last showed, never polling it in a loop.
//   now() -> std::time_t, pause(std::time_t seen), say(const char* line)
template <typename Now, typename Pause, typename Say>
void count_down(Now now, Pause pause, Say say) {
  const std::time_t start = now();
  long long last = 0;
  for (;;) {
    std::time_t t = now();
    long long remaining = kCountdown - static_cast<long long>(t - start);
    if (remaining == last) {
      pause(t);
      continue;
    }
    std::array<char, kTextSize> line;
    std::snprintf(line.data(), line.size(), FMT_COUNT, remaining);
    last = remaining;
    say(line.data());
    if (remaining <= 0) return;
  }
}

// Announces the title, then counts down on the wall clock.
void print_title(int group, int room);

// The pick number: rand() % 3 from the generator's unseeded state, so every run of the
// program plays the same record. 1 and 2 play the first and second records; 0 never
// meets the count and plays the last.
int pick_number();

// Looks up the word type, picks the word, announces it and writes it to the room and
// group's answer file. strokes receives the stroke count of each record read. Any
// failure is reported through perror and ends the process with status 1, before a
// word goes out when there is none to send.
void print_taja(int group, int room, const char* type, std::int32_t& strokes);
