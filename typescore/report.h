// What typescore prints: a table for a terminal (EUC-KR, or UTF-8 for an operator) or
// comma-separated values.
#pragma once

#include <iconv.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "euckr_text.h"
#include "ledger_format.h"
#include "options.h"
#include "tally.h"

// Lines to a stream, each with its line end, converted from EUC-KR to UTF-8 on request.
class Out {
 public:
  Out(std::FILE* f, bool utf8, std::string_view line_end);
  ~Out();
  Out(const Out&) = delete;
  Out& operator=(const Out&) = delete;

  bool ready() const { return !utf8_ || cd_ != reinterpret_cast<iconv_t>(-1); }
  void line(std::string_view text);
  // Flushes; false when anything failed to go out.
  bool finish();

 private:
  std::FILE* f_;
  bool utf8_;
  std::string line_end_;
  iconv_t cd_ = reinterpret_cast<iconv_t>(-1);
  std::string converted_;
};

// `raw` as it can be shown on a terminal (printable_euckr), so nothing in a ledger can
// move the cursor or swallow the next character. A text wider than `max_cols` columns is
// cut at a character and ends in '~'. Shown this way a text takes one column per byte.
std::string shown(std::string_view raw, std::size_t max_cols);

// The month (or "all months") and type the output covers, as titles name them.
std::string period_text(const ScoreOptions& opt);

// The leaderboard table, numbered from 1; with no rows, the title and "no records".
void print_board_table(Out& out, const ScoreOptions& opt, const std::vector<BoardRow>& rows);

// One round of a user's, kept for their table.
struct UserRound {
  int year, month, day, hour, minute, rank, elapsed, speed;
  std::string type;  // as shown, already cut to its column
};
UserRound keep_round(const LedgerLine& line);

// A user's rounds in ledger order with their totals above them.
void print_user_table(Out& out, const ScoreOptions& opt, const BoardRow& totals,
                      const std::vector<UserRound>& rounds);

// RFC 4180: quoted only when it holds a comma, a double quote, CR or LF.
void append_csv_field(std::string& to, std::string_view field);

inline constexpr char CSV_BOARD_HEADER[] = "rank,user,rounds,wins,best,average";
inline constexpr char CSV_ROUNDS_HEADER[] =
    "year,month,day,hour,minute,group,type,pick,elapsed,rank,speed";
void print_board_csv(Out& out, const std::vector<BoardRow>& rows);
void print_round_csv(Out& out, const LedgerLine& line);
