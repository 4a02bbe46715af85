#include "report.h"

#include <algorithm>
#include <array>
#include <functional>
#include <initializer_list>
#include <limits>
#include <span>

#include "text_cut.h"

namespace {

// Every line of a table fits an 80-column terminal with a column to spare, so the
// cursor never wraps on its own before the line end.
constexpr std::size_t kTableWidth = 79;
constexpr std::size_t kUserCols = 20;   // a longer user id is cut in a table
constexpr std::size_t kTypeCols = 16;   // likewise a word type in a row
constexpr std::size_t kTitleCols = 40;  // and a user id or type in a title
constexpr std::size_t kWhole = std::numeric_limits<std::size_t>::max();

constexpr char TXT_YEAR[] = "\xB3\xE2";                                 // year
constexpr char TXT_MONTH[] = "\xBF\xF9";                                // month
constexpr char TXT_DAY[] = "\xC0\xCF";                                  // day
constexpr char TXT_ALL_MONTHS[] = "\xC0\xFC\xC3\xBC \xB1\xE2\xB0\xA3";  // all months
constexpr char TXT_RANKING[] = "\xC5\xB8\xC0\xDA \xBC\xF8\xC0\xA7";     // typing ranking
constexpr char TXT_TYPE[] = "\xC0\xAF\xC7\xFC";                         // word type
constexpr char TXT_RECORD_OF[] =                                        // 's typing record
    "\xB4\xD4\xC0\xC7 \xC5\xB8\xC0\xDA \xB1\xE2\xB7\xCF";
constexpr char TXT_MONTHLY_RECORD_OF[] =  // 's typing record by month
    "\xB4\xD4\xC0\xC7 \xBF\xF9\xBA\xB0 \xC5\xB8\xC0\xDA \xB1\xE2\xB7\xCF";
constexpr char TXT_NO_RECORDS[] =  // there are no records
    "\xB1\xE2\xB7\xCF\xC0\xCC \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.";
constexpr char TXT_NO_RECORDS_OF[] =  // 's: there are no records
    "\xB4\xD4\xC0\xC7 \xB1\xE2\xB7\xCF\xC0\xCC \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.";
constexpr char TXT_FROM[] = "\xBA\xCE\xC5\xCD";         // from (a day on)
constexpr char TXT_UNTIL[] = "\xB1\xEE\xC1\xF6";        // until (a day)
constexpr char TXT_LATEST[] = "\xC3\xD6\xB1\xD9";       // latest
constexpr char TXT_EARLIER[] = "\xC0\xCC\xC0\xFC";      // earlier
constexpr char TXT_LEFT_OUT[] = "\xBB\xFD\xB7\xAB";     // left out
constexpr char TXT_RANK[] = "\xBC\xF8\xC0\xA7";         // rank
constexpr char TXT_ID[] = "\xBE\xC6\xC0\xCC\xB5\xF0";   // user id
constexpr char TXT_ROUNDS[] = "\xC6\xC7\xBC\xF6";       // rounds played
constexpr char TXT_ROUND_UNIT[] = "\xC6\xC7";           // (so many) rounds
constexpr char TXT_WINS[] = "1\xB5\xEE";                // first places
constexpr char TXT_BEST[] = "\xC3\xD6\xB0\xED";         // best
constexpr char TXT_AVERAGE[] = "\xC6\xF2\xB1\xD5";      // average
constexpr char TXT_DATE[] = "\xB3\xAF\xC2\xA5";         // date
constexpr char TXT_TIME[] = "\xBD\xC3\xB0\xA2";         // time of day
constexpr char TXT_SECONDS[] = "\xC3\xCA";              // seconds
constexpr char TXT_PER_MINUTE[] = "\xC5\xB8/\xBA\xD0";  // strokes per minute
constexpr char TXT_SQUARE[] = "\xA1\xE1";               // '■', two columns

std::string number(std::int64_t n) { return std::to_string(n); }

struct Column {
  std::string_view heading;
  bool left;    // aligned left, otherwise right
  bool shrink;  // text that is cut further when the numbers need the room
};

using Cells = std::vector<std::string>;

// Rows under headings: each column as wide as its widest text, two blanks apart, and in
// the columns left over a bar of squares proportional to the row's value. A number is
// never cut: when the columns are too wide for the screen, the text column that may
// shrink gives up the room. `fill` gives row r's cells and bar value; it is asked twice
// per row (widths, then the printing), so the rows need not be held as text.
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
  for (std::size_t c = 0; c < columns.size() && used - 2 > kTableWidth; ++c) {
    if (!columns[c].shrink) continue;
    const std::size_t least = std::max<std::size_t>(columns[c].heading.size(), 2);
    const std::size_t cut = std::min(width[c] - least, used - 2 - kTableWidth);
    width[c] -= cut;
    used -= cut;
  }
  const std::int64_t squares =
      used < kTableWidth ? static_cast<std::int64_t>(kTableWidth - used) / 2 : 0;

  std::string line;
  auto put = [&](const Cells& texts, std::int64_t value) {
    line.clear();
    for (std::size_t c = 0; c < columns.size(); ++c) {
      const std::string text =
          texts[c].size() > width[c] ? shown(texts[c], width[c]) : std::string(texts[c]);
      const std::string pad(width[c] - text.size(), ' ');
      line += columns[c].left ? text + pad : pad + text;
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

// A piece of a title: fixed text, or a user id or word type from outside, which is
// shown safely and cut as far as the title needs.
struct Piece {
  std::string_view text;
  bool outside = false;
};

// "== ... ==" within the table's width: the fixed pieces whole, and the pieces from
// outside each at most kTitleCols columns and, when even that is too wide, sharing what
// is left fairly (one that needs less leaves the rest to the other), each cut with '~'.
// So the end of a title (") ==") always stays.
void print_title(Out& out, std::initializer_list<Piece> pieces) {
  std::size_t fixed = 6;                                   // "== " and " =="
  std::vector<std::pair<std::size_t, std::size_t>> wants;  // natural width, piece index
  std::size_t index = 0;
  for (const Piece& p : pieces) {
    if (p.outside)
      wants.emplace_back(std::min(shown(p.text, kWhole).size(), kTitleCols), index);
    else
      fixed += p.text.size();
    ++index;
  }
  std::sort(wants.begin(), wants.end());
  std::vector<std::size_t> width(pieces.size(), 0);
  std::size_t room = fixed < kTableWidth ? kTableWidth - fixed : 0;
  for (std::size_t i = 0; i < wants.size(); ++i) {
    const std::size_t share = room / (wants.size() - i);
    const std::size_t w = std::max<std::size_t>(std::min(wants[i].first, share), 2);
    width[wants[i].second] = w;
    room -= std::min(room, w);
  }
  std::string line = "== ";
  index = 0;
  for (const Piece& p : pieces) {
    line += p.outside ? shown(p.text, width[index]) : std::string(p.text);
    ++index;
  }
  line += " ==";
  line.resize(fit_text(line, kTableWidth));
  out.line(line);
}

// " (word type: TYPE)", the type from outside, or nothing without --type.
constexpr std::string_view kTypeOpen = " (\xC0\xAF\xC7\xFC: ";

std::string day_text(const Day& d) {
  std::array<char, 64> t;
  std::snprintf(t.data(), t.size(), "%02d%s %d%s %d%s", d.year, TXT_YEAR, d.month, TXT_MONTH, d.day,
                TXT_DAY);
  return t.data();
}

// The title of a user's view: ID's record (or record by month): the period, the type.
void print_user_title(Out& out, const ScoreOptions& opt, const char* what) {
  const std::string head = std::string(" ") + what + ": " + period_text(opt.period);
  if (opt.has_type)
    print_title(out, {{opt.user, true}, {head}, {kTypeOpen}, {opt.type, true}, {")"}});
  else
    print_title(out, {{opt.user, true}, {head}});
}

// "ID has no records", the id cut as a title's is.
void print_no_records_of(Out& out, std::string_view user) {
  const std::size_t room = kTableWidth - (sizeof TXT_NO_RECORDS_OF - 1) - 1;
  out.line(shown(user, std::min(kTitleCols, room)) + " " + TXT_NO_RECORDS_OF);
}

std::string totals_text(const BoardRow& t) {
  return std::string(TXT_ROUNDS) + " " + number(t.rounds) + "  " + TXT_WINS + " " + number(t.wins) +
         "  " + TXT_BEST + " " + number(t.best) + " " + TXT_PER_MINUTE + "  " + TXT_AVERAGE + " " +
         number(t.average) + " " + TXT_PER_MINUTE;
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
    s.resize(fit_text(s, std::max<std::size_t>(max_cols, 1) - 1));
    s += '~';
  }
  return s;
}

std::string period_text(const Period& p) {
  switch (p.kind) {
    case Period::Kind::all:
      return TXT_ALL_MONTHS;
    case Period::Kind::days:
      if (!p.has_until && p.has_since) return day_text(p.since) + TXT_FROM;
      if (!p.has_since && p.has_until) return day_text(p.until) + TXT_UNTIL;
      if (day_key(p.since) == day_key(p.until)) return day_text(p.since);
      return day_text(p.since) + " ~ " + day_text(p.until);
    default: {
      std::array<char, 64> t;
      std::snprintf(t.data(), t.size(), "%02d%s %d%s", p.year, TXT_YEAR, p.month, TXT_MONTH);
      return t.data();
    }
  }
}

void print_board_table(Out& out, const ScoreOptions& opt, const std::vector<BoardRow>& rows,
                       const OwnPlace& own) {
  const std::string head = period_text(opt.period) + " " + TXT_RANKING;
  if (opt.has_type)
    print_title(out, {{head}, {kTypeOpen}, {opt.type, true}, {")"}});
  else
    print_title(out, {{head}});
  if (rows.empty()) {
    out.line(TXT_NO_RECORDS);
    if (own.asked) print_no_records_of(out, opt.rank);
    return;
  }
  out.line("");
  // The --rank user's row, below a row of dots, when the top rows do not hold it.
  const bool apart = own.place && own.place->first > rows.size();
  static constexpr Column columns[] = {{TXT_RANK, false, false},   {TXT_ID, true, true},
                                       {TXT_ROUNDS, false, false}, {TXT_WINS, false, false},
                                       {TXT_BEST, false, false},   {TXT_AVERAGE, false, false}};
  print_rows(out, columns, rows.size() + (apart ? 2 : 0),
             [&](std::size_t r, Cells& c, std::int64_t& bar) {
               if (r == rows.size()) {
                 c = {"...", "", "", "", "", ""};
                 bar = 0;
                 return;
               }
               const bool mine = r > rows.size();
               const BoardRow& row = mine ? own.place->second : rows[r];
               const std::size_t place = mine ? own.place->first : r + 1;
               c = {number(static_cast<std::int64_t>(place)),
                    shown(row.user, kUserCols),
                    number(row.rounds),
                    number(row.wins),
                    number(row.best),
                    number(row.average)};
               bar = row.best;
             });
  if (own.asked && !own.place) print_no_records_of(out, opt.rank);
}

void print_user_table(Out& out, const ScoreOptions& opt, const BoardRow& totals,
                      const std::vector<KeptRound>& rounds, std::int64_t left_out) {
  print_user_title(out, opt, TXT_RECORD_OF);
  if (rounds.empty()) {
    out.line(TXT_NO_RECORDS);
    return;
  }
  out.line(totals_text(totals));
  if (left_out > 0)
    out.line(std::string(TXT_LATEST) + " " + number(static_cast<std::int64_t>(rounds.size())) +
             TXT_ROUND_UNIT + " (" + TXT_EARLIER + " " + number(left_out) + TXT_ROUND_UNIT + " " +
             TXT_LEFT_OUT + ")");
  out.line("");
  static constexpr Column columns[] = {{TXT_DATE, true, false},     {TXT_TIME, true, false},
                                       {TXT_TYPE, true, true},      {TXT_RANK, false, false},
                                       {TXT_SECONDS, false, false}, {TXT_PER_MINUTE, false, false}};
  print_rows(out, columns, rounds.size(), [&](std::size_t r, Cells& c, std::int64_t& bar) {
    const KeptRound& u = rounds[r];
    std::array<char, 64> date, time;
    std::snprintf(date.data(), date.size(), "%02d/%02d/%02d", u.year, u.month, u.day);
    std::snprintf(time.data(), time.size(), "%02d:%02d", u.hour, u.minute);
    c = {date.data(),    time.data(),       shown(u.type, kTypeCols),
         number(u.rank), number(u.elapsed), number(u.speed)};
    bar = u.speed;
  });
}

void print_trend_table(Out& out, const ScoreOptions& opt, const BoardRow& totals,
                       const std::vector<MonthRow>& months) {
  print_user_title(out, opt, TXT_MONTHLY_RECORD_OF);
  if (months.empty()) {
    out.line(TXT_NO_RECORDS);
    return;
  }
  out.line(totals_text(totals));
  out.line("");
  static constexpr Column columns[] = {{TXT_MONTH, true, false},
                                       {TXT_ROUNDS, false, false},
                                       {TXT_WINS, false, false},
                                       {TXT_BEST, false, false},
                                       {TXT_AVERAGE, false, false}};
  print_rows(out, columns, months.size(), [&](std::size_t r, Cells& c, std::int64_t& bar) {
    const MonthRow& m = months[r];
    std::array<char, 64> month;
    std::snprintf(month.data(), month.size(), "%02d/%02d", m.year, m.month);
    c = {month.data(), number(m.rounds), number(m.wins), number(m.best), number(m.average)};
    bar = m.average;
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

namespace {

void board_csv_row(Out& out, std::size_t place, const BoardRow& row) {
  // Appended piece by piece: GCC 12 at -O3 takes `"," + text` for an overlapping copy.
  std::string line = number(static_cast<std::int64_t>(place));
  line += ',';
  append_csv_field(line, row.user);
  for (std::int64_t v : {row.rounds, row.wins, std::int64_t{row.best}, std::int64_t{row.average}}) {
    line += ',';
    line += number(v);
  }
  out.line(line);
}

}  // namespace

void print_board_csv(Out& out, const std::vector<BoardRow>& rows, const OwnPlace& own) {
  out.line(CSV_BOARD_HEADER);
  for (std::size_t r = 0; r < rows.size(); ++r) board_csv_row(out, r + 1, rows[r]);
  if (own.place && own.place->first > rows.size())
    board_csv_row(out, own.place->first, own.place->second);
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

void print_trend_csv(Out& out, const std::vector<MonthRow>& months) {
  out.line(CSV_TREND_HEADER);
  for (const MonthRow& m : months) {
    std::array<char, 160> line;
    std::snprintf(line.data(), line.size(), "%d,%d,%lld,%lld,%d,%d", m.year, m.month,
                  static_cast<long long>(m.rounds), static_cast<long long>(m.wins), m.best,
                  m.average);
    out.line(line.data());
  }
}
