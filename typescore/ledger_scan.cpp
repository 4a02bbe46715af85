#include "ledger_scan.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <exception>
#include <limits>
#include <system_error>
#include <thread>

#include "data_file.h"
#include "report.h"
#include "tally.h"

namespace {

constexpr char kScoreDir[] = "user/score";

bool is_ledger_name(std::string_view name) {
  return name.size() >= 8 && name.starts_with("type") && name.ends_with(".dat");
}

// A name as the operator's terminal can show it: a file name can hold any byte.
std::string shown_name(std::string_view path) {
  return shown(path, std::numeric_limits<std::size_t>::max());
}

// Adds each line to a board, inline in the loop that reads them.
struct AddTo {
  Board& board;
  [[gnu::always_inline]] void operator()(const LedgerLine& l) const { board.add(l); }
};

}  // namespace

LineReader::LineReader(int fd, std::size_t block)
    : fd_(fd),
      buf_(std::max(block, kLedgerLineMax + 2) + kLedgerLineSlack),
      capacity_(buf_.size() - kLedgerLineSlack) {}

void LineReader::reset(int fd, off_t from, off_t to) {
  fd_ = fd;
  // From the byte before `from`, so that a line starting at `from` is seen to start
  // there, and the rest of one that started before is passed over.
  at_ = from > 0 ? from - 1 : 0;
  to_ = to;
  begin_ = end_ = 0;
  at_eof_ = false;
  skipping_ = from > 0;
  error_ = 0;
}

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
        if (at_ + static_cast<off_t>(from) >= to_) return false;
        line = {base + from, std::min(stop - from, kLedgerLineMax + 1)};
        return true;
      }
      if (end_ - begin_ > kLedgerLineMax) {
        // A line this long is only worth its verdict; keep its head, drop the rest.
        const std::size_t from = begin_;
        if (!skipping_ && at_ + static_cast<off_t>(from) >= to_) return false;
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
      at_ += static_cast<off_t>(begin_);
      begin_ = 0;
    }
    // Where the part asked for has ended, the rest need not be read.
    if (!skipping_ && begin_ == end_ && at_ >= to_) return false;
    const ssize_t n = pread(fd_, base + end_, capacity_ - end_, at_ + static_cast<off_t>(end_));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error_ = errno;
    if (n <= 0)
      at_eof_ = true;
    else
      end_ += static_cast<std::size_t>(n);
  }
}

LedgerScan::LedgerScan(const ScoreOptions& opt, std::FILE* err)
    : LedgerScan(opt, [err](const std::string& path, std::size_t line, const char* why) {
        if (line == 0)
          std::fprintf(err, "typescore: %s: %s\n", shown_name(path).c_str(), why);
        else
          std::fprintf(err, "%s:%zu: %s\n", shown_name(path).c_str(), line, why);
      }) {}

LedgerScan::LedgerScan(const ScoreOptions& opt, LedgerTrouble report)
    : opt_(opt), report_(std::move(report)) {
  // The directory first, the same way for every period: missing is no rounds yet, but
  // anything else in its way is said, rather than taken for an empty hall of fame.
  const bool all = opt.period.kind == Period::Kind::all;
  struct stat st;
  int problem = stat(kScoreDir, &st) != 0 ? errno : !S_ISDIR(st.st_mode) ? ENOTDIR : 0;
  // Listing it needs reading it; opening a month's ledger only passing through it.
  if (problem == 0 && access(kScoreDir, all ? R_OK | X_OK : X_OK) != 0) problem = errno;
  if (problem == ENOENT && !opt.check) return;
  if (problem) {
    complain(kScoreDir, problem);
    return;
  }
  if (!all) {
    files_ = period_files(opt.period);
    return;
  }
  Dir dir(opendir(kScoreDir));
  if (!dir) {
    complain(kScoreDir, errno);
    return;
  }
  for (;;) {
    errno = 0;
    const dirent* e = readdir(dir.get());
    if (!e) break;
    if (is_ledger_name(e->d_name)) files_.push_back(std::string(kScoreDir) + "/" + e->d_name);
  }
  if (errno != 0) complain(kScoreDir, errno);
  // std::string compares its chars as unsigned, so this is byte order.
  std::sort(files_.begin(), files_.end());
}

void LedgerScan::complain(const std::string& path, int error) {
  report_(path, 0, error == EINVAL ? "not a plain file" : std::strerror(error));
  result_.failed = true;
}

bool LedgerScan::open_next_file() {
  fd_.reset();
  while (next_file_ < files_.size()) {
    const std::string& path = files_[next_file_++];
    // A FIFO in a ledger's place cannot hold the program up: only a plain file is read.
    Fd f{open_data_file(path.c_str(), O_RDONLY)};
    if (!f && errno == ENOENT) continue;  // no rounds that month
    struct stat st;
    const int problem = !f ? errno : fstat(f.fd, &st) != 0 ? errno : 0;
    if (problem) {
      complain(path, problem);
      continue;
    }
    fd_ = std::move(f);
    path_ = path;
    size_ = st.st_size;
    reader_.reset(fd_.fd);
    return true;
  }
  return false;
}

void LedgerScan::name_fault(const std::string& path, std::size_t number,
                            const LedgerVerdict& v) const {
  std::array<char, 64> why;
  describe_ledger_fault(v, why);
  report_(path, number, why.data());
}

void LedgerScan::count(Board& board) {
  const AddTo add{board};
  while (open_next_file()) {
    if (opt_.check || size_ < kSplitSize) {
      read_lines(reader_, path_, result_.skipped, opt_.check, add);
      if (reader_.error()) complain(path_, reader_.error());
      continue;
    }
    const off_t half = size_ / 2;
    Board second;
    LineReader second_reader(fd_.fd);
    second_reader.reset(fd_.fd, half);
    std::size_t second_skipped = 0;
    std::exception_ptr failed;
    std::thread worker;
    try {
      worker = std::thread([&] {
        try {
          read_lines(second_reader, path_, second_skipped, false, AddTo{second});
        } catch (...) {
          failed = std::current_exception();
        }
      });
    } catch (const std::system_error&) {
      // No thread to be had: the whole file here, as any other.
      read_lines(reader_, path_, result_.skipped, false, add);
      if (reader_.error()) complain(path_, reader_.error());
      continue;
    }
    reader_.reset(fd_.fd, 0, half);
    try {
      read_lines(reader_, path_, result_.skipped, false, add);
    } catch (...) {
      worker.join();
      throw;
    }
    worker.join();
    if (failed) std::rethrow_exception(failed);
    result_.skipped += second_skipped;
    const int error = reader_.error() ? reader_.error() : second_reader.error();
    if (error) complain(path_, error);
    board.merge(second);
  }
}
