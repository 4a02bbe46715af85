// What typescore prints: a table for a terminal (EUC-KR, or UTF-8 for an operator) or
// comma-separated values.
#pragma once

#include <iconv.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
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
// move the cursor or swallow the next character. A text wider than `max_cols` (at least
// 1) columns is cut at a character and ends in '~'. Shown this way a text takes one
// column per byte.
std::string shown(std::string_view raw, std::size_t max_cols);

// The period (a month, all months, a day or a range of days) as titles name it.
std::string period_text(const Period& p);

// The --rank user's own place: asked for or not, and found or not.
struct OwnPlace {
  bool asked = false;
  std::optional<std::pair<std::size_t, BoardRow>> place;
};

// The leaderboard table, numbered from 1, and the --rank user's own row set apart below
// when not among them, or a line saying they have no rounds; with no rows, the title and
// "no records".
void print_board_table(Out& out, const ScoreOptions& opt, const std::vector<BoardRow>& rows,
                       const OwnPlace& own);

// A user's rounds, with the totals of all their rounds above them; `left_out` earlier
// rounds were not kept, and a line says so.
void print_user_table(Out& out, const ScoreOptions& opt, const BoardRow& totals,
                      const std::vector<KeptRound>& rounds, std::int64_t left_out);

// A user's months, each with a bar for its average speed.
void print_trend_table(Out& out, const ScoreOptions& opt, const BoardRow& totals,
                       const std::vector<MonthRow>& months);

// RFC 4180: quoted only when it holds a comma, a double quote, CR or LF.
void append_csv_field(std::string& to, std::string_view field);

inline constexpr char CSV_BOARD_HEADER[] = "rank,user,rounds,wins,best,average";
inline constexpr char CSV_ROUNDS_HEADER[] =
    "year,month,day,hour,minute,group,type,pick,elapsed,rank,speed";
inline constexpr char CSV_TREND_HEADER[] = "year,month,rounds,wins,best,average";
void print_board_csv(Out& out, const std::vector<BoardRow>& rows, const OwnPlace& own);
void print_round_csv(Out& out, const LedgerLine& line);
void print_trend_csv(Out& out, const std::vector<MonthRow>& months);
