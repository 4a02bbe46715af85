#include "report.h"

#include <algorithm>
#include <array>
#include <functional>
#include <span>

#include "text_cut.h"

namespace {

// Every line of a table fits an 80-column terminal with a column to spare, so the
// cursor never wraps on its own before the line end.
constexpr std::size_t kTableWidth = 79;
constexpr std::size_t kUserCols = 20;   // a longer user id is cut in a table
constexpr std::size_t kTypeCols = 16;   // likewise a word type in a row
constexpr std::size_t kTitleCols = 40;  // and a user id or type in a title

constexpr char TXT_YEAR[] = "\xB3\xE2";                                 // year
constexpr char TXT_MONTH[] = "\xBF\xF9";                                // month
constexpr char TXT_ALL_MONTHS[] = "\xC0\xFC\xC3\xBC \xB1\xE2\xB0\xA3";  // all months
constexpr char TXT_RANKING[] = "\xC5\xB8\xC0\xDA \xBC\xF8\xC0\xA7";     // typing ranking
constexpr char TXT_TYPE[] = "\xC0\xAF\xC7\xFC";                         // word type
constexpr char TXT_RECORD_OF[] =                                        // 's typing record
    "\xB4\xD4\xC0\xC7 \xC5\xB8\xC0\xDA \xB1\xE2\xB7\xCF";
constexpr char TXT_NO_RECORDS[] =  // there are no records
    "\xB1\xE2\xB7\xCF\xC0\xCC \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.";
constexpr char TXT_RANK[] = "\xBC\xF8\xC0\xA7";         // rank
constexpr char TXT_ID[] = "\xBE\xC6\xC0\xCC\xB5\xF0";   // user id
constexpr char TXT_ROUNDS[] = "\xC6\xC7\xBC\xF6";       // rounds played
constexpr char TXT_WINS[] = "1\xB5\xEE";                // first places
constexpr char TXT_BEST[] = "\xC3\xD6\xB0\xED";         // best
constexpr char TXT_AVERAGE[] = "\xC6\xF2\xB1\xD5";      // average
constexpr char TXT_DATE[] = "\xB3\xAF\xC2\xA5";         // date
constexpr char TXT_TIME[] = "\xBD\xC3\xB0\xA2";         // time of day
constexpr char TXT_SECONDS[] = "\xC3\xCA";              // seconds
constexpr char TXT_PER_MINUTE[] = "\xC5\xB8/\xBA\xD0";  // strokes per minute
constexpr char TXT_SQUARE[] = "\xA1\xE1";               // '■', two columns

std::string number(std::int64_t n) { return std::to_string(n); }

std::string type_suffix(const ScoreOptions& opt) {
  if (!opt.has_type) return {};
  return std::string(" (") + TXT_TYPE + ": " + shown(opt.type, kTitleCols) + ")";
}

struct Column {
  std::string_view heading;
  bool left;  // aligned left, otherwise right
};

using Cells = std::vector<std::string>;

// Rows under headings: each column as wide as its widest text, two blanks apart, and in
// the columns left over a bar of squares proportional to the row's value. `fill` gives
// row r's cells and bar value; it is asked twice per row (widths, then the printing), so
// the rows need not be held as text.
void print_rows(Out& out, std::span<const Column> columns, std::size_t rows,
                const std::function<void(std::size_t, Cells&, std::int64_t&)>& fill) {
  std::vector<std::size_t> width(columns.size());
  for (std::size_t c = 0; c < columns.size(); ++c) width[c] = columns[c].heading.size();
  Cells cells(columns.size());
  std::int64_t bar_top = 0;
  for (std::size_t r = 0; r < rows; ++r) {
    std::int64_t value = 0;
    fill(r, cells, value);
    for (std::size_t c = 0; c < columns.size(); ++c) width[c] = std::max(width[c], cells[c].size());
    bar_top = std::max(bar_top, value);
  }
  std::size_t used = 0;
  for (std::size_t w : width) used += w + 2;
  const std::int64_t squares =
      used < kTableWidth ? static_cast<std::int64_t>(kTableWidth - used) / 2 : 0;

  std::string line;
  auto put = [&](const Cells& texts, std::int64_t value) {
    line.clear();
    for (std::size_t c = 0; c < columns.size(); ++c) {
      const std::string pad(width[c] - texts[c].size(), ' ');
      line += columns[c].left ? texts[c] + pad : pad + texts[c];
      line += "  ";
    }
    // A row with any speed above nothing shows at least one square.
    std::int64_t n =
        value > 0 && bar_top > 0 ? std::max<std::int64_t>(1, value * squares / bar_top) : 0;
    if (squares == 0) n = 0;
    for (std::int64_t i = 0; i < n; ++i) line += TXT_SQUARE;
    while (!line.empty() && line.back() == ' ') line.pop_back();
    line.resize(fit_text(line, kTableWidth));  // a last guard for absurd numbers
    out.line(line);
  };
  Cells headings;
  for (const Column& c : columns) headings.emplace_back(c.heading);
  put(headings, 0);
  for (std::size_t r = 0; r < rows; ++r) {
    std::int64_t value = 0;
    fill(r, cells, value);
    put(cells, value);
  }
}

void print_title(Out& out, const std::string& text) {
  std::string line = "== " + text + " ==";
  line.resize(fit_text(line, kTableWidth));
  out.line(line);
}

}  // namespace

Out::Out(std::FILE* f, bool utf8, std::string_view line_end)
    : f_(f), utf8_(utf8), line_end_(line_end) {
  if (utf8_) cd_ = iconv_open("UTF-8", "EUC-KR");
}

Out::~Out() {
  if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
}

void Out::line(std::string_view text) {
  std::string_view bytes = text;
  if (utf8_) {
    to_utf8(cd_, text, converted_);
    bytes = converted_;
  }
  std::fwrite(bytes.data(), 1, bytes.size(), f_);
  std::fwrite(line_end_.data(), 1, line_end_.size(), f_);
}

bool Out::finish() { return std::fflush(f_) == 0 && !std::ferror(f_); }

std::string shown(std::string_view raw, std::size_t max_cols) {
  std::string s = printable_euckr(raw);
  if (s.size() > max_cols) {
    s.resize(fit_text(s, max_cols - 1));
    s += '~';
  }
  return s;
}

std::string period_text(const ScoreOptions& opt) {
  if (opt.all) return TXT_ALL_MONTHS;
  std::array<char, 64> t;
  std::snprintf(t.data(), t.size(), "%02d%s %d%s", opt.year, TXT_YEAR, opt.month, TXT_MONTH);
  return t.data();
}

void print_board_table(Out& out, const ScoreOptions& opt, const std::vector<BoardRow>& rows) {
  print_title(out, period_text(opt) + " " + TXT_RANKING + type_suffix(opt));
  if (rows.empty()) {
    out.line(TXT_NO_RECORDS);
    return;
  }
  out.line("");
  static constexpr Column columns[] = {{TXT_RANK, false}, {TXT_ID, true},    {TXT_ROUNDS, false},
                                       {TXT_WINS, false}, {TXT_BEST, false}, {TXT_AVERAGE, false}};
  print_rows(out, columns, rows.size(), [&](std::size_t r, Cells& c, std::int64_t& bar) {
    const BoardRow& row = rows[r];
    c = {number(static_cast<std::int64_t>(r) + 1),
         shown(row.user, kUserCols),
         number(row.rounds),
         number(row.wins),
         number(row.best),
         number(row.average)};
    bar = row.best;
  });
}

UserRound keep_round(const LedgerLine& l) {
  return {l.year,    l.month,  l.day,
          l.hour,    l.minute, l.rank,
          l.elapsed, l.speed,  shown(l.type, kTypeCols)};
}

void print_user_table(Out& out, const ScoreOptions& opt, const BoardRow& totals,
                      const std::vector<UserRound>& rounds) {
  print_title(out, shown(opt.user, kTitleCols) + " " + TXT_RECORD_OF + ": " + period_text(opt) +
                       type_suffix(opt));
  if (rounds.empty()) {
    out.line(TXT_NO_RECORDS);
    return;
  }
  out.line(std::string(TXT_ROUNDS) + " " + number(totals.rounds) + "  " + TXT_WINS + " " +
           number(totals.wins) + "  " + TXT_BEST + " " + number(totals.best) + " " +
           TXT_PER_MINUTE + "  " + TXT_AVERAGE + " " + number(totals.average) + " " +
           TXT_PER_MINUTE);
  out.line("");
  static constexpr Column columns[] = {{TXT_DATE, true},     {TXT_TIME, true},
                                       {TXT_TYPE, true},     {TXT_RANK, false},
                                       {TXT_SECONDS, false}, {TXT_PER_MINUTE, false}};
  print_rows(out, columns, rounds.size(), [&](std::size_t r, Cells& c, std::int64_t& bar) {
    const UserRound& u = rounds[r];
    std::array<char, 64> date, time;
    std::snprintf(date.data(), date.size(), "%02d/%02d/%02d", u.year, u.month, u.day);
    std::snprintf(time.data(), time.size(), "%02d:%02d", u.hour, u.minute);
    c = {date.data(), time.data(), u.type, number(u.rank), number(u.elapsed), number(u.speed)};
    bar = u.speed;
  });
}

void append_csv_field(std::string& to, std::string_view field) {
  if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
    to += field;
    return;
  }
  to += '"';
  for (char c : field) {
    if (c == '"') to += '"';
    to += c;
  }
  to += '"';
}

void print_board_csv(Out& out, const std::vector<BoardRow>& rows) {
  out.line(CSV_BOARD_HEADER);
  std::string line;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    // Appended piece by piece: GCC 12 at -O3 takes `"," + text` for an overlapping copy.
    line = number(static_cast<std::int64_t>(r) + 1);
    line += ',';
    append_csv_field(line, rows[r].user);
    for (std::int64_t v : {rows[r].rounds, rows[r].wins, std::int64_t{rows[r].best},
                           std::int64_t{rows[r].average}}) {
      line += ',';
      line += number(v);
    }
    out.line(line);
  }
}

void print_round_csv(Out& out, const LedgerLine& l) {
  std::array<char, 128> head;
  std::snprintf(head.data(), head.size(), "%d,%d,%d,%d,%d,%d,", l.year, l.month, l.day, l.hour,
                l.minute, l.group);
  std::string line = head.data();
  append_csv_field(line, l.type);
  std::snprintf(head.data(), head.size(), ",%d,%d,%d,%d", l.pick, l.elapsed, l.rank, l.speed);
  line += head.data();
  out.line(line);
}
