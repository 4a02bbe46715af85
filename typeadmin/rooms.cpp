#include "rooms.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>

#include "claim.h"
#include "data_file.h"
#include "handles.h"
#include "lock_probe.h"
#include "round_names.h"
#include "text_cut.h"

namespace {

constexpr const char* kGameDir = GAME_DIR;
constexpr std::string_view kAnswerStem = ANSWER_STEM;
constexpr std::size_t kTempSuffix = 7;  // ".XXXXXX", as the replace makes it
// Every word a round program writes shows whole: typestart's are at most 199 bytes.
constexpr std::size_t kWordShown = 200;
// Without the kernel's lock table, a file is tried for its lock only while it stays this
// far from being stale, so no takeover can meet the try.
constexpr std::time_t kTryMargin = 5;

// "-?(0|[1-9][0-9]*)" within 32 bits: what "%d" can have written.
bool decimal(std::string_view s, int& out) {
  const bool negative = !s.empty() && s[0] == '-';
  std::string_view d = negative ? s.substr(1) : s;
  if (d.empty() || (d[0] == '0' && (d.size() > 1 || negative))) return false;
  long long v = 0;
  for (char c : d) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
    if (v > 2147483648LL) return false;
  }
  if (negative) v = -v;
  if (v > INT_MAX || v < INT_MIN) return false;
  out = static_cast<int>(v);
  return true;
}

bool alnum(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  });
}

struct Row {
  std::string name, readings, age, state, results, word;
};

std::string file_word(const std::string& path, const struct stat& st, TerminalText& shown) {
  Fd f{open_data_file(path.c_str(), O_RDONLY | O_NOFOLLOW)};
  if (!f) return "-";
  std::array<char, kWordShown> buf;
  const ssize_t n = read(f.fd, buf.data(), buf.size());
  if (n <= 0) return n == 0 ? "(empty)" : "-";
  std::string_view word(buf.data(), static_cast<std::size_t>(n));
  if (st.st_size <= n) return shown(word);
  return shown(word.substr(0, fit_text(word, word.size()))) + "~";
}

long long line_count(const char* path) {
  Fd f{open_data_file(path, O_RDONLY)};
  if (!f) return 0;
  long long lines = 0;
  char last = '\n';
  std::array<char, 8192> buf;
  for (ssize_t n; (n = read(f.fd, buf.data(), buf.size())) > 0;) {
    lines += std::count(buf.data(), buf.data() + n, '\n');
    last = buf[static_cast<std::size_t>(n - 1)];
  }
  return lines + (last != '\n');
}

// What typerace would make of the file now.
std::string state_of(const std::string& path, const struct stat& st, std::time_t now,
                     long long bound) {
  if (!S_ISREG(st.st_mode)) return "stuck";
  LockSeen lock = flock_listed("/proc/locks", st.st_dev, st.st_ino);
  const bool stale = claim_is_stale(st, now, bound);
  if (lock == LockSeen::unknown && !claim_is_stale(st, now - kTryMargin, bound) &&
      !claim_is_stale(st, now + kTryMargin, bound)) {
    Fd f{open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY)};
    struct stat opened;
    if (f && fstat(f.fd, &opened) == 0 && opened.st_ino == st.st_ino && opened.st_dev == st.st_dev)
      lock = flock_tried(f.fd);
  }
  if (lock == LockSeen::held) return "running";
  if (stale) return "stale";
  const long long in = bound + 1 - (static_cast<long long>(now) - st.st_mtime);
  return "waiting, stale in " + std::to_string(in) + " s";
}

}  // namespace

std::vector<std::pair<int, int>> room_readings(std::string_view digits) {
  std::vector<std::pair<int, int>> readings;
  for (std::size_t cut = 1; cut < digits.size(); ++cut) {
    int room, group;
    if (decimal(digits.substr(0, cut), room) && decimal(digits.substr(cut), group))
      readings.emplace_back(room, group);
  }
  return readings;
}

int list_rooms(std::FILE* out, std::FILE* err, TerminalText& shown) {
  Dir dir(opendir(kGameDir));
  if (!dir) {
    std::fprintf(err, "typeadmin: %s: %s\n", kGameDir, std::strerror(errno));
    return 1;
  }
  std::vector<std::string> names;
  while (const dirent* e = readdir(dir.get())) {
    const std::string_view name = e->d_name;
    if (name.starts_with(kAnswerStem) && name.size() > kAnswerStem.size()) names.emplace_back(name);
  }
  dir.reset();
  std::sort(names.begin(), names.end());

  const std::time_t now = std::time(nullptr);
  const long long bound = longest_round();
  std::vector<Row> rows;
  for (const std::string& name : names) {
    std::string_view digits = std::string_view(name).substr(kAnswerStem.size());
    const bool temp = digits.size() > kTempSuffix && digits[digits.size() - kTempSuffix] == '.' &&
                      alnum(digits.substr(digits.size() - kTempSuffix + 1));
    if (temp) digits.remove_suffix(kTempSuffix);
    const auto readings = room_readings(digits);
    const std::string path = std::string(kGameDir) + "/" + name;
    struct stat st;
    if (readings.empty() || lstat(path.c_str(), &st) != 0) continue;

    Row row{name, "", std::to_string(static_cast<long long>(now) - st.st_mtime), "", "", ""};
    for (const auto& [room, group] : readings)
      row.readings +=
          (row.readings.empty() ? "" : " ") + std::to_string(room) + "/" + std::to_string(group);
    row.state = temp ? "leftover" : state_of(path, st, now, bound);
    RoundPath results;
    results_path(readings.front().first, readings.front().second, results);
    row.results = temp ? "-" : std::to_string(line_count(results.data()));
    row.word = S_ISREG(st.st_mode) ? file_word(path, st, shown) : "-";
    rows.push_back(std::move(row));
  }

  if (rows.empty()) {
    std::fprintf(out, "no answer file in %s/: every room is free\n", kGameDir);
  } else {
    Row widths{"ANSWER FILE", "ROOM/GROUP", "AGE", "STATE", "RESULTS", "WORD"};
    rows.insert(rows.begin(), widths);
    std::array<std::size_t, 5> w{};
    for (const Row& r : rows)
      for (std::size_t c = 0;
           const std::string* f : {&r.name, &r.readings, &r.age, &r.state, &r.results})
        w[c] = std::max(w[c], f->size()), ++c;
    for (const Row& r : rows)
      std::fprintf(out, "%-*s  %-*s  %*s  %-*s  %*s  %s\n", static_cast<int>(w[0]), r.name.c_str(),
                   static_cast<int>(w[1]), r.readings.c_str(), static_cast<int>(w[2]),
                   r.age.c_str(), static_cast<int>(w[3]), r.state.c_str(), static_cast<int>(w[4]),
                   r.results.c_str(), r.word.c_str());
  }
  if (std::fflush(out) != 0 || std::ferror(out)) {
    std::fprintf(err, "typeadmin: standard output: %s\n", std::strerror(errno));
    return 1;
  }
  return 0;
}
