#include "stamp.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

#include "strchng.h"

namespace {

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// atoi without its undefined behaviour on overflow: the value saturates instead.
int parse_int(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && is_space(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  constexpr long long limit = static_cast<long long>(INT_MAX) + 1;
  long long value = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i)
    value = std::min(value * 10 + (s[i] - '0'), limit);
  if (negative) return static_cast<int>(-value);
  return static_cast<int>(std::min(value, static_cast<long long>(INT_MAX)));
}

}  // namespace

int parse_makenum_line(std::string_view line) {
  std::array<char, MAKENUM_LINE_READ> text{};
  std::memcpy(text.data(), line.data(), std::min(line.size(), text.size() - 1));
  text[MAKENUM_LINE_CUT] = '\0';
  strchng2(text, "\"", "");
  const std::string_view clean(text.data());
  if (clean.size() <= MAKENUM_NUMBER_AT) return 0;
  return parse_int(clean.substr(MAKENUM_NUMBER_AT));
}

int read_makenum(std::string_view header) {
  if (header.empty()) return 0;
  const std::size_t feed = header.find('\n');
  const std::size_t end = feed == std::string_view::npos ? header.size() : feed + 1;
  return next_makenum(parse_makenum_line(header.substr(0, std::min(end, MAKENUM_LINE_READ - 1))));
}

int next_makenum(int n) { return static_cast<int>(static_cast<unsigned>(n) + 1u); }

bool snapshot_due(int n) { return n % 30 == 0; }

int makenum_year(int tm_year) { return tm_year <= 2000 ? tm_year + 1900 : tm_year; }

int two_digit_year(int tm_year) { return (tm_year % 100 + 100) % 100; }
