#include "tally.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include "data_file.h"
#include "handles.h"

namespace {

bool is_ledger_name(std::string_view name) {
  return name.size() >= 8 && name.starts_with("type") && name.ends_with(".dat");
}

}  // namespace

LineReader::LineReader(int fd, std::size_t block)
    : fd_(fd), buf_(std::max(block, kLedgerLineMax + 2)) {}

bool LineReader::next(std::span<char>& line) {
  for (;;) {
    char* const base = buf_.data();
    if (begin_ < end_) {
      char* lf = static_cast<char*>(std::memchr(base + begin_, '\n', end_ - begin_));
      if (lf || at_eof_) {
        const std::size_t stop = lf ? static_cast<std::size_t>(lf - base) : end_;
        const std::size_t from = begin_;
        begin_ = lf ? stop + 1 : end_;
        if (skipping_) {
          skipping_ = false;
          continue;
        }
        line = {base + from, std::min(stop - from, kLedgerLineMax + 1)};
        return true;
      }
      if (end_ - begin_ > kLedgerLineMax) {
        // A line this long is only worth its verdict; keep its head, drop the rest.
        const std::size_t from = begin_;
        begin_ = end_;
        if (skipping_) continue;
        skipping_ = true;
        line = {base + from, kLedgerLineMax + 1};
        return true;
      }
    }
    if (at_eof_) return false;
    // Keep the unfinished line and fill the block behind it.
    if (begin_ > 0) {
      std::memmove(base, base + begin_, end_ - begin_);
      end_ -= begin_;
      begin_ = 0;
    }
    const ssize_t n = read(fd_, base + end_, buf_.size() - end_);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error_ = errno;
    if (n <= 0)
      at_eof_ = true;
    else
      end_ += static_cast<std::size_t>(n);
  }
}

std::vector<std::string> ledger_files(const ScoreOptions& opt) {
  std::vector<std::string> files;
  if (!opt.all) {
    std::tm when{};
    when.tm_year = opt.year;  // only its remainder by 100 names the file
    when.tm_mon = opt.month - 1;
    std::array<char, 64> path;
    ledger_path(when, path);
    files.emplace_back(path.data());
    return files;
  }
  Dir dir(opendir("user/score"));
  if (!dir) return files;
  while (const dirent* e = readdir(dir.get()))
    if (is_ledger_name(e->d_name)) files.push_back(std::string("user/score/") + e->d_name);
  // std::string compares its chars as unsigned, so this is byte order.
  std::sort(files.begin(), files.end());
  return files;
}

ScanResult scan_ledgers(const ScoreOptions& opt, const std::vector<std::string>& files,
                        const LedgerTrouble& report,
                        const std::function<void(const LedgerLine&)>& take) {
  ScanResult result;
  for (const std::string& path : files) {
    // A FIFO in a ledger's place cannot hold the program up: only a plain file is read.
    Fd f{open_data_file(path.c_str(), O_RDONLY)};
    if (!f && errno == ENOENT) continue;  // no rounds that month
    if (!f) {
      const int problem = errno;
      report(path, 0, problem == EINVAL ? "not a plain file" : std::strerror(problem));
      result.failed = true;
      continue;
    }

    LineReader reader(f.fd);
    std::span<char> text;
    std::size_t number = 0;
    while (reader.next(text)) {
      ++number;
      LedgerLine line;
      const LedgerVerdict verdict = parse_ledger_line(text, line);
      if (!verdict) {
        ++result.skipped;
        if (opt.check) {
          std::array<char, 64> why;
          describe_ledger_fault(verdict, why);
          report(path, number, why.data());
        }
        continue;
      }
      // Two months can share a file name; the line's own fields tell them apart.
      if (!opt.all && (line.year != opt.year || line.month != opt.month)) continue;
      if (opt.has_type && line.type != opt.type) continue;
      take(line);
    }
    if (reader.error()) {
      report(path, 0, std::strerror(reader.error()));
      result.failed = true;
    }
  }
  return result;
}

ScanResult scan_ledgers(const ScoreOptions& opt, const std::vector<std::string>& files,
                        std::FILE* err, const std::function<void(const LedgerLine&)>& take) {
  const auto to_err = [err](const std::string& path, std::size_t line, const char* why) {
    if (line == 0)
      std::fprintf(err, "typescore: %s: %s\n", path.c_str(), why);
    else
      std::fprintf(err, "%s:%zu: %s\n", path.c_str(), line, why);
  };
  return scan_ledgers(opt, files, to_err, take);
}

int floor_mean(__int128 sum, std::int64_t n) {
  __int128 q = sum / n;
  if (sum % n != 0 && sum < 0) --q;
  return static_cast<int>(q);
}

void Board::add(const LedgerLine& line) {
  auto it = users_.find(line.user);
  if (it == users_.end()) it = users_.emplace(std::string(line.user), Totals{}).first;
  Totals& t = it->second;
  if (t.rounds == 0 || line.speed > t.best) t.best = line.speed;
  ++t.rounds;
  if (line.rank == 1) ++t.wins;
  t.speed_sum += line.speed;
}

std::vector<BoardRow> Board::ranking(Order by, std::size_t top) const {
  std::vector<BoardRow> rows;
  rows.reserve(users_.size());
  for (const auto& [user, t] : users_)
    rows.push_back({user, t.rounds, t.wins, t.best, floor_mean(t.speed_sum, t.rounds)});
  order_board(rows, by, top);
  return rows;
}

void order_board(std::vector<BoardRow>& rows, Order by, std::size_t top) {
  // The keys in the order they count, all of them descending.
  auto keys = [by](const BoardRow& r) -> std::array<std::int64_t, 3> {
    switch (by) {
      case Order::average:
        return {r.average, r.best, r.rounds};
      case Order::rounds:
        return {r.rounds, r.best, 0};
      case Order::wins:
        return {r.wins, r.best, 0};
      case Order::best:
        break;
    }
    return {r.best, r.average, r.rounds};
  };
  auto before = [&keys](const BoardRow& a, const BoardRow& b) {
    const auto ka = keys(a), kb = keys(b);
    if (ka != kb) return ka > kb;
    return a.user < b.user;
  };
  top = std::min(top, rows.size());
  std::partial_sort(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(top), rows.end(),
                    before);
  rows.resize(top);
}
