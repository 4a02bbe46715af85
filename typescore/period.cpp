#include "period.h"

#include <array>
#include <unordered_set>

bool period_needs_clock(const Period& p) {
  return p.kind == Period::Kind::current || p.kind == Period::Kind::today ||
         p.kind == Period::Kind::week;
}

namespace {

// As typerace dates its lines, so the same file and the same fields are found.
Day day_of(const std::tm& t) { return {t.tm_year % 100, t.tm_mon + 1, t.tm_mday}; }

}  // namespace

void resolve_period(Period& p, const std::tm& now) {
  switch (p.kind) {
    case Period::Kind::current:
      p.kind = Period::Kind::month;
      p.year = now.tm_year % 100;
      p.month = now.tm_mon + 1;
      break;
    case Period::Kind::today:
      p.kind = Period::Kind::days;
      p.since = p.until = day_of(now);
      break;
    case Period::Kind::week: {
      // Back to Monday at noon, where no change of clocks can move the day.
      std::tm monday = now;
      monday.tm_mday -= (now.tm_wday + 6) % 7;
      monday.tm_hour = 12;
      monday.tm_min = monday.tm_sec = 0;
      monday.tm_isdst = -1;
      if (std::mktime(&monday) == static_cast<std::time_t>(-1)) monday = now;
      p.kind = Period::Kind::days;
      p.since = day_of(monday);
      p.until = day_of(now);
      break;
    }
    default:
      break;
  }
}

std::vector<std::string> period_files(const Period& p) {
  std::vector<std::string> files;
  std::unordered_set<std::string> seen;
  auto add = [&](int year, int month) {
    std::tm when{};
    when.tm_year = year;  // only its remainder by 100 names the file
    when.tm_mon = month - 1;
    std::array<char, 64> path;
    ledger_path(when, path);
    if (seen.insert(path.data()).second) files.emplace_back(path.data());
  };
  if (p.kind == Period::Kind::month) {
    add(p.year, p.month);
  } else if (p.kind == Period::Kind::days) {
    for (int m = p.since.year * 12 + p.since.month - 1; m <= p.until.year * 12 + p.until.month - 1;
         ++m)
      add(m / 12, m % 12 + 1);
  }
  return files;
}
