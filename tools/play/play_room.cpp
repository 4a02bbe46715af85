#include "play_room.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>

#include "game_files.h"
#include "handles.h"
#include "round.h"
#include "round_names.h"

namespace play {

RoundPlan plan_round(const std::string& dir, const char* type) {
  RoundPlan plan;
  IndexLookup idx;
  if (File index{std::fopen((dir + "/" + INDEX_PATH).c_str(), "r")})
    find_word_type(index.get(), type, idx);
  if (idx.file[0] != '\0') {
    plan.limit = idx.limit;
    std::array<char, kPathSize * 2> list;
    list_path(idx.file.data(), list.data(), list.size());
    plan.list = list.data();
  }
  return plan;
}

std::int32_t strokes_of(const std::string& dir, const RoundPlan& plan, std::string_view word) {
  if (plan.list.empty()) return 0;
  File list{std::fopen((dir + "/" + plan.list).c_str(), "r")};
  if (!list) return 0;
  std::int32_t strokes = 0;
  std::array<char, 200> w{};
  while (read_word_record(list.get(), &strokes, w.data(), w.size()) >= 2)
    if (word == w.data()) return strokes;
  return 0;
}

std::vector<Rival> rivals_for(std::int32_t limit) {
  std::vector<Rival> out;
  const std::pair<const char*, int> shares[] = {{"minsu", 35}, {"jiyoung", 55}, {"seojun", 80}};
  for (auto [id, percent] : shares) {
    long delay = (static_cast<long>(limit) * percent + 50) / 100;
    out.push_back({id, static_cast<int>(delay < 1 ? 1 : delay)});
  }
  return out;
}

ChatStandIn::ChatStandIn(std::string dir, int room, int group, std::string player,
                         std::vector<Rival> rivals)
    : room_(dir, room, group), player_(std::move(player)), rivals_(std::move(rivals)) {}

void ChatStandIn::tick(std::time_t now) {
  if (!room_.look(now)) return;
  for (auto& r : rivals_) {
    if (!r.done && now >= room_.word_time() + r.delay_s) {
      r.done = true;
      room_.finish(r.id, "typed", now);
      just_finished_.push_back(r.id);
    }
  }
}

std::vector<std::string> ChatStandIn::take_finished() {
  std::vector<std::string> out;
  out.swap(just_finished_);
  return out;
}

ChatStandIn::Typed ChatStandIn::typed(std::string_view line, std::time_t now) {
  std::string w = room_.current_word();
  if (w.empty()) return Typed::NotYet;
  if (player_done_) return Typed::AlreadyFinished;
  if (line != w) return Typed::Missed;
  // Rivals due by now finished first; their lines go before the person's.
  tick(now);
  player_done_ = true;
  room_.finish(player_, "typed", now);
  return Typed::Finished;
}

std::vector<std::string> ranking(const std::string& results_path, std::time_t start,
                                 std::int32_t strokes) {
  std::vector<std::string> out;
  File results{std::fopen(results_path.c_str(), "r")};
  if (!results) {
    out.emplace_back(TXT_NO_RESULTS);
    return out;
  }
  out.emplace_back(TXT_RESULTS);
  int rank = 0;
  ResultLine fin;
  while (read_result(results.get(), fin)) {
    int elapsed = elapsed_since(fin.finish, start);
    std::array<char, kMessageSize> text;
    format_rank(text, ++rank, elapsed, fin.user.data(), typing_speed(strokes, elapsed));
    out.emplace_back(text.data());
  }
  return out;
}

std::optional<RankLine> parse_rank(std::string_view text) {
  if (text.size() > kMessageSize || text.empty() || text[0] < '0' || text[0] > '9')
    return std::nullopt;
  const std::string line(text);
  RankLine r;
  std::array<char, 16> place{}, seconds{}, per_minute{};
  std::array<char, kUserIdMax + 1> user{};
  int used = 0;
  if (std::sscanf(line.c_str(), "%d %15s %d %15s %8s %d %15s%n", &r.rank, place.data(), &r.seconds,
                  seconds.data(), user.data(), &r.speed, per_minute.data(), &used) != 7 ||
      static_cast<std::size_t>(used) != line.size())
    return std::nullopt;
  r.user = user.data();
  return r;
}

std::string ordinal(int n) {
  const int tens = n % 100, ones = n % 10;
  const char* suffix = tens >= 11 && tens <= 13 ? "th"
                       : ones == 1              ? "st"
                       : ones == 2              ? "nd"
                       : ones == 3              ? "rd"
                                                : "th";
  return std::to_string(n) + suffix;
}

}  // namespace play
