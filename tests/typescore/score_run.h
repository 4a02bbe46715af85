// Running typescore in a scratch working directory, and ledger lines made by hand in the
// layout typerace writes.
#pragma once

#include <array>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"
#include "ledger_format.h"

namespace score_test {

inline harness::Result score(const harness::Scratch& dir, const std::vector<std::string>& args,
                             const std::vector<std::string>& env = {},
                             const harness::ChildSetup& setup = {}) {
  return harness::run(harness::program("typescore"), args, dir.path(), env, 120000, setup);
}

inline std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

// One finisher's line as typerace writes it: group 1, pick 1, 3 seconds.
inline std::string round_line(const std::string& user, int year, int month, int day, int hour,
                              int minute, const std::string& type, int rank, int speed) {
  std::array<char, kLedgerLineSize> buf;
  const std::size_t n =
      format_ledger_line(buf, {user, 1, year, month, day, hour, minute, type, 1, 3, rank, speed});
  return std::string(buf.data(), n);
}

// The ledger file typerace appends a month's lines to.
inline std::string ledger_of(int year, int month) {
  return "user/score/type" + std::to_string(year % 100) + std::to_string(month) + ".dat";
}

// With faketime's library preloaded, a sanitized program must be told it may come first.
inline std::string asan_env() {
  const char* asan = std::getenv("ASAN_OPTIONS");
  return std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":verify_asan_link_order=0";
}

}  // namespace score_test
