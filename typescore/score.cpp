#include "score.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <limits>
#include <new>
#include <string_view>
#include <vector>

#include "ledger_scan.h"
#include "options.h"
#include "period.h"
#include "report.h"
#include "tally.h"

namespace {

// What a player's terminal table shows of their rounds without --last: one month of
// theirs can be thousands of lines.
constexpr std::size_t kTableRounds = 20;

// A terminal whose driver does not turn a line feed into CR LF (a raw one, as a server
// may leave it) gets both, so rows never step down in a staircase.
std::string_view table_line_end(std::FILE* out) {
  const int fd = fileno(out);
  termios t;
  if (fd >= 0 && isatty(fd) && tcgetattr(fd, &t) == 0 &&
      !((t.c_oflag & OPOST) && (t.c_oflag & ONLCR)))
    return "\r\n";
  return "\n";
}

BoardRow totals_row(const Totals& t) {
  return {{}, t.rounds, t.wins, t.best, t.rounds ? floor_mean(t.speed_sum, t.rounds) : 0};
}

ScanResult leaderboard(const ScoreOptions& opt, Out& o, std::FILE* err) {
  LedgerScan scan(opt, err);
  Board board;
  scan.count(board);
  const std::vector<BoardRow> rows = board.ranking(opt.by, static_cast<std::size_t>(opt.top));
  OwnPlace own;
  own.asked = opt.has_rank;
  if (opt.has_rank) own.place = board.place_of(opt.rank, opt.by);
  if (opt.csv)
    print_board_csv(o, rows, own);
  else
    print_board_table(o, opt, rows, own);
  return scan.result();
}

ScanResult user_view(const ScoreOptions& opt, Out& o, std::FILE* err) {
  LedgerScan scan(opt, err);
  if (opt.csv && !opt.has_last && !opt.trend) {
    // Nothing to total: each round goes out as it is read.
    o.line(CSV_ROUNDS_HEADER);
    scan.each([&](const LedgerLine& l) {
      if (l.user == opt.user) print_round_csv(o, l);
    });
    return scan.result();
  }
  Totals totals;
  if (opt.trend) {
    MonthBoard months;
    scan.each([&](const LedgerLine& l) {
      if (l.user == opt.user) totals.add(l), months.add(l);
    });
    if (opt.csv)
      print_trend_csv(o, months.rows());
    else
      print_trend_table(o, opt, totals_row(totals), months.rows());
    return scan.result();
  }
  RecentRounds recent(opt.has_last ? static_cast<std::size_t>(opt.last) : kTableRounds);
  scan.each([&](const LedgerLine& l) {
    if (l.user == opt.user) totals.add(l), recent.add(l);
  });
  const std::vector<KeptRound> rounds = recent.take();
  if (opt.csv) {
    o.line(CSV_ROUNDS_HEADER);
    for (const KeptRound& r : rounds) print_round_csv(o, r.line(opt.user));
  } else {
    print_user_table(o, opt, totals_row(totals), rounds, recent.left_out());
  }
  return scan.result();
}

int run(int argc, char** argv, std::FILE* out, std::FILE* err) {
  ScoreOptions opt;
  std::string error;
  if (!parse_score_options(argc, argv, opt, error)) {
    // What was wrong first, then how it is called; an argument can hold any byte.
    std::fprintf(err, "typescore: %s\n%s",
                 shown(error, std::numeric_limits<std::size_t>::max()).c_str(), SCORE_USAGE);
    return 2;
  }
  // A user's trend without a period covers every month they played.
  if (opt.trend && opt.period.kind == Period::Kind::current) opt.period.kind = Period::Kind::all;
  if (period_needs_clock(opt.period)) {
    const std::time_t now = std::time(nullptr);
    std::tm local;
    if (!localtime_r(&now, &local)) {
      std::fprintf(err, "typescore: the clock cannot be read as a date\n");
      return 1;
    }
    resolve_period(opt.period, local);
  }

  Out o(out, opt.utf8, opt.csv ? "\n" : table_line_end(out));
  if (!o.ready()) {
    std::fprintf(err, "typescore: no conversion from EUC-KR to UTF-8: %s\n", std::strerror(errno));
    return 1;
  }
  const ScanResult scan = opt.has_user ? user_view(opt, o, err) : leaderboard(opt, o, err);
  int status = scan.failed || (opt.check && scan.skipped > 0) ? 1 : 0;
  if (!o.finish()) {
    std::fprintf(err, "typescore: standard output: %s\n", std::strerror(errno));
    status = 1;
  }
  return status;
}

}  // namespace

int run_typescore(int argc, char** argv, std::FILE* out, std::FILE* err) {
  try {
    return run(argc, argv, out, err);
  } catch (const std::bad_alloc&) {
    // A ledger of more users than memory holds: said in one line, like any other failure.
    std::fputs("typescore: out of memory\n", err);
    return 1;
  }
}
