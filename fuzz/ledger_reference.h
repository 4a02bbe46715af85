// The ledger line reader as it was before it was rewritten for speed, kept as the measure
// the fast one is held to: the same verdict, the same fault field and the same values
// for every line. Only the fuzz target uses it.
#pragma once

#include <array>
#include <span>
#include <string_view>

#include "ledger_reader.h"

namespace reference {

inline bool is_blank(char c) { return c == ' ' || c == '\t'; }

// An optional sign, then digits, within 32 bits.
inline LedgerFault read_int32(std::string_view tok, int& out) {
  std::size_t i = 0;
  const bool negative = !tok.empty() && tok[0] == '-';
  if (!tok.empty() && (tok[0] == '-' || tok[0] == '+')) i = 1;
  if (i == tok.size()) return LedgerFault::not_a_number;
  const long long limit = negative ? 2147483648LL : 2147483647LL;
  long long v = 0;
  bool beyond = false;
  for (; i < tok.size(); ++i) {
    const unsigned digit = static_cast<unsigned char>(tok[i]) - unsigned{'0'};
    if (digit > 9) return LedgerFault::not_a_number;
    if (!beyond) v = v * 10 + digit;
    beyond = beyond || v > limit;
  }
  if (beyond) return LedgerFault::out_of_range;
  out = static_cast<int>(negative ? -v : v);
  return LedgerFault::none;
}

// The first seven fields from the front, the last four from the back, the word type
// (possibly empty) between them, its tokens joined in `line` with one blank each.
inline LedgerVerdict parse_ledger_line(std::span<char> line, LedgerLine& out) {
  struct Bounds {
    int field, low, high;
  };
  static constexpr Bounds kCalendar[] = {{3, 1, 12}, {4, 1, 31}, {5, 0, 23}, {6, 0, 59}};
  if (line.size() > kLedgerLineMax) return {LedgerFault::too_long, 0};
  const LedgerVerdict too_few{LedgerFault::too_few_fields, 0};
  char* const text = line.data();
  const std::size_t size = line.size();

  std::array<std::string_view, 12> tok;
  std::size_t at = 0;
  for (int f = 0; f < 7; ++f) {
    while (at < size && is_blank(text[at])) ++at;
    const std::size_t begin = at;
    while (at < size && !is_blank(text[at])) ++at;
    if (begin == at) return too_few;
    tok[f] = {text + begin, at - begin};
  }
  const std::size_t head_end = at;
  std::size_t back = size;
  for (int f = 11; f >= 8; --f) {
    while (back > head_end && is_blank(text[back - 1])) --back;
    const std::size_t end = back;
    while (back > head_end && !is_blank(text[back - 1])) --back;
    if (back == end) return too_few;
    tok[f] = {text + back, end - back};
  }
  std::size_t type_begin = head_end, type_end = back;
  while (type_begin < type_end && is_blank(text[type_begin])) ++type_begin;
  while (type_end > type_begin && is_blank(text[type_end - 1])) --type_end;

  std::array<int, 12> num{};
  for (int f = 1; f < 12; ++f) {
    if (f == 7) continue;
    const LedgerFault fault = read_int32(tok[f], num[f]);
    if (fault != LedgerFault::none) return {fault, f};
    for (const Bounds& b : kCalendar)
      if (b.field == f && (num[f] < b.low || num[f] > b.high))
        return {LedgerFault::off_calendar, f};
  }

  std::size_t w = type_begin;
  bool after_blank = false;
  for (std::size_t r = type_begin; r < type_end; ++r) {
    const bool blank = is_blank(text[r]);
    if (!blank)
      text[w++] = text[r];
    else if (!after_blank)
      text[w++] = ' ';
    after_blank = blank;
  }

  out = {tok[0], num[1], num[2],  num[3],
         num[4], num[5], num[6],  {text + type_begin, w - type_begin},
         num[8], num[9], num[10], num[11]};
  return {};
}

}  // namespace reference
