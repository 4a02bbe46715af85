// What the room sees of a typerace round, and what the ledger keeps of it: the texts as
// the players' terminals receive them, for the end-to-end tests.
#pragma once

#include <dirent.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "handles.h"
#include "harness.h"

namespace round_view {

inline const std::string kTitle =
    "##### \xBE\xDF\xC8\xA3\xB6\xFB \xC5\xB8\xC0\xDA\xB9\xE6 ^^ ##### ";
inline const std::string kTypeIs = "\xC5\xB8\xC0\xDA\xC0\xAF\xC7\xFC : ";
inline const std::string kResults =
    "\xB0\xE1\xB0\xFA\xB8\xA6 \xC3\xE2\xB7\xC2\xC7\xD5\xB4\xCF\xB4\xD9";
inline const std::string kNoResults =
    "\xB0\xE1\xB0\xFA\xB0\xA1 \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.TT";
inline const std::string kRank = "\xB5\xEE";
inline const std::string kSeconds = "\xC3\xCA";
inline const std::string kPerMinute = "\xC5\xB8/\xBA\xD0";
inline const std::string kNoArgs =
    "\xC0\xCE\xC0\xDA\xB8\xA6 \xB9\xDE\xC0\xBB\xBC\xF6 \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.";
inline const std::string kNoWordFile =
    "\xC7\xF6\xC0\xE7 \xB4\xDC\xBE\xEE \xC6\xC4\xC0\xCF\xC0\xCC \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.!!!";

inline std::string frame(const std::string& text) {
  return "\x1b[s\x1b[21;1H\n\t" + text + "\x1b[u";
}

inline std::string countdown(int from) {
  std::string s;
  for (int i = from; i >= 0; --i) {
    char count[16];
    std::snprintf(count, sizeof count, "<%d>", i);
    s += frame(count);
  }
  return s;
}

// What a player sees of a round up to and including the published word; the countdown
// starts at <4> when the clock's second turned between the start and the first look.
inline bool opens_round(const std::string& got, const std::string& type, const std::string& word,
                        std::size_t* rest) {
  for (int from : {5, 4}) {
    std::string head = frame(kTitle) + frame(kTypeIs + type) + countdown(from) +
                       frame("\x1b[7m" + word + "\x1b[m\n");
    if (got.compare(0, head.size(), head) == 0) {
      *rest = head.size();
      return true;
    }
  }
  return false;
}

inline std::vector<std::string> ledger_lines(const harness::Scratch& dir) {
  std::vector<std::string> lines;
  Dir d(opendir(dir.file("user/score").c_str()));
  if (!d) return lines;
  while (dirent* e = readdir(d.get())) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    std::istringstream in(dir.read("user/score/" + name).value_or(""));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
  }
  return lines;
}

}  // namespace round_view
