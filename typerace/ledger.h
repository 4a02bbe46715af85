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

// One finisher as a ledger line carries it.
struct LedgerLine {
  const char* user;
  int group;
  int year;   // modulo 100
  int month;  // 1 to 12
  int day, hour, minute;
  const char* type;
  int pick, elapsed, rank, speed;
};

// The ledger path for a month: user/score/type<yy><m>.dat, no padding.
void ledger_path(const std::tm& when, std::array<char, 64>& out);

// The line for one finisher, line feed included. Returns its length, or 0 when it does
// not fit `out` (nothing partial is ever written then).
std::size_t format_ledger_line(std::span<char> out, const LedgerLine& line);

// Appends `line` to the file at `path` whole or not at all, creating the file when it is
// missing. A write cut short (full disk, file-size limit) is taken back, so the file never
// ends in a fragment that the next line would be glued to. False when nothing was added.
bool append_whole_line(const char* path, std::string_view line);
