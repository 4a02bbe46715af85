// Reading the score ledgers of a period line by line: which files, what is said about
// those that cannot be read, and the lines that read and count.
#pragma once

#include <cstddef>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "handles.h"
#include "ledger.h"
#include "ledger_fixed.h"
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
  // Goes on with another file, in the same block.
  void reset(int fd);
  // The next line, its line feed taken off; a line longer than kLedgerLineMax comes cut
  // to one byte more, so it is seen as too long, and the rest of it is passed over.
  // False at the end of the file or when a read fails (error() tells which).
  bool next(std::span<char>& line);
  // The next line, when it is whole in the block and in typerace's fixed layout: read
  // into `out` (its user and type view into the block) and passed over. False, the
  // reader where it was, for any other, which next() then gives.
  [[gnu::always_inline]] bool next_fixed(LedgerLine& out) {
    if (end_ - begin_ <= kLedgerFixedSize || skipping_) return false;
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
class LedgerScan {
 public:
  LedgerScan(const ScoreOptions& opt, std::FILE* err);
  // Gives each such line to `take` in turn; its user and type view into the scan's
  // buffer for the call only.
  template <class Take>
  void each(Take&& take) {
    for (;;) {
      // Nearly every line, read where it lies and handed on without being kept: what
      // `take` does not look at is never worked out. Anything else, and the next file,
      // below.
      LedgerLine line;
      while (reader_.next_fixed(line)) {
        ++number_;
        if (counts(line)) take(static_cast<const LedgerLine&>(line));
      }
      LedgerLine other;
      if (!next_other(other)) return;
      take(static_cast<const LedgerLine&>(other));
    }
  }
  const ScanResult& result() const { return result_; }

 private:
  bool counts(const LedgerLine& line) const {
    return in_period(opt_.period, line) && (!opt_.has_type || line.type == opt_.type);
  }
  // The next such line the fast reading turned down or could not reach; false when
  // there are no more.
  bool next_other(LedgerLine& line);
  bool open_next_file();
  void complain(const std::string& path, int error);

  const ScoreOptions& opt_;
  std::FILE* err_;
  std::vector<std::string> files_;
  std::size_t next_file_ = 0;
  Fd fd_;
  LineReader reader_{-1};   // the open file's, when fd_ holds one
  std::size_t number_ = 0;  // of the line just read, in its file
  ScanResult result_;
};
