#include "options.h"

#include <string_view>

const char SCORE_HELP[] =
    "Usage: typescore [--month YYMM | --all | --since YYMMDD --until YYMMDD\n"
    "                 | --today | --week] [--type TYPE]\n"
    "                 [--by best|average|rounds|wins] [--top N] [--rank ID]\n"
    "                 [--user ID [--trend | --last N]] [--csv] [--utf8] [--check]\n"
    "       typescore --help | --version\n"
    "\n"
    "The typing race's hall of fame, read from the score ledgers in user/score/\n"
    "of the working directory.\n"
    "\n"
    "  --month YYMM    that month's ledger (default: this month, local time)\n"
    "  --all           every month's ledger\n"
    "  --since YYMMDD  from that day on (years 00 to 99 are 2000 to 2099)\n"
    "  --until YYMMDD  up to that day; both together give a range of days\n"
    "  --today         today alone\n"
    "  --week          this week, Monday to today\n"
    "  --type TYPE     only rounds of this word type\n"
    "  --by ORDER      leaderboard order: best (default), average, rounds or wins\n"
    "  --top N         the first N rows of the leaderboard (default 10)\n"
    "  --rank ID       and that user's own row, when not among them\n"
    "  --user ID       one user's rounds instead of the leaderboard; a table\n"
    "                  shows the last 20, CSV every one\n"
    "  --trend         with --user: one row per month (default: every month)\n"
    "  --last N        with --user: only the N most recent rounds\n"
    "  --csv           comma-separated values instead of the table\n"
    "  --utf8          UTF-8 instead of EUC-KR\n"
    "  --check         name unreadable lines on standard error; status 1 if any\n";

namespace {

bool is_digits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

int two_digits(std::string_view v, std::size_t at) {
  return (v[at] - '0') * 10 + (v[at + 1] - '0');
}

bool leap_year(int yy) { return yy % 4 == 0; }  // 2000 to 2099: every fourth year

int days_in_month(int yy, int month) {
  static constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && leap_year(yy) ? 29 : days[month - 1];
}

// Each reader says what is wrong with a value, or nothing when it reads.
std::string read_month(std::string_view v, Period& p) {
  if (v.size() != 4 || !is_digits(v)) return "the month must be four digits, YYMM";
  p.year = two_digits(v, 0);
  p.month = two_digits(v, 2);
  if (p.month < 1 || p.month > 12) return "the month must be 01 to 12";
  return {};
}

std::string read_day(std::string_view v, Day& d) {
  if (v.size() != 6 || !is_digits(v)) return "the day must be six digits, YYMMDD";
  d = {two_digits(v, 0), two_digits(v, 2), two_digits(v, 4)};
  if (d.month < 1 || d.month > 12) return "the month must be 01 to 12";
  if (d.day < 1 || d.day > days_in_month(d.year, d.month)) return "there is no such day";
  return {};
}

std::string read_count(std::string_view v, int& n) {
  const char* const why = "the number must be 1 to 2147483647";
  if (!is_digits(v)) return why;
  long long x = 0;
  for (char c : v) {
    x = x * 10 + (c - '0');
    if (x > 2147483647LL) return why;
  }
  if (x < 1) return why;
  n = static_cast<int>(x);
  return {};
}

std::string read_order(std::string_view v, Order& by) {
  if (v == "best")
    by = Order::best;
  else if (v == "average")
    by = Order::average;
  else if (v == "rounds")
    by = Order::rounds;
  else if (v == "wins")
    by = Order::wins;
  else
    return "the order must be best, average, rounds or wins";
  return {};
}

}  // namespace

bool parse_score_options(int argc, char** argv, ScoreOptions& out, std::string& error) {
  auto fail = [&](std::string text) {
    error = std::move(text);
    return false;
  };
  // Each option at most once: a second one is more likely a slip than a wish.
  bool seen_by = false, seen_top = false, month = false, all = false, today = false, week = false;
  // The first option that named a period, for a message about a second one.
  std::string_view period_option;
  auto period = [&](std::string_view opt) {
    const bool ranged = opt == "--since" || opt == "--until";
    const bool first_ranged = period_option == "--since" || period_option == "--until";
    if (!period_option.empty() && !(ranged && first_ranged))
      return fail(std::string(period_option) + " and " + std::string(opt) + " cannot be combined");
    if (period_option.empty()) period_option = opt;
    return true;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string_view opt = argv[i];
    bool* flag = opt == "--csv"     ? &out.csv
                 : opt == "--utf8"  ? &out.utf8
                 : opt == "--check" ? &out.check
                 : opt == "--all"   ? &all
                 : opt == "--today" ? &today
                 : opt == "--week"  ? &week
                 : opt == "--trend" ? &out.trend
                                    : nullptr;
    if (flag) {
      if (*flag) return fail(std::string(opt) + " is given twice");
      *flag = true;
      if (flag == &all || flag == &today || flag == &week) {
        if (!period(opt)) return false;
        out.period.kind = flag == &all     ? Period::Kind::all
                          : flag == &today ? Period::Kind::today
                                           : Period::Kind::week;
      }
      continue;
    }
    const bool known = opt == "--month" || opt == "--since" || opt == "--until" ||
                       opt == "--type" || opt == "--by" || opt == "--top" || opt == "--rank" ||
                       opt == "--user" || opt == "--last";
    if (!known) {
      if (opt == "--help" || opt == "--version") return fail(std::string(opt) + " goes on its own");
      return fail(std::string(opt) +
                  (opt.starts_with("-") ? ": no such option" : ": not an option"));
    }
    if (i + 1 >= argc) return fail(std::string(opt) + " needs a value");
    const std::string_view value = argv[++i];
    const std::string said = std::string(opt) + " " + std::string(value) + ": ";
    auto twice = [&](bool seen) {
      if (seen) return fail(std::string(opt) + " is given twice");
      return true;
    };
    std::string why;
    if (opt == "--month") {
      if (!twice(month) || !period(opt)) return false;
      month = true;
      why = read_month(value, out.period);
      out.period.kind = Period::Kind::month;
    } else if (opt == "--since" || opt == "--until") {
      const bool since = opt == "--since";
      if (!twice(since ? out.period.has_since : out.period.has_until) || !period(opt)) return false;
      (since ? out.period.has_since : out.period.has_until) = true;
      why = read_day(value, since ? out.period.since : out.period.until);
      out.period.kind = Period::Kind::days;
    } else if (opt == "--type" || opt == "--rank" || opt == "--user") {
      bool& has = opt == "--type" ? out.has_type : opt == "--rank" ? out.has_rank : out.has_user;
      if (!twice(has)) return false;
      has = true;
      (opt == "--type" ? out.type : opt == "--rank" ? out.rank : out.user) = value;
      if (value.empty())
        return fail(std::string(opt) + ": the " + (opt == "--type" ? "word type" : "user id") +
                    " must not be empty");
    } else if (opt == "--by") {
      if (!twice(seen_by)) return false;
      seen_by = true;
      why = read_order(value, out.by);
    } else if (opt == "--top") {
      if (!twice(seen_top)) return false;
      seen_top = true;
      why = read_count(value, out.top);
    } else {  // --last
      if (!twice(out.has_last)) return false;
      out.has_last = true;
      why = read_count(value, out.last);
    }
    if (!why.empty()) return fail(said + why);
  }
  const Period& p = out.period;
  if (p.has_since && p.has_until && day_key(p.since) > day_key(p.until))
    return fail("--since " + std::to_string(day_key(p.since) + 1000000).substr(1) +
                " is after --until " + std::to_string(day_key(p.until) + 1000000).substr(1));
  if (out.trend && !out.has_user) return fail("--trend needs --user");
  if (out.has_last && !out.has_user) return fail("--last needs --user");
  if (out.trend && out.has_last) return fail("--trend and --last cannot be combined");
  if (out.has_rank && out.has_user) return fail("--rank and --user cannot be combined");
  return true;
}
