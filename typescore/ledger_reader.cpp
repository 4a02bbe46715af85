#include "ledger_reader.h"

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "ledger_fixed.h"

namespace {

constexpr const char* kFieldNames[12] = {"user",   "group", "year", "month",   "day",  "hour",
                                         "minute", "type",  "pick", "elapsed", "rank", "speed"};

// The fields a clock bounds, by index: lowest and highest value.
struct Bounds {
  int field, low, high;
};
constexpr Bounds kCalendar[] = {{3, 1, 12}, {4, 1, 31}, {5, 0, 23}, {6, 0, 59}};

std::uint64_t load64(const char* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Bit i set where byte i of the 64 at `p` is a blank (space or tab).
std::uint64_t blank_bits(const char* p) {
#if defined(__SSE2__)
  const __m128i space = _mm_set1_epi8(' '), tab = _mm_set1_epi8('\t');
  std::uint64_t bits = 0;
  for (int i = 0; i < 4; ++i) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
    const __m128i blank = _mm_or_si128(_mm_cmpeq_epi8(v, space), _mm_cmpeq_epi8(v, tab));
    bits |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(blank))) << (16 * i);
  }
  return bits;
#else
  std::uint64_t bits = 0;
  for (int i = 0; i < 64; ++i)
    if (p[i] == ' ' || p[i] == '\t') bits |= std::uint64_t{1} << i;
  return bits;
#endif
}

// An optional sign, then digits, within 32 bits; `p` has kLedgerLineSlack readable bytes
// after the token.
LedgerFault read_int32(const char* p, std::size_t size, int& out) {
  const bool negative = p[0] == '-';
  const std::size_t sign = negative || p[0] == '+' ? 1 : 0;
  const std::size_t digits = size - sign;
  if (digits == 0) return LedgerFault::not_a_number;
  if (digits <= 8) {
    // All digits at once: moved to the top of a word (the last digit in its top byte),
    // the bytes below them made '0', so eight digits are checked and summed together.
    const unsigned shift = 8 * static_cast<unsigned>(8 - digits);
    std::uint64_t v = load64(p + sign) << shift;
    if (shift) v |= 0x3030303030303030ULL & ((std::uint64_t{1} << shift) - 1);
    if (((v - 0x3030303030303030ULL) | (v + 0x4646464646464646ULL) | v) & 0x8080808080808080ULL)
      return LedgerFault::not_a_number;
    v = (v & 0x0F0F0F0F0F0F0F0FULL) * 2561 >> 8;
    v = (v & 0x00FF00FF00FF00FFULL) * 6553601 >> 16;
    v = (v & 0x0000FFFF0000FFFFULL) * 42949672960001ULL >> 32;
    const int n = static_cast<int>(v);  // at most 99,999,999
    out = negative ? -n : n;
    return LedgerFault::none;
  }
  const long long limit = negative ? 2147483648LL : 2147483647LL;
  long long v = 0;
  bool beyond = false;
  for (std::size_t i = sign; i < size; ++i) {
    const unsigned digit = static_cast<unsigned char>(p[i]) - unsigned{'0'};
    if (digit > 9) return LedgerFault::not_a_number;
    // Digits go on being checked past the limit: "99999999999x" is no number at all.
    if (!beyond) v = v * 10 + digit;
    beyond = beyond || v > limit;
  }
  if (beyond) return LedgerFault::out_of_range;
  out = static_cast<int>(negative ? -v : v);
  return LedgerFault::none;
}

struct Token {
  std::uint32_t begin, end;
};

// Reads the line at `text` from `scan`, the same bytes with kLedgerLineSlack readable
// after them (the line itself, or a copy), so whole words can be loaded at its end.
LedgerVerdict parse_line(const char* scan, std::span<char> line, LedgerLine& out) {
  const std::size_t size = line.size();
  if (size > kLedgerLineMax) return {LedgerFault::too_long, 0};
  char* const text = line.data();
  if (size == kLedgerFixedSize && read_fixed_ledger_line(scan, out)) {
    // Views into the line itself, which holds the same bytes as `scan`.
    out.user = {text + (out.user.data() - scan), out.user.size()};
    out.type = {text + (out.type.data() - scan), out.type.size()};
    return {};
  }

  // Every token's ends in one pass over the blank bits, 64 bytes at a time: the first
  // seven tokens are the fixed fields in front, the last four (the last five kept, for
  // the end of the word type) those at the back, and the word type is what lies between,
  // empty when the line has exactly eleven.
  std::array<Token, 7> head;
  std::array<Token, 8> tail;  // token k at k % 8
  std::uint32_t count = 0, begin = 0, type_begin = 0;
  auto take = [&](Token t) {
    if (count < 7) head[count] = t;
    if (count == 7) type_begin = t.begin;
    tail[count & 7] = t;
    ++count;
  };
  bool in_token = false;
  std::uint64_t before = 1;  // the byte before the line counts as blank
  for (std::size_t base = 0; base < size; base += 64) {
    std::uint64_t solid = ~blank_bits(scan + base);
    if (size - base < 64) solid &= (std::uint64_t{1} << (size - base)) - 1;
    const std::uint64_t shifted = (solid << 1) | (before ^ 1);
    // A token starts at a solid byte after a blank one and ends at a blank (or past
    // the line) after a solid one; the two alternate.
    std::uint64_t edges = (solid & ~shifted) | (~solid & shifted);
    before = solid >> 63 ^ 1;
    while (edges) {
      const auto at =
          static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(std::countr_zero(edges));
      edges &= edges - 1;
      if (!in_token)
        begin = at;
      else
        take({begin, at});
      in_token = !in_token;
    }
  }
  if (in_token) take({begin, static_cast<std::uint32_t>(size)});
  if (count < 11) return {LedgerFault::too_few_fields, 0};

  std::array<int, 12> num{};
  for (int f = 1; f < 12; ++f) {
    if (f == 7) continue;
    const Token t = f < 7 ? head[f] : tail[(count - 12 + f) & 7];
    const LedgerFault fault = read_int32(scan + t.begin, t.end - t.begin, num[f]);
    if (fault != LedgerFault::none) return {fault, f};
    if (f >= 3 && f <= 6) {
      const Bounds& b = kCalendar[f - 3];
      if (num[f] < b.low || num[f] > b.high) return {LedgerFault::off_calendar, f};
    }
  }

  // The word type's tokens one blank apart, in place: it only ever shrinks. A type of
  // one token, as nearly every line has, is already as it should be.
  std::size_t type_size = 0;
  if (count == 11) type_begin = head[6].end;
  if (count > 11) {
    const std::uint32_t type_end = tail[(count - 5) & 7].end;
    type_size = type_end - type_begin;
    if (count > 12) {
      std::size_t w = type_begin;
      bool after_blank = false;
      for (std::size_t r = type_begin; r < type_end; ++r) {
        const bool blank = text[r] == ' ' || text[r] == '\t';
        if (!blank)
          text[w++] = text[r];
        else if (!after_blank)
          text[w++] = ' ';
        after_blank = blank;
      }
      type_size = w - type_begin;
    }
  }
  const std::string_view type{text + type_begin, type_size};
  out = {{text + head[0].begin, head[0].end - head[0].begin},
         num[1],
         num[2],
         num[3],
         num[4],
         num[5],
         num[6],
         type,
         num[8],
         num[9],
         num[10],
         num[11]};
  return {};
}

}  // namespace

LedgerVerdict parse_ledger_line_in_block(std::span<char> line, LedgerLine& out) {
  return parse_line(line.data(), line, out);
}

LedgerVerdict parse_ledger_line(std::span<char> line, LedgerLine& out) {
  if (line.size() > kLedgerLineMax) return {LedgerFault::too_long, 0};
  std::array<char, kLedgerLineMax + kLedgerLineSlack> copy;
  std::memcpy(copy.data(), line.data(), line.size());
  std::memset(copy.data() + line.size(), ' ', kLedgerLineSlack);
  return parse_line(copy.data(), line, out);
}

void describe_ledger_fault(const LedgerVerdict& v, std::span<char> out) {
  const char* field = kFieldNames[v.field >= 0 && v.field < 12 ? v.field : 0];
  switch (v.fault) {
    case LedgerFault::none:
      std::snprintf(out.data(), out.size(), "reads");
      break;
    case LedgerFault::too_long:
      std::snprintf(out.data(), out.size(), "longer than %zu bytes", kLedgerLineMax);
      break;
    case LedgerFault::too_few_fields:
      std::snprintf(out.data(), out.size(), "fewer than 11 fields");
      break;
    case LedgerFault::not_a_number:
      std::snprintf(out.data(), out.size(), "%s is not a whole number", field);
      break;
    case LedgerFault::out_of_range:
      std::snprintf(out.data(), out.size(), "%s is beyond 32 bits", field);
      break;
    case LedgerFault::off_calendar:
      for (const Bounds& b : kCalendar)
        if (b.field == v.field)
          std::snprintf(out.data(), out.size(), "%s is not %d to %d", field, b.low, b.high);
      break;
  }
}
