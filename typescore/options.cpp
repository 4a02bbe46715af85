#include "options.h"

#include <string_view>

const char SCORE_HELP[] =
    "usage: typescore [--month YYMM | --all] [--type TYPE]\n"
    "                 [--by best|average|rounds|wins] [--top N] [--user ID]\n"
    "                 [--csv] [--utf8] [--check]\n"
    "       typescore --help | --version\n"
    "\n"
    "The typing race's hall of fame, read from the score ledgers in user/score/\n"
    "of the working directory.\n"
    "\n"
    "  --month YYMM  that month's ledger (default: this month, local time)\n"
    "  --all         every month's ledger\n"
    "  --type TYPE   only rounds of this word type\n"
    "  --by ORDER    leaderboard order: best (default), average, rounds or wins\n"
    "  --top N       the first N rows of the leaderboard (default 10)\n"
    "  --user ID     one user's rounds instead of the leaderboard\n"
    "  --csv         comma-separated values instead of the table\n"
    "  --utf8        UTF-8 instead of EUC-KR\n"
    "  --check       name unreadable lines on standard error; status 1 if any\n";

namespace {

bool is_digits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

bool read_month(std::string_view v, ScoreOptions& out) {
  if (v.size() != 4 || !is_digits(v)) return false;
  out.year = (v[0] - '0') * 10 + (v[1] - '0');
  out.month = (v[2] - '0') * 10 + (v[3] - '0');
  return out.month >= 1 && out.month <= 12;
}

bool read_top(std::string_view v, int& top) {
  if (!is_digits(v)) return false;
  long long n = 0;
  for (char c : v) {
    n = n * 10 + (c - '0');
    if (n > 2147483647LL) return false;
  }
  top = static_cast<int>(n);
  return top >= 1;
}

bool read_order(std::string_view v, Order& by) {
  if (v == "best")
    by = Order::best;
  else if (v == "average")
    by = Order::average;
  else if (v == "rounds")
    by = Order::rounds;
  else if (v == "wins")
    by = Order::wins;
  else
    return false;
  return true;
}

}  // namespace

bool parse_score_options(int argc, char** argv, ScoreOptions& out) {
  // Each option at most once: a second one is more likely a slip than a wish.
  bool seen_by = false, seen_top = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view opt = argv[i];
    bool* flag = opt == "--csv"     ? &out.csv
                 : opt == "--utf8"  ? &out.utf8
                 : opt == "--check" ? &out.check
                 : opt == "--all"   ? &out.all
                                    : nullptr;
    if (flag) {
      if (*flag) return false;
      *flag = true;
      continue;
    }
    if (i + 1 >= argc) return false;
    const std::string_view value = argv[++i];
    if (opt == "--month") {
      if (out.month_given || !read_month(value, out)) return false;
      out.month_given = true;
    } else if (opt == "--type") {
      if (out.has_type || value.empty()) return false;
      out.has_type = true;
      out.type = value;
    } else if (opt == "--by") {
      if (seen_by || !read_order(value, out.by)) return false;
      seen_by = true;
    } else if (opt == "--top") {
      if (seen_top || !read_top(value, out.top)) return false;
      seen_top = true;
    } else if (opt == "--user") {
      if (out.has_user || value.empty()) return false;
      out.has_user = true;
      out.user = value;
    } else {
      return false;
    }
  }
  return !(out.all && out.month_given);
}
