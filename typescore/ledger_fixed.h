// The fast reading of a ledger line in the layout typerace writes when every value fits
// its field's minimum width, as nearly all lines are: each field in a slot of its own,
// right-aligned. parse_ledger_line tries it first; a reader of many lines calls it
// itself, inline, and gives parse_ledger_line the lines it turns down.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

#include "ledger_reader.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The size of such a line, its line feed not counted.
inline constexpr std::size_t kLedgerFixedSize = 66;

namespace ledger_fixed {

// Where each slot ends; the blank after each (and the line's end) separates it.
constexpr std::uint64_t bit(unsigned i) { return std::uint64_t{1} << i; }
constexpr std::uint64_t kFixedEnds = bit(10) | bit(14) | bit(17) | bit(20) | bit(23) | bit(26) |
                                     bit(29) | bit(50) | bit(54) | bit(58) | bit(61);
// Bits `from` to `to` - 1; `to` may be 64, the word's end.
constexpr std::uint64_t span_bits(unsigned from, unsigned to) {
  return (to < 64 ? bit(to) : 0) - bit(from);
}
// The numbers' slots among the first 64 bytes (the speed's last two are bytes 64 and 65).
constexpr std::uint64_t kFixedNumbers = span_bits(11, 14) | span_bits(15, 17) | span_bits(18, 20) |
                                        span_bits(21, 23) | span_bits(24, 26) | span_bits(27, 29) |
                                        span_bits(51, 54) | span_bits(55, 58) | span_bits(59, 61) |
                                        span_bits(62, 64);

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace ledger_fixed

// Reads the kLedgerFixedSize bytes at `p` as a line, when they are in that fixed layout
// with spaces for blanks and numbers of digits alone: true, `out` read exactly as
// parse_ledger_line reads them (its user and type view into them). False, `out`
// untouched, for any other line (a line feed among them included), which
// parse_ledger_line then reads. Reads no byte beyond them. Inline, so that a reader of
// many lines keeps its constants and what it does not use of `out` is never worked out.
[[gnu::always_inline]] inline bool read_fixed_ledger_line(const char* p, LedgerLine& out) {
  using namespace ledger_fixed;
#if defined(__SSE2__)
  // Which of the first 64 bytes are spaces and which digits (where numbers may stand),
  // and whether any is a control byte (a tab or a line feed among them), 16 at a time.
  auto load = [p](int at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at)); };
  auto bits = [](__m128i m, unsigned at) {
    return std::uint64_t{static_cast<unsigned>(_mm_movemask_epi8(m))} << at;
  };
  const __m128i v0 = load(0), v1 = load(16), v2 = load(32), v3 = load(48);
  const __m128i sp = _mm_set1_epi8(' ');
  const std::uint64_t space = bits(_mm_cmpeq_epi8(v0, sp), 0) | bits(_mm_cmpeq_epi8(v1, sp), 16) |
                              bits(_mm_cmpeq_epi8(v2, sp), 32) | bits(_mm_cmpeq_epi8(v3, sp), 48);
  const __m128i below = _mm_set1_epi8(0x1F);
  auto control = [&](__m128i v) { return _mm_cmpeq_epi8(_mm_min_epu8(v, below), v); };
  const bool controls =
      _mm_movemask_epi8(_mm_or_si128(_mm_or_si128(control(v0), control(v1)),
                                     _mm_or_si128(control(v2), control(v3)))) != 0;
  const __m128i zero = _mm_set1_epi8('0'), nine = _mm_set1_epi8(9);
  auto digits = [&](__m128i v) {
    const __m128i d = _mm_sub_epi8(v, zero);
    return _mm_cmpeq_epi8(_mm_min_epu8(d, nine), d);
  };
  // The word type's slot, bytes 30 to 49, holds no number.
  const std::uint64_t digit = bits(digits(v0), 0) | bits(digits(v1), 16) | bits(digits(v3), 48);
#else
  std::uint64_t space = 0, digit = 0;
  bool controls = false;
  for (unsigned i = 0; i < 64; ++i) {
    space |= std::uint64_t{p[i] == ' '} << i;
    digit |= std::uint64_t{is_digit(p[i])} << i;
    controls = controls || static_cast<unsigned char>(p[i]) < 0x20;
  }
#endif
  const std::uint64_t solid = ~space;
  // Each slot ends in a solid byte and holds no blank after its first solid one (a
  // solid-to-blank step comes exactly at each slot's end), but for the word type, whose
  // tokens may stand one space apart.
  constexpr std::uint64_t type_slot = span_bits(30, 50);
  if (controls || (space & (solid << 1) & ~type_slot) != kFixedEnds ||
      (solid & kFixedNumbers & ~digit) != 0 || !is_digit(p[64]) || !is_digit(p[65]))
    return false;
  const auto type = 30 + static_cast<unsigned>(std::countr_zero(solid >> 30));
  if ((space & (space << 1) & span_bits(type, 50)) != 0) return false;

#if defined(__SSE2__)
  // Every number at once, leading spaces (and the blanks between) counting as zeros:
  // each byte's digit weighed by its place and summed in pairs.
  const __m128i ten = _mm_set1_epi8(0x10);
  const __m128i head = _mm_sub_epi8(_mm_or_si128(load(11), ten), zero);
  const __m128i tail = _mm_sub_epi8(_mm_or_si128(load(50), ten), zero);
  const __m128i none = _mm_setzero_si128();
  // Bytes 11-18: group (3), blank, year (2), blank, the month's tens; 19-26: the month's
  // units, blank, day (2), blank, hour (2), blank. 50-57: blank, pick (3), blank,
  // elapsed (3); 58-65: blank, rank (2), blank, speed (4).
  alignas(16) std::array<std::int32_t, 16> sums;
  auto weigh = [&](int at, __m128i digits, __m128i weights) {
    _mm_store_si128(reinterpret_cast<__m128i*>(sums.data() + at), _mm_madd_epi16(digits, weights));
  };
  weigh(0, _mm_unpacklo_epi8(head, none), _mm_setr_epi16(100, 10, 1, 0, 10, 1, 0, 10));
  weigh(4, _mm_unpackhi_epi8(head, none), _mm_setr_epi16(1, 0, 10, 1, 0, 10, 1, 0));
  weigh(8, _mm_unpacklo_epi8(tail, none), _mm_setr_epi16(0, 100, 10, 1, 0, 100, 10, 1));
  weigh(12, _mm_unpackhi_epi8(tail, none), _mm_setr_epi16(0, 10, 1, 0, 1000, 100, 10, 1));
  const int group = sums[0] + sums[1], year = sums[2], month = sums[3] + sums[4], day = sums[5],
            hour = sums[6] + sums[7], pick = sums[8] + sums[9], elapsed = sums[10] + sums[11],
            rank = sums[12] + sums[13], speed = sums[14] + sums[15];
  auto d = [p](unsigned i) { return (p[i] | 0x10) - '0'; };
#else
  auto d = [p](unsigned i) { return (p[i] | 0x10) - '0'; };
  auto n2 = [&](unsigned i) { return d(i) * 10 + d(i + 1); };
  auto n3 = [&](unsigned i) { return d(i) * 100 + n2(i + 1); };
  const int group = n3(11), year = n2(15), month = n2(18), day = n2(21), hour = n2(24),
            pick = n3(51), elapsed = n3(55), rank = n2(59), speed = d(62) * 1000 + n3(63);
#endif
  const int minute = d(27) * 10 + d(28);
  // A date no clock shows: the general reading says which field.
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59) return false;
  const auto user = static_cast<unsigned>(std::countr_zero(solid));
  out = {{p + user, 10 - user}, group, year,    month, day,  hour, minute,
         {p + type, 50 - type}, pick,  elapsed, rank,  speed};
  return true;
}
