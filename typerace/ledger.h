// The monthly score ledger, user/score/type<yy><m>.dat: one line per finisher of every
// round. typerace writes it; what reads it finds the line's format here too, so the two
// can never drift apart.
#pragma once

#include <array>
#include <cstddef>
#include <ctime>
#include <span>
#include <string_view>

// user, group, year mod 100, month, day, hour, minute, word type, pick, elapsed, rank,
// speed. The widths are minimum widths: a longer value widens its field.
inline constexpr char LEDGER_FORMAT[] = "%10s %3d %2d %2d %2d %2d %2d %20s %3d %3d %2d %4d\n";

// Room for any line typerace writes: a user id of 8 bytes, a word type of 99 and ten
// numbers of at most 11 characters each.
inline constexpr std::size_t kLedgerLineSize = 256;

// The longest line a reader takes, its line feed not counted. typerace never writes one
// near it; anything longer is not a finisher's line.
inline constexpr std::size_t kLedgerLineMax = 4096;

// One finisher as a ledger line carries it. Writing, user and type end at a first zero
// byte, as the C strings typerace hands over do.
struct LedgerLine {
  std::string_view user;
  int group;
  int year;   // modulo 100
  int month;  // 1 to 12
  int day, hour, minute;
  std::string_view type;
  int pick, elapsed, rank, speed;
};

// The ledger path for a month: user/score/type<yy><m>.dat, no padding.
void ledger_path(const std::tm& when, std::array<char, 64>& out);

// The line for one finisher, line feed included. Returns its length, or 0 when it does
// not fit `out` (nothing partial is ever written then).
std::size_t format_ledger_line(std::span<char> out, const LedgerLine& line);

// Why a line does not read. `field` counts the line's fields from 0 (user) to 11 (speed).
enum class LedgerFault : unsigned char {
  none,
  too_long,        // beyond kLedgerLineMax
  too_few_fields,  // fewer than eleven
  not_a_number,    // not an optional sign and then digits
  out_of_range,    // beyond 32 bits
  off_calendar,    // month, day, hour or minute that no clock shows
};
struct LedgerVerdict {
  LedgerFault fault = LedgerFault::none;
  int field = 0;
  explicit operator bool() const { return fault == LedgerFault::none; }
};

// Reads one line, its line feed taken off. Fields are split on blanks (space, tab): the
// first seven and the last four are fixed, and what stands between is the word type,
// typerace having written a type given with blanks as it was, and an empty one as
// blanks alone (so a line of eleven fields has an empty type). Those tokens are joined
// in `line` itself with one blank each; `out`'s user and type view into `line`.
LedgerVerdict parse_ledger_line(std::span<char> line, LedgerLine& out);

// What parse_ledger_line_in_block may read beyond the end of its line.
inline constexpr std::size_t kLedgerLineSlack = 64;

// parse_ledger_line for a line inside a larger buffer that has at least kLedgerLineSlack
// readable bytes after the line, whatever they hold (the next lines of a block read from
// a file, or spare room at its end): it reads the same way, without copying the line.
LedgerVerdict parse_ledger_line_in_block(std::span<char> line, LedgerLine& out);

// The reason in words, for an operator: "month is not 1 to 12".
void describe_ledger_fault(const LedgerVerdict& verdict, std::span<char> out);

// Appends `line` to the file at `path` whole or not at all, creating the file when it is
// missing. A write cut short (full disk, file-size limit) is taken back, so the file never
// ends in a fragment that the next line would be glued to. False when nothing was added.
bool append_whole_line(const char* path, std::string_view line);
