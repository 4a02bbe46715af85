// Reading a ledger line back: its fields, or why it is not a finisher's line.
#pragma once

#include <cstddef>
#include <span>

#include "ledger_format.h"

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
