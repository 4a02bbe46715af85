// What typescore is asked for: which ledgers, which rounds, which order, which form.
#pragma once

#include <string>

enum class Order { best, average, rounds, wins };

struct ScoreOptions {
  bool all = false;  // every month's ledger
  bool month_given = false;
  int year = 0;   // modulo 100, with `month`: the month asked for
  int month = 0;  // 1 to 12
  bool has_type = false;
  std::string type;  // only rounds of this word type
  Order by = Order::best;
  int top = 10;
  bool has_user = false;
  std::string user;  // one user's rounds instead of the leaderboard
  bool csv = false;
  bool utf8 = false;
  bool check = false;
};

// The one line printed on standard error for a call that cannot be understood.
inline constexpr char SCORE_USAGE[] =
    "usage: typescore [--month YYMM | --all] [--type TYPE] [--by best|average|rounds|wins]"
    " [--top N] [--user ID] [--csv] [--utf8] [--check]\n";

// The answer to --help.
extern const char SCORE_HELP[];

// Reads the command line; false when an option is unknown, repeated, lacks its value or
// has a bad one. Without --month or --all, `month_given` stays false and the caller
// takes the current month.
bool parse_score_options(int argc, char** argv, ScoreOptions& out);
