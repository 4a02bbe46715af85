// The period typescore reads: the clock's "this month", "today" and "this week" made
// into days, which lines belong to it, and which ledger files can hold them.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "ledger_format.h"
#include "options.h"

// Whether the period is named by the clock and must be resolved first.
bool period_needs_clock(const Period& p);

// Turns this month, today and this week (Monday to today) into a month or a range of
// days as `now`, local time, has them.
void resolve_period(Period& p, const std::tm& now);

// Whether a line that reads falls in the resolved period, by its own fields: two months
// can share a file name, and a file holds a whole month when only some days are asked.
inline bool in_period(const Period& p, const LedgerLine& l) {
  switch (p.kind) {
    case Period::Kind::month:
      return l.year == p.year && l.month == p.month;
    case Period::Kind::days: {
      if (l.year < 0 || l.year > 99) return false;
      const int key = day_key({l.year, l.month, l.day});
      return key >= day_key(p.since) && key <= day_key(p.until);
    }
    default:
      return true;
  }
}

// The ledger files of every month a resolved month or range of days touches, from the
// first month to the last, each file once (months can share one), relative to the
// working directory.
std::vector<std::string> period_files(const Period& p);
