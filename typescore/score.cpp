#include "score.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string_view>
#include <vector>

#include "options.h"
#include "report.h"
#include "tally.h"

namespace {

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

}  // namespace

int run_typescore(int argc, char** argv, std::FILE* out, std::FILE* err) {
  ScoreOptions opt;
  if (!parse_score_options(argc, argv, opt)) {
    std::fputs(SCORE_USAGE, err);
    return 2;
  }
  if (!opt.all && !opt.month_given) {
    const std::time_t now = std::time(nullptr);
    std::tm local;
    if (!localtime_r(&now, &local)) {
      std::fprintf(err, "typescore: the clock cannot be read as a date\n");
      return 1;
    }
    // As typerace names the month, so the same file and the same fields are found.
    opt.year = local.tm_year % 100;
    opt.month = local.tm_mon + 1;
  }

  Out o(out, opt.utf8, opt.csv ? "\n" : table_line_end(out));
  if (!o.ready()) {
    std::fprintf(err, "typescore: no conversion from EUC-KR to UTF-8: %s\n", std::strerror(errno));
    return 1;
  }

  const std::vector<std::string> files = ledger_files(opt);
  Board board;
  ScanResult scan;
  if (!opt.has_user) {
    scan = scan_ledgers(opt, files, err, [&](const LedgerLine& l) { board.add(l); });
    const std::vector<BoardRow> rows = board.ranking(opt.by, static_cast<std::size_t>(opt.top));
    if (opt.csv)
      print_board_csv(o, rows);
    else
      print_board_table(o, opt, rows);
  } else if (opt.csv) {
    // Nothing to total: each round goes out as it is read.
    o.line(CSV_ROUNDS_HEADER);
    scan = scan_ledgers(opt, files, err, [&](const LedgerLine& l) {
      if (l.user == opt.user) print_round_csv(o, l);
    });
  } else {
    std::vector<UserRound> rounds;
    scan = scan_ledgers(opt, files, err, [&](const LedgerLine& l) {
      if (l.user != opt.user) return;
      board.add(l);
      rounds.push_back(keep_round(l));
    });
    const std::vector<BoardRow> totals = board.ranking(Order::best, 1);
    print_user_table(o, opt, totals.empty() ? BoardRow{} : totals.front(), rounds);
  }

  int status = scan.failed || (opt.check && scan.skipped > 0) ? 1 : 0;
  if (!o.finish()) {
    std::fprintf(err, "typescore: standard output: %s\n", std::strerror(errno));
    status = 1;
  }
  return status;
}
