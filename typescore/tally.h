// Reading the score ledgers and totalling them per user, in one pass and with memory
// that grows with the users, not with the lines.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ledger_reader.h"
#include "options.h"

// The lines of an open file, read in large blocks; a line never takes more than the
// block, whatever the file holds.
class LineReader {
 public:
  // Big enough that a 70 MB ledger takes a few hundred reads.
  static constexpr std::size_t kBlockSize = 256 * 1024;
  // `block` is the read size; it is never less than the longest line and one byte more.
  explicit LineReader(int fd, std::size_t block = kBlockSize);
  // The next line, its line feed taken off; a line longer than kLedgerLineMax comes cut
  // to one byte more, so it is seen as too long, and the rest of it is passed over.
  // False at the end of the file or when a read fails (error() tells which).
  bool next(std::span<char>& line);
  int error() const { return error_; }

 private:
  int fd_;
  std::vector<char> buf_;
  std::size_t begin_ = 0, end_ = 0;
  bool at_eof_ = false;
  bool skipping_ = false;  // inside the rest of a line that came cut
  int error_ = 0;
};

// The ledger files to read, in the order their lines count: the month's one file, or
// with --all every user/score/type*.dat in byte order of the names.
std::vector<std::string> ledger_files(const ScoreOptions& opt);

struct ScanResult {
  std::size_t skipped = 0;  // lines that did not read
  bool failed = false;      // a ledger that is there could not be read
};

// Where a scan reports its troubles: a line that does not read (`line` counted from 1,
// only with --check) or a ledger that is there but cannot be read (`line` 0), each with
// the reason in words.
using LedgerTrouble =
    std::function<void(const std::string& path, std::size_t line, const char* why)>;

// Calls `take` with every line of the ledgers that reads and belongs to the month asked
// for (any month with --all) and to the word type asked for; the troubles go to `report`.
ScanResult scan_ledgers(const ScoreOptions& opt, const std::vector<std::string>& files,
                        const LedgerTrouble& report,
                        const std::function<void(const LedgerLine&)>& take);

// The same, the troubles written to `err`: with --check each line that does not read as
// FILE:LINE: why, and a ledger that cannot be read as typescore: FILE: why.
ScanResult scan_ledgers(const ScoreOptions& opt, const std::vector<std::string>& files,
                        std::FILE* err, const std::function<void(const LedgerLine&)>& take);

// One user's row of the leaderboard.
struct BoardRow {
  std::string user;
  std::int64_t rounds = 0;
  std::int64_t wins = 0;  // rounds ranked first
  int best = 0;           // highest speed
  int average = 0;        // mean speed, rounded toward minus infinity
};

// The totals of every user seen so far.
class Board {
 public:
  void add(const LedgerLine& line);
  // The rows in `by` order, the first `top` of them.
  std::vector<BoardRow> ranking(Order by, std::size_t top) const;

 private:
  struct Totals {
    std::int64_t rounds = 0, wins = 0;
    int best = 0;
    __int128 speed_sum = 0;  // cannot overflow, whatever the number of lines
  };
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::unordered_map<std::string, Totals, Hash, std::equal_to<>> users_;
};

// Orders rows as `by` asks (ties go to the next key, finally the user id, byte-wise),
// keeping the first `top`.
void order_board(std::vector<BoardRow>& rows, Order by, std::size_t top);

// Mean of `sum` over `n` > 0 values, rounded toward minus infinity.
int floor_mean(__int128 sum, std::int64_t n);
