// Reading the score ledgers of a period line by line: which files, what is said about
// those that cannot be read, and the lines that read and count.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdio>
#include <functional>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "handles.h"
#include "ledger_fixed.h"
#include "ledger_reader.h"
#include "options.h"
#include "period.h"

// The lines of an open file, read in large blocks; a line never takes more than the
// block, whatever the file holds. Each line is followed in memory by kLedgerLineSlack
// readable bytes, so it can be read in place with parse_ledger_line_in_block.
class LineReader {
 public:
  // Small enough to stay in the processor's cache while its lines are read, big enough
  // that a 670 MB ledger takes a few thousand reads.
  static constexpr std::size_t kBlockSize = 128 * 1024;
  // `block` is the read size; it is never less than the longest line and one byte more.
  explicit LineReader(int fd, std::size_t block = kBlockSize);
  // Goes on with another file (or part of one), in the same block: the lines that start
  // at byte `from` or later, and before byte `to`; a line that starts before `to` is read
  // whole, wherever it ends.
  void reset(int fd, off_t from = 0, off_t to = kToTheEnd);
  static constexpr off_t kToTheEnd = std::numeric_limits<off_t>::max();
  // The next line, its line feed taken off; a line longer than kLedgerLineMax comes cut
  // to one byte more, so it is seen as too long, and the rest of it is passed over.
  // False at the end of the file or when a read fails (error() tells which).
  bool next(std::span<char>& line);
  // The next line, when it is whole in the block and in typerace's fixed layout: read
  // into `out` (its user and type view into the block) and passed over. False, the
  // reader where it was, for any other, which next() then gives.
  [[gnu::always_inline]] bool next_fixed(LedgerLine& out) {
    if (end_ - begin_ <= kLedgerFixedSize || skipping_ || at_ + off_t(begin_) >= to_) return false;
    const char* p = buf_.data() + begin_;
    if (p[kLedgerFixedSize] != '\n' || !read_fixed_ledger_line(p, out)) return false;
    begin_ += kLedgerFixedSize + 1;
    return true;
  }
  int error() const { return error_; }

 private:
  int fd_;
  std::vector<char> buf_;
  std::size_t capacity_;  // what a read may fill; the slack lies behind it
  off_t at_ = 0;          // where in the file the block begins
  off_t to_ = kToTheEnd;  // no line starting here or later is given
  std::size_t begin_ = 0, end_ = 0;
  bool at_eof_ = false;
  bool skipping_ = false;  // inside the rest of a line that came cut
  int error_ = 0;
};

struct ScanResult {
  std::size_t skipped = 0;  // lines that did not read
  bool failed = false;      // user/score or a ledger that is there could not be read
};

// Every line of the period's ledgers that reads, falls in the period (resolved) and has
// the word type asked for, one after the other. user/score missing is no lines (with
// --check it is said); user/score or a ledger that is there but cannot be read is said
// on `err` and passed over. With --check each line that does not read goes to `err` as
// FILE:LINE: why.
class Board;

// Where a scan's troubles go: a line that does not read (`line` counted from 1, only with
// --check) or a file that is there but cannot be read (`line` 0), each with the reason in
// words. The path is as the scan found it, not yet made safe to show.
using LedgerTrouble =
    std::function<void(const std::string& path, std::size_t line, const char* why)>;

class LedgerScan {
 public:
  LedgerScan(const ScoreOptions& opt, LedgerTrouble report);
  // Troubles on `err` as typescore says them: "FILE:LINE: why" and "typescore: FILE: why".
  LedgerScan(const ScoreOptions& opt, std::FILE* err);
  // Gives each such line to `take` in turn, in the order of the files and their lines;
  // its user and type view into the scan's buffer for the call only.
  template <class Take>
  void each(Take&& take) {
    while (open_next_file()) {
      read_lines(reader_, path_, result_.skipped, opt_.check, take);
      if (reader_.error()) complain(path_, reader_.error());
    }
  }
  // Every such line added to `board`. A ledger of kSplitSize or more, when no line needs
  // naming, is read in two halves at once, the second on a thread of its own into a
  // board of its own, added in at the end: the totals do not depend on the order.
  void count(Board& board);
  static constexpr off_t kSplitSize = 16 << 20;
  const ScanResult& result() const { return result_; }

 private:
  bool counts(const LedgerLine& line) const {
    return in_period(opt_.period, line) && (!opt_.has_type || line.type == opt_.type);
  }
  // The lines `reader` gives that read, one after the other; those that do not are
  // counted in `skipped` and, with `name_faults`, named with their line number.
  template <class Take>
  void read_lines(LineReader& reader, const std::string& path, std::size_t& skipped,
                  bool name_faults, Take&& take) const {
    std::size_t number = 0;
    for (;;) {
      // Nearly every line, read where it lies and handed on without being kept: what
      // `take` does not look at is never worked out.
      LedgerLine line;
      while (reader.next_fixed(line)) {
        ++number;
        if (counts(line)) take(static_cast<const LedgerLine&>(line));
      }
      std::span<char> text;
      if (!reader.next(text)) return;
      ++number;
      LedgerLine other;
      const LedgerVerdict verdict = parse_ledger_line_in_block(text, other);
      if (!verdict) {
        ++skipped;
        if (name_faults) name_fault(path, number, verdict);
        continue;
      }
      if (counts(other)) take(static_cast<const LedgerLine&>(other));
    }
  }
  bool open_next_file();
  void complain(const std::string& path, int error);
  void name_fault(const std::string& path, std::size_t number, const LedgerVerdict& v) const;

  const ScoreOptions& opt_;
  LedgerTrouble report_;
  std::vector<std::string> files_;
  std::size_t next_file_ = 0;
  Fd fd_;                  // the open file
  std::string path_;       // its name
  off_t size_ = 0;         // and size when opened
  LineReader reader_{-1};  // the open file's
  ScanResult result_;
};
