// The monthly score ledger's line: one per finisher of every round, in the month's file
// (ledger_path, among the round's names). typerace writes it, typescore and typeadmin
// read it, the soak judges it; the format is written here once, so they can never drift
// apart.
#pragma once

#include <array>
#include <cstddef>
#include <ctime>
#include <span>
#include <string_view>

#include "round_names.h"  // ledger_path: where a month's lines go

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

// The line for one finisher, line feed included. Returns its length, or 0 when it does
// not fit `out` (nothing partial is ever written then).
std::size_t format_ledger_line(std::span<char> out, const LedgerLine& line);
