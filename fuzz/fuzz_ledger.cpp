// The ledger line reader: typescore's line reading and parse_ledger_line, in both its
// forms (a line on its own, a line read in place in a block of the file), held to the
// reader it replaced and to a reading worked out on its own.
// Input: the bytes of a ledger file. Its first 40 bytes also give the numbers, and what
// follows up to two line feeds the user id and the word type, of a line written the
// way jumsu_save writes it.
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "fuzz_util.h"
#include "ledger_fixed.h"
#include "ledger_reader.h"
#include "ledger_reference.h"
#include "ledger_scan.h"

namespace {

bool blank(char c) { return c == ' ' || c == '\t'; }

// The reading rule worked out on its own: split on blanks, seven fields in front, four
// at the back, the word type's tokens between them (none at all for eleven fields)
// joined by one blank.
struct Expected {
  LedgerFault fault = LedgerFault::none;
  int field = 0;
  std::array<long long, 12> num{};
  std::string user, type;
};

Expected refused(LedgerFault fault, int field = 0) {
  Expected e;
  e.fault = fault;
  e.field = field;
  return e;
}

Expected expected_reading(std::string_view line) {
  Expected e;
  if (line.size() > kLedgerLineMax) return refused(LedgerFault::too_long);
  std::vector<std::string_view> toks;
  for (std::string_view rest = line; !rest.empty();) {
    std::size_t i = 0;
    while (i < rest.size() && !blank(rest[i])) ++i;
    if (i > 0) toks.push_back(rest.substr(0, i));
    rest.remove_prefix(std::min(rest.size(), i + 1));
  }
  if (toks.size() < 11) return refused(LedgerFault::too_few_fields);
  for (int f = 1; f < 12; ++f) {
    if (f == 7) continue;
    const std::string tok(f < 7 ? toks[f] : toks[toks.size() - 12 + f]);
    const std::size_t first_digit = tok[0] == '+' || tok[0] == '-' ? 1 : 0;
    if (tok.size() == first_digit ||
        tok.find_first_not_of("0123456789", first_digit) != std::string::npos)
      return refused(LedgerFault::not_a_number, f);
    errno = 0;
    const long long v = std::strtoll(tok.c_str(), nullptr, 10);
    if (errno == ERANGE || v < INT_MIN || v > INT_MAX) return refused(LedgerFault::out_of_range, f);
    e.num[f] = v;
    const long long low = f == 3 || f == 4 ? 1 : 0;
    const long long high = f == 3 ? 12 : f == 4 ? 31 : f == 5 ? 23 : 59;
    if (f >= 3 && f <= 6 && (v < low || v > high)) return refused(LedgerFault::off_calendar, f);
  }
  e.user = toks[0];
  for (std::size_t t = 7; t + 4 < toks.size(); ++t)
    e.type += (t > 7 ? " " : "") + std::string(toks[t]);
  return e;
}

auto values(const LedgerLine& l) {
  return std::tuple(std::string(l.user), l.group, l.year, l.month, l.day, l.hour, l.minute,
                    std::string(l.type), l.pick, l.elapsed, l.rank, l.speed);
}

// `v` and `got`: the reading under test of the line `text`.
void check_line(std::string_view text, LedgerVerdict v, const LedgerLine& got) {
  // The reader it replaced, on a copy of its own: the same verdict and values.
  std::string copy(text);
  LedgerLine old{};
  const LedgerVerdict old_v = reference::parse_ledger_line(copy, old);
  FUZZ_CHECK(v.fault == old_v.fault && v.field == old_v.field);
  if (v) FUZZ_CHECK(values(got) == values(old));

  const Expected want = expected_reading(text);
  FUZZ_CHECK(v.fault == want.fault);
  std::array<char, 64> why;
  describe_ledger_fault(v, why);
  FUZZ_CHECK(std::strlen(why.data()) > 0 && std::strlen(why.data()) < why.size() - 1);
  if (!v) {
    FUZZ_CHECK(v.field == want.field);
    return;
  }
  FUZZ_CHECK(got.user == want.user && got.type == want.type);
  const int nums[] = {0,          got.group, got.year, got.month,   got.day,  got.hour,
                      got.minute, 0,         got.pick, got.elapsed, got.rank, got.speed};
  for (int f = 1; f < 12; ++f) FUZZ_CHECK(f == 7 || nums[f] == want.num[f]);
}

// A user id or word type as typerace could write it: no line feed, no zero byte, and
// for the id no blank and at least one byte; a type's tokens one blank apart.
std::string writable(std::string_view raw, bool is_type) {
  std::string s;
  for (char c : raw) {
    if (c == '\n' || c == '\0') continue;
    if (blank(c)) {
      if (is_type && !s.empty() && s.back() != ' ') s += ' ';
      continue;
    }
    s += c;
  }
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s.empty() && !is_type ? "x" : s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view in = fuzz::bytes(data, size);

  // As a file: every line comes once, in order, cut only when beyond the limit.
  const int fd = memfd_create("ledger", MFD_CLOEXEC);
  FUZZ_CHECK(fd >= 0);
  FUZZ_CHECK(write(fd, in.data(), in.size()) == static_cast<ssize_t>(in.size()));
  FUZZ_CHECK(lseek(fd, 0, SEEK_SET) == 0);
  // The smallest block, so lines meet its ends as often as they can.
  LineReader reader(fd, 0);
  std::string_view rest = in;
  std::span<char> line;
  std::vector<std::string> seen;  // each line as the reader gives it
  for (;;) {
    // As typescore reads: a line in the fixed layout at once where it lies, any other
    // split off and read in place; and each line on its own too.
    LedgerLine fixed{};
    const bool at_once = reader.next_fixed(fixed);
    if (!at_once && !reader.next(line)) break;
    FUZZ_CHECK(!rest.empty());
    const std::string_view whole = fuzz::take_until(rest, '\n');
    seen.emplace_back(whole.substr(0, std::min(whole.size(), kLedgerLineMax + 1)));
    if (at_once) {
      FUZZ_CHECK(whole.size() == kLedgerFixedSize);
      check_line(whole, {}, fixed);
    } else {
      FUZZ_CHECK(std::string_view(line.data(), line.size()) ==
                 whole.substr(0, std::min(whole.size(), kLedgerLineMax + 1)));
      LedgerLine in_block{};
      check_line(whole, parse_ledger_line_in_block(line, in_block), in_block);
    }
    std::string alone(whole);
    LedgerLine got{};
    check_line(whole, parse_ledger_line(alone, got), got);
    if (whole.size() == kLedgerFixedSize) {
      LedgerLine direct{};
      if (read_fixed_ledger_line(whole.data(), direct)) check_line(whole, {}, direct);
    }
  }
  FUZZ_CHECK(rest.empty() && reader.error() == 0);

  // Read in two parts cut anywhere, as a big ledger is: the same lines, each once.
  const off_t cut = size ? static_cast<off_t>((data[0] * 257u + data[size - 1]) % (size + 1)) : 0;
  std::vector<std::string> parts;
  for (const auto& [from, to] : {std::pair{off_t{0}, cut}, std::pair{cut, LineReader::kToTheEnd}}) {
    LineReader part(fd, 0);
    part.reset(fd, from, to);
    for (;;) {
      LedgerLine fixed{};
      if (part.next_fixed(fixed))
        parts.emplace_back(fixed.user.data() + fixed.user.size() - 10, kLedgerFixedSize);
      else if (part.next(line))
        parts.emplace_back(line.data(), line.size());
      else
        break;
    }
    FUZZ_CHECK(part.error() == 0);
  }
  FUZZ_CHECK(parts == seen);
  close(fd);

  // As numbers and names for a line jumsu_save's format writes: it reads back as written.
  // Every other input keeps the numbers within their fields' widths, as nearly every
  // round's are, so the line has the fixed layout when the names fit theirs.
  if (size < 40) return 0;
  std::array<int, 10> n;
  std::memcpy(n.data(), data, sizeof n);
  std::string_view names = in.substr(40);
  const std::string user = writable(fuzz::take_until(names, '\n'), false);
  const std::string type = writable(fuzz::take_until(names, '\n'), true);
  auto within = [](int v, int low, int high) {
    return low + static_cast<int>(static_cast<unsigned>(v) % static_cast<unsigned>(high - low + 1));
  };
  const bool narrow = n[9] & 1;
  auto number = [&](int v, int high) { return narrow ? within(v, 0, high) : v; };
  const LedgerLine written{user,
                           number(n[0], 999),
                           number(n[1], 99),
                           within(n[2], 1, 12),
                           within(n[3], 1, 31),
                           within(n[4], 0, 23),
                           within(n[5], 0, 59),
                           type,
                           number(n[6], 999),
                           number(n[7], 999),
                           number(n[8], 99),
                           number(n[9], 9999)};
  std::array<char, kLedgerLineSize> buf;
  const std::size_t len = format_ledger_line(buf, written);
  if (len == 0) return 0;  // too long for typerace to write at all
  FUZZ_CHECK(buf[len - 1] == '\n');
  LedgerLine read{};
  FUZZ_CHECK(parse_ledger_line(std::span<char>(buf.data(), len - 1), read));
  FUZZ_CHECK(read.user == written.user && read.type == written.type);
  FUZZ_CHECK(std::tie(read.group, read.year, read.month, read.day, read.hour, read.minute,
                      read.pick, read.elapsed, read.rank, read.speed) ==
             std::tie(written.group, written.year, written.month, written.day, written.hour,
                      written.minute, written.pick, written.elapsed, written.rank, written.speed));

  // The same line with a few bytes changed, as the rest of the input says (position,
  // byte): lines one step from typerace's are where the fast reading must turn down
  // exactly what it cannot take.
  std::string changed(buf.data(), len - 1);
  for (std::size_t i = 0; i + 1 < names.size() && i < 16; i += 2)
    changed[static_cast<unsigned char>(names[i]) % changed.size()] = names[i + 1];
  std::string copy = changed;
  LedgerLine got{};
  check_line(changed, parse_ledger_line(copy, got), got);
  if (changed.size() == kLedgerFixedSize) {
    LedgerLine direct{};
    if (read_fixed_ledger_line(changed.data(), direct)) check_line(changed, {}, direct);
  }
  return 0;
}
