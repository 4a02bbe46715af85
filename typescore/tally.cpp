#include "tally.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <tuple>

namespace {

std::array<std::int64_t, 3> order_keys(const BoardRow& r, Order by) {
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
}

}  // namespace

int floor_mean(__int128 sum, std::int64_t n) {
  __int128 q = sum / n;
  if (sum % n != 0 && sum < 0) --q;
  return static_cast<int>(q);
}

bool ranks_before(const BoardRow& a, const BoardRow& b, Order by) {
  const auto ka = order_keys(a, by), kb = order_keys(b, by);
  if (ka != kb) return ka > kb;
  return a.user < b.user;
}

void order_board(std::vector<BoardRow>& rows, Order by, std::size_t top) {
  top = std::min(top, rows.size());
  std::partial_sort(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(top), rows.end(),
                    [by](const BoardRow& a, const BoardRow& b) { return ranks_before(a, b, by); });
  rows.resize(top);
}

Board::Board() : slots_(1024), tags_(1024 + kGroup, kFree) {}

std::uint64_t Board::hash_of(std::string_view id) {
  const std::size_t n = id.size();
  if (n >= 1 && n <= 8) return mix(short_head(id.data(), n), n);
  std::uint64_t head = 0, more = n;
  std::memcpy(&head, id.data(), std::min<std::size_t>(n, 8));
  for (std::size_t i = 8; i < n; i += 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, id.data() + i, std::min<std::size_t>(8, n - i));
    more = (more ^ word) * 0x9E3779B97F4A7C15ULL;
  }
  return mix(head, more);
}

void Board::set_tag(std::size_t i, std::uint8_t tag) {
  tags_[i] = tag;
  if (i < kGroup) tags_[slots_.size() + i] = tag;
}

Board::Slot& Board::find(std::uint64_t head, std::uint64_t hash, std::string_view id) {
  const auto size = static_cast<std::uint32_t>(id.size() + 1);
  const std::uint8_t tag = tag_of(hash);
  const std::size_t mask = slots_.size() - 1;
  // Group after group from the id's home slot: the id is in the first group that holds
  // it before one with a free slot, or it is new and takes that free slot.
  for (std::size_t at = hash & mask;; at = (at + kGroup) & mask) {
    for (unsigned same = match(&tags_[at], tag); same; same &= same - 1) {
      Slot& s = slots_[(at + std::countr_zero(same)) & mask];
      if (s.head == head && s.size == size && (size <= 9 || long_ids_[s.rest] == id)) return s;
    }
    const unsigned free = match(&tags_[at], kFree);
    if (free == 0) continue;
    // A line is at most 4096 bytes, so its user id fits the size; the count of ids
    // does too, or memory would have run out long before.
    const std::size_t i = (at + std::countr_zero(free)) & mask;
    Slot& s = slots_[i];
    if (size > 9) {
      if (long_ids_.size() >= 0xFFFFFFFFu) throw std::bad_alloc();
      long_ids_.emplace_back(id);
      s.rest = static_cast<std::uint32_t>(long_ids_.size() - 1);
    }
    s.head = head;
    s.size = size;
    set_tag(i, tag);
    if (++used_ * 2 > slots_.size()) {
      grow();
      return find(head, hash, id);
    }
    return s;
  }
}

void Board::add_long(const LedgerLine& line) {
  std::uint64_t head = 0;
  std::memcpy(&head, line.user.data(), std::min<std::size_t>(line.user.size(), 8));
  find(head, hash_of(line.user), line.user).totals.add(line);
}

void Board::count_waiting() const {
  Board& self = const_cast<Board&>(*this);
  // First every line whose slot was guessed right, while the guesses hold: a new id
  // below may make the table grow.
  std::array<const Waiting*, kBatch> missed;
  std::size_t misses = 0;
  for (std::size_t w = 0; w < waiting_count_; ++w) {
    const Waiting& l = waiting_[w];
    if (l.guess != kNoGuess) {
      Slot& s = slots_[l.guess];
      if (s.head == l.head && s.size == l.size + 1) {
        s.totals.add(l.rank, l.speed);
        continue;
      }
    }
    missed[misses++] = &l;
  }
  for (std::size_t m = 0; m < misses; ++m) {
    const Waiting& l = *missed[m];
    self.find(l.head, l.hash, {reinterpret_cast<const char*>(&l.head), l.size})
        .totals.add(l.rank, l.speed);
  }
  waiting_count_ = 0;
}

void Board::merge(const Board& other) {
  other.count_waiting();
  for (const Slot& s : other.slots_) {
    if (s.size == 0) continue;
    const std::string id = other.user_of(s);
    find(s.head, hash_of(id), id).totals.add(s.totals);
  }
}

void Board::grow() {
  std::vector<Slot> old(slots_.size() * 2);
  old.swap(slots_);
  tags_.assign(slots_.size() + kGroup, kFree);
  const std::size_t mask = slots_.size() - 1;
  for (const Slot& s : old) {
    if (s.size == 0) continue;
    const std::uint64_t hash = hash_of(user_of(s));
    for (std::size_t at = hash & mask;; at = (at + kGroup) & mask) {
      const unsigned free = match(&tags_[at], kFree);
      if (free == 0) continue;
      const std::size_t i = (at + std::countr_zero(free)) & mask;
      slots_[i] = s;
      set_tag(i, tag_of(hash));
      break;
    }
  }
}

std::string Board::user_of(const Slot& s) const {
  if (s.size > 9) return long_ids_[s.rest];
  std::string id(s.size - 1, '\0');
  std::memcpy(id.data(), &s.head, id.size());
  return id;
}

BoardRow Board::row(const Slot& s) const {
  const Totals& t = s.totals;
  return {user_of(s), t.rounds, t.wins, t.best, floor_mean(t.speed_sum, t.rounds)};
}

std::vector<BoardRow> Board::ranking(Order by, std::size_t top) const {
  count_waiting();
  std::vector<BoardRow> rows;
  rows.reserve(used_);
  for (const Slot& s : slots_)
    if (s.size != 0) rows.push_back(row(s));
  order_board(rows, by, top);
  return rows;
}

std::optional<std::pair<std::size_t, BoardRow>> Board::place_of(std::string_view user,
                                                                Order by) const {
  count_waiting();
  const auto it = std::find_if(slots_.begin(), slots_.end(), [&](const Slot& s) {
    return s.size == user.size() + 1 && user_of(s) == user;
  });
  if (it == slots_.end()) return std::nullopt;
  BoardRow mine = row(*it);
  std::size_t place = 1;
  BoardRow other;
  for (const Slot& s : slots_) {
    if (s.size == 0) continue;
    // The row without its id first: only a tie on every key needs the id compared.
    const Totals& t = s.totals;
    other.rounds = t.rounds, other.wins = t.wins, other.best = t.best;
    other.average = floor_mean(t.speed_sum, t.rounds);
    if (order_keys(other, by) != order_keys(mine, by)) {
      place += order_keys(other, by) > order_keys(mine, by);
      continue;
    }
    place += user_of(s) < mine.user;
  }
  return std::pair{place, std::move(mine)};
}

std::vector<MonthRow> MonthBoard::rows() const {
  std::vector<MonthRow> rows;
  for (const auto& [when, t] : months_)
    rows.push_back(
        {when.first, when.second, t.rounds, t.wins, t.best, floor_mean(t.speed_sum, t.rounds)});
  return rows;
}

namespace {

// Whether `a` was played after `b`.
bool more_recent(const KeptRound& a, const KeptRound& b) {
  return std::tie(a.year, a.month, a.day, a.hour, a.minute, a.order) >
         std::tie(b.year, b.month, b.day, b.hour, b.minute, b.order);
}

}  // namespace

void RecentRounds::add(const LedgerLine& l) {
  KeptRound r{l.year, l.month,   l.day,  l.hour,  l.minute, l.group,
              l.pick, l.elapsed, l.rank, l.speed, {},       seen_++};
  if (keep_ == 0) return;
  if (kept_.size() == keep_) {
    if (!more_recent(r, kept_.front())) return;
    std::pop_heap(kept_.begin(), kept_.end(), more_recent);
    kept_.pop_back();
  }
  r.type = l.type;
  kept_.push_back(std::move(r));
  std::push_heap(kept_.begin(), kept_.end(), more_recent);
}

std::vector<KeptRound> RecentRounds::take() {
  std::vector<KeptRound> rounds = std::move(kept_);
  kept_.clear();
  std::sort(rounds.begin(), rounds.end(),
            [](const KeptRound& a, const KeptRound& b) { return a.order < b.order; });
  return rounds;
}
