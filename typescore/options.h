// What typescore is asked for: which rounds, which order, which view, which form.
#pragma once

#include <string>

enum class Order { best, average, rounds, wins };

// A day as a ledger line's own fields give it: the year modulo 100 (00 to 99, read as
// 2000 to 2099), the month and the day of the month.
struct Day {
  int year = 0, month = 1, day = 1;
};

// The day as one number that orders days: YYMMDD.
constexpr int day_key(const Day& d) { return d.year * 10000 + d.month * 100 + d.day; }

// Which rounds count, told by each line's own date fields. `current`, `today` and `week`
// name days by the clock and become `month` or `days` once it has been read.
struct Period {
  enum class Kind { current, month, all, days, today, week };
  Kind kind = Kind::current;
  int year = 0, month = 0;  // Kind::month: year modulo 100, and 1 to 12
  // Kind::days: both ends inclusive; an end not given is the first or last day there is.
  Day since{0, 1, 1}, until{99, 12, 31};
  bool has_since = false, has_until = false;
};

struct ScoreOptions {
  Period period;
  bool has_type = false;
  std::string type;  // only rounds of this word type
  Order by = Order::best;
  int top = 10;
  bool has_rank = false;
  std::string rank;  // this user's own row after the top ones
  bool has_user = false;
  std::string user;    // one user's rounds instead of the leaderboard
  bool trend = false;  // that user's months instead of the rounds
  bool has_last = false;
  int last = 0;  // only that user's most recent rounds
  bool csv = false;
  bool utf8 = false;
  bool check = false;
};

// The one line printed on standard error, after what was wrong, for a call that cannot
// be understood.
inline constexpr char SCORE_USAGE[] =
    "Usage: typescore [--month YYMM | --all | --since YYMMDD --until YYMMDD | --today | --week]"
    " [--type TYPE] [--by best|average|rounds|wins] [--top N] [--rank ID]"
    " [--user ID [--trend | --last N]] [--csv] [--utf8] [--check]\n";

// The answer to --help.
extern const char SCORE_HELP[];

// Reads the command line; false when an option is unknown, repeated, lacks its value,
// has a bad one or does not go with another, and then `error` says which, without the
// program's name: "--month 2613: the month must be 01 to 12".
bool parse_score_options(int argc, char** argv, ScoreOptions& out, std::string& error);
