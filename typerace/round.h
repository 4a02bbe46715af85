// The parts of a typing race round that typerace alone has: its room broadcast and the
// reading of the results file; the ledger's writer is in ledger_writer.h.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>

#include "ledger_format.h"
#include "ledger_writer.h"
#include "roster.h"

inline constexpr std::size_t kMessageSize = 200;

// The ranking's head line, and the line in its place when nobody finished.
inline constexpr char TXT_RESULTS[] =  // results follow
    "\xB0\xE1\xB0\xFA\xB8\xA6 \xC3\xE2\xB7\xC2\xC7\xD5\xB4\xCF\xB4\xD9";
inline constexpr char TXT_NO_RESULTS[] =  // nobody finished
    "\xB0\xE1\xB0\xFA\xB0\xA1 \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.TT";
inline constexpr std::size_t kUserIdMax = 8;

// Makes sure the file exists and is stamped now, through the shell's touch.
void touch_file(const char* path);

// Frames text for the room: save the cursor, go to row 21, down a line, a tab, the text,
// restore the cursor. The framed text always fits 200 bytes with its frame whole; a
// longer text is cut, never inside a Korean character.
void frame_announcement(const char* text, std::array<char, kMessageSize>& out);

// Fills the recipient table from an open roster: the terminals of the group's users, in
// roster order, at most 100. Returns the number of slots taken; a slot whose name is not
// fit to be written to stays empty.
std::size_t load_recipients(std::FILE* roster, int group,
                            std::array<TtySlot, kRecipientsMax>& table);

// Touches the room's roster and reads the group's terminals from it now, for the next
// announcement: done shortly before a line is due, it lets the line go out on time.
void prepare_announcement(int group, int room);

// Announces text to every terminal of the group's users in the room's roster, touched
// and read for it afresh (or just before, by prepare_announcement).
void chat_say(int group, int room, const char* text);

// One finisher as a results line gives it: "<finish time> <user id> <token>".
struct ResultLine {
  long long finish = 0;
  std::array<char, kUserIdMax + 1> user{};
};

// Parses one line; false when it has no finish time (of at most 15 characters) and user
// id first. A user id longer than 8 bytes is cut to 8, and its control bytes show as '?'.
bool parse_result_line(const char* line, ResultLine& out);

// Reads the results file up to its next finisher, one line at a time, taking no more than
// the `left` bytes it counts down; lines that name no finisher are passed over. False at
// the end of the file or of the bytes allowed.
bool read_result(std::FILE* results, ResultLine& out, long long& left);
// The same, to the end of the file.
bool read_result(std::FILE* results, ResultLine& out);

// Seconds from the start of the wait to a finish, kept within 32 bits.
std::int32_t elapsed_since(long long finish, std::time_t start);

// The ranking line of one finisher, as announced to the room.
void format_rank(std::array<char, kMessageSize>& out, int rank, int elapsed, const char* user,
                 int speed);

// Strokes per minute in unsigned 32-bit arithmetic. A finish within the second the wait
// began counts as one second, so it never divides by 0; one before it (a clock step)
// divides by its elapsed time taken as unsigned, as the arithmetic always has.
std::int32_t typing_speed(std::int32_t strokes, std::int32_t elapsed);
