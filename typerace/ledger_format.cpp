#include "ledger_format.h"

#include <cstdio>

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
