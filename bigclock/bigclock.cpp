// Draws today's date and the time of day in block digits at fixed places on the user's
// terminal (standard output), once. Nothing but cursor moves and the twelve rows is
// written: the server owns the rest of the screen.
#include <array>
#include <cstdio>
#include <ctime>

#include "check_dir.h"
#include "cli.h"
#include "compose.h"
#include "confine.h"
#include "usage.h"

namespace {

constexpr int screen_column = 5;
constexpr int date_row = 5;
constexpr int time_row = 13;

using Text = std::array<char, 100>;

// Both texts are cut from one broken-down time, so the date always belongs to the time
// beside it, even across midnight.
void get_date(Text& buffer, const std::tm& now) {
  // tm_year counts from 1900, a multiple of 100, so its remainder is the year's; taking
  // it directly cannot overflow and keeps years before 1900 at two digits.
  const int year = (now.tm_year % 100 + 100) % 100;
  std::snprintf(buffer.data(), buffer.size(), "%02d/%02d/%02d", year, now.tm_mon + 1, now.tm_mday);
}

void get_time(Text& buffer, const std::tm& now) {
  std::snprintf(buffer.data(), buffer.size(), "%02d:%02d:%02d", now.tm_hour, now.tm_min,
                now.tm_sec);
}

void move_xy(int column, int row) { std::printf("\x1b[%d;%dH", row, column); }

void draw_rows(int first_row) {
  for (std::size_t r = 0; r < glyph_rows; ++r) {
    move_xy(screen_column, first_row + static_cast<int>(r));
    std::fputs(big_line[r].data(), stdout);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (answer_help_or_version(argc, argv, "bigclock", BIGCLOCK_USAGE)) return 0;
  confine({});
  load_font();

  // An unformatted text stays empty and so draws as eight blanks.
  Text date_text{};
  Text time_text{};

  const std::time_t clock = std::time(nullptr);
  // localtime hands back null only for a clock it cannot convert; both texts stay blank.
  const std::tm* now = std::localtime(&clock);

  if (check_dir("user") && now) get_date(date_text, *now);
  if (check_dir("bin") && now) get_time(time_text, *now);

  make_big(date_text.data());
  draw_rows(date_row);
  make_big(time_text.data());
  draw_rows(time_row);

  std::fflush(stdout);
  return 0;
}
