// Totalling the lines that count: per user for the leaderboard, per month for one
// user's trend, and one user's most recent rounds. Memory grows with the users (the
// months, the rounds kept), never with the lines read.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ledger_reader.h"
#include "options.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// What the rounds of one user (or one month of theirs) add up to.
struct Totals {
  std::int64_t rounds = 0, wins = 0;  // wins: rounds ranked first
  int best = 0;                       // highest speed
  __int128 speed_sum = 0;             // cannot overflow, whatever the number of lines

  void add(int rank, int speed) {
    best = rounds == 0 || speed > best ? speed : best;
    ++rounds;
    wins += rank == 1;
    speed_sum += speed;
  }
  void add(const LedgerLine& line) { add(line.rank, line.speed); }
  void add(const Totals& more) {
    if (more.rounds == 0) return;
    best = rounds == 0 || more.best > best ? more.best : best;
    rounds += more.rounds;
    wins += more.wins;
    speed_sum += more.speed_sum;
  }
};

// Mean of `sum` over `n` > 0 values, rounded toward minus infinity.
int floor_mean(__int128 sum, std::int64_t n);

// One user's row of the leaderboard.
struct BoardRow {
  std::string user;
  std::int64_t rounds = 0;
  std::int64_t wins = 0;  // rounds ranked first
  int best = 0;           // highest speed
  int average = 0;        // mean speed, rounded toward minus infinity
};

// Whether `a` comes before `b` in `by` order: the keys in the order they count, all
// descending, and last the user id, byte-wise.
bool ranks_before(const BoardRow& a, const BoardRow& b, Order by);

// Orders rows as `by` asks, keeping the first `top`.
void order_board(std::vector<BoardRow>& rows, Order by, std::size_t top);

// The totals of every user seen so far, in a table of their ids that is looked up once
// per line without building a string or comparing bytes one by one: nearly every id
// has at most 8 bytes and is kept as one word, beside its totals in one cache line.
// Beside the slots, one byte per slot holds a few bits of its id's hash, 16 of them
// compared at once, so a line finds the slot its id most likely has without touching
// any other. Totals do not depend on the order of the lines, so such lines are counted
// a few at a time, each one's slot asked of memory when the line comes: the lookups then
// seldom wait for it.
class Board {
 public:
  Board();
  [[gnu::always_inline]] void add(const LedgerLine& line) {
    const std::size_t size = line.user.size();
    if (size == 0 || size > 8) return add_long(line);
    const std::uint64_t head = short_head(line.user.data(), size);
    const std::uint64_t hash = mix(head, size);
    const std::size_t home = hash & (slots_.size() - 1);
    const unsigned same = match(&tags_[home], tag_of(hash));
    const std::uint32_t guess =
        same ? static_cast<std::uint32_t>((home + std::countr_zero(same)) & (slots_.size() - 1))
             : kNoGuess;
    if (same) __builtin_prefetch(&slots_[guess], 1);
    waiting_[waiting_count_++] = {head,  hash,      static_cast<std::uint32_t>(size),
                                  guess, line.rank, line.speed};
    if (waiting_count_ == kBatch) count_waiting();
  }
  // Adds in the totals of `other`, as if its lines had been added here.
  void merge(const Board& other);
  // The rows in `by` order, the first `top` of them.
  std::vector<BoardRow> ranking(Order by, std::size_t top) const;
  // `user`'s place in `by` order (1 for the first) with their row; nothing when the user
  // has no rounds.
  std::optional<std::pair<std::size_t, BoardRow>> place_of(std::string_view user, Order by) const;

 private:
  struct alignas(64) Slot {
    std::uint64_t head = 0;  // the id's first 8 bytes, zero after its end
    std::uint32_t size = 0;  // of the id, plus one; 0: a free slot
    std::uint32_t rest = 0;  // an id of more than 8 bytes: its index in long_ids_
    Totals totals;
  };
  // A line of an id of 1 to 8 bytes, waiting to be counted, with the slot its id most
  // likely has.
  struct Waiting {
    std::uint64_t head, hash;
    std::uint32_t size, guess;
    int rank, speed;
  };
  static constexpr std::size_t kBatch = 16;
  static constexpr std::uint32_t kNoGuess = 0xFFFFFFFF;
  // A free slot's tag; a used one's is 0 to 127.
  static constexpr std::uint8_t kFree = 0x80;
  static constexpr std::size_t kGroup = 16;  // tags compared at once

  // The bytes of an id of 1 to 8 as a word, zero after them, read without reaching past.
  static std::uint64_t short_head(const char* p, std::size_t n) {
    auto load = [](const char* q, std::size_t k) {
      std::uint64_t v = 0;
      std::memcpy(&v, q, k);
      return v;
    };
    if (n == 8) return load(p, 8);
    if (n >= 4) return load(p, 4) | load(p + n - 4, 4) << (8 * (n - 4));
    return std::uint64_t{static_cast<unsigned char>(p[0])} |
           std::uint64_t{static_cast<unsigned char>(p[n / 2])} << (8 * (n / 2)) |
           std::uint64_t{static_cast<unsigned char>(p[n - 1])} << (8 * (n - 1));
  }
  // An id's head and what else tells it apart (its size, or a digest of a longer id's
  // other bytes), mixed by multiplication, the high bits folded into the low ones that
  // pick the slot.
  static std::uint64_t mix(std::uint64_t head, std::uint64_t more) {
    const std::uint64_t m = (head ^ (more * 0xE7037ED1A0B428DBULL)) * 0x9E3779B97F4A7C15ULL;
    return m ^ m >> 29;
  }
  static std::uint8_t tag_of(std::uint64_t hash) { return static_cast<std::uint8_t>(hash >> 57); }
  // Which of the kGroup tags from `tags` on are `tag`, as bits.
  static unsigned match(const std::uint8_t* tags, std::uint8_t tag) {
#if defined(__SSE2__)
    const __m128i group = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tags));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(group, _mm_set1_epi8(tag))));
#else
    unsigned bits = 0;
    for (std::size_t i = 0; i < kGroup; ++i) bits |= unsigned{tags[i] == tag} << i;
    return bits;
#endif
  }
  static std::uint64_t hash_of(std::string_view id);

  void add_long(const LedgerLine& line);
  Slot& find(std::uint64_t head, std::uint64_t hash, std::string_view id);
  void set_tag(std::size_t i, std::uint8_t tag);
  void count_waiting() const;  // brings the totals up to date
  std::string user_of(const Slot& s) const;
  BoardRow row(const Slot& s) const;
  void grow();

  // Never more than half full. The tags are followed by a copy of their first kGroup,
  // so a group can be read from any slot on. Mutable with what waits: counting the lines
  // that wait changes nothing a reader of the totals can tell.
  mutable std::vector<Slot> slots_;
  mutable std::vector<std::uint8_t> tags_;
  mutable std::size_t used_ = 0;
  mutable std::vector<std::string> long_ids_;
  mutable std::array<Waiting, kBatch> waiting_;
  mutable std::size_t waiting_count_ = 0;
};

// One month of a user's rounds.
struct MonthRow {
  int year = 0, month = 0;
  std::int64_t rounds = 0, wins = 0;
  int best = 0, average = 0;
};

// A user's totals per month, for their trend.
class MonthBoard {
 public:
  void add(const LedgerLine& line) { months_[{line.year, line.month}].add(line); }
  // In the order of the months.
  std::vector<MonthRow> rows() const;

 private:
  std::map<std::pair<int, int>, Totals> months_;
};

// One round kept whole, its word type as the ledger has it.
struct KeptRound {
  int year, month, day, hour, minute, group, pick, elapsed, rank, speed;
  std::string type;
  std::uint64_t order;  // the position it was read in

  // As a ledger line of `user`; its type views into this round.
  LedgerLine line(std::string_view user) const {
    return {user, group, year, month, day, hour, minute, type, pick, elapsed, rank, speed};
  }
};

// The `keep` most recent of the rounds given, by their own date and time (of two at the
// same minute, the one read later), whatever the order of the files.
class RecentRounds {
 public:
  explicit RecentRounds(std::size_t keep) : keep_(keep) {}
  void add(const LedgerLine& line);
  // Rounds given but not kept.
  std::int64_t left_out() const {
    return seen_ > keep_ ? static_cast<std::int64_t>(seen_ - keep_) : 0;
  }
  // The rounds kept, in the order they were read.
  std::vector<KeptRound> take();

 private:
  std::size_t keep_;
  std::uint64_t seen_ = 0;
  std::vector<KeptRound> kept_;  // a heap with the least recent on top
};
