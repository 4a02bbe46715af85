#include "ledger.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "cfile.h"
#include "data_file.h"
#include "retry.h"

void ledger_path(const std::tm& when, std::array<char, 64>& out) {
  std::snprintf(out.data(), out.size(), "user/score/type%d%d.dat", when.tm_year % 100,
                when.tm_mon + 1);
}

namespace {

// `text` as a C string in `buf`; false when it cannot fit a ledger line anyway.
bool c_string(std::string_view text, std::array<char, kLedgerLineSize>& buf) {
  if (text.size() >= buf.size()) return false;
  text.copy(buf.data(), text.size());
  buf[text.size()] = '\0';
  return true;
}

}  // namespace

std::size_t format_ledger_line(std::span<char> out, const LedgerLine& l) {
  std::array<char, kLedgerLineSize> user, type;
  int n = -1;
  if (c_string(l.user, user) && c_string(l.type, type))
    n = std::snprintf(out.data(), out.size(), LEDGER_FORMAT, user.data(), l.group, l.year, l.month,
                      l.day, l.hour, l.minute, type.data(), l.pick, l.elapsed, l.rank, l.speed);
  if (n < 0 || static_cast<std::size_t>(n) >= out.size()) {
    if (!out.empty()) out[0] = '\0';
    return 0;
  }
  return static_cast<std::size_t>(n);
}

namespace {

constexpr const char* kFieldNames[12] = {"user",   "group", "year", "month",   "day",  "hour",
                                         "minute", "type",  "pick", "elapsed", "rank", "speed"};

// The fields a clock bounds, by index: lowest and highest value.
struct Bounds {
  int field, low, high;
};
constexpr Bounds kCalendar[] = {{3, 1, 12}, {4, 1, 31}, {5, 0, 23}, {6, 0, 59}};

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// An optional sign, then digits, within 32 bits.
LedgerFault read_int32(std::string_view tok, int& out) {
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
    // Digits go on being checked past the limit: "99999999999x" is no number at all.
    if (!beyond) v = v * 10 + digit;
    beyond = beyond || v > limit;
  }
  if (beyond) return LedgerFault::out_of_range;
  out = static_cast<int>(negative ? -v : v);
  return LedgerFault::none;
}

}  // namespace

LedgerVerdict parse_ledger_line(std::span<char> line, LedgerLine& out) {
  if (line.size() > kLedgerLineMax) return {LedgerFault::too_long, 0};
  const LedgerVerdict too_few{LedgerFault::too_few_fields, 0};
  char* const text = line.data();
  const std::size_t size = line.size();

  // The first seven fields from the front, the last four from the back; the word type is
  // whatever lies between them, at least one token.
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
  if (type_begin == type_end) return too_few;

  std::array<int, 12> num{};
  for (int f = 1; f < 12; ++f) {
    if (f == 7) continue;
    const LedgerFault fault = read_int32(tok[f], num[f]);
    if (fault != LedgerFault::none) return {fault, f};
    for (const Bounds& b : kCalendar)
      if (b.field == f && (num[f] < b.low || num[f] > b.high))
        return {LedgerFault::off_calendar, f};
  }

  // One blank between the type's tokens; the type only ever shrinks, so in place is safe.
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
      std::snprintf(out.data(), out.size(), "fewer than 12 fields");
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

bool append_whole_line(const char* path, std::string_view line) {
  // Never through a symbolic link: a link in the ledger's place would have every round
  // append to whatever it names.
  Fd f{open_data_file(path, O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW)};
  if (!f) return false;
  struct stat st;
  // Rounds of other rooms append to the same ledger. Holding the file while a line goes
  // in is what makes taking back a cut line safe: no other round's line can follow it.
  // Should something else hold it long, the line goes in unguarded rather than holding
  // up the ranking.
  lock_briefly(f.fd);

  // A fragment that something else left at the end would swallow the head of this line.
  char last = '\n';
  if (fstat(f.fd, &st) == 0 && st.st_size > 0 && pread(f.fd, &last, 1, st.st_size - 1) != 1)
    last = '\n';
  std::array<char, kLedgerLineSize + 1> buf;
  std::string_view out = line;
  if (last != '\n' && line.size() < buf.size()) {
    buf[0] = '\n';
    line.copy(buf.data() + 1, line.size());
    out = {buf.data(), line.size() + 1};
  }

  ssize_t n = write(f.fd, out.data(), out.size());
  if (n == static_cast<ssize_t>(out.size())) return true;
  if (n > 0) {
    // Where our bytes ended; with nothing after them, they can be taken back.
    off_t end = lseek(f.fd, 0, SEEK_CUR);
    if (end >= n && fstat(f.fd, &st) == 0 && st.st_size == end) {
      // Should even that fail for good, the next line starts on a line of its own.
      try_again([&] { return ftruncate(f.fd, end - n); });
    }
  }
  return false;
}
