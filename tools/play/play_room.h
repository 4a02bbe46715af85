// The server's side of a played round: its chat engine, which records who typed the
// published word, with simulated rivals beside the person; and, for rounds that
// typestart only starts, the waiting, ranking and clean-up the server then owns.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "chat_engine.h"

namespace play {

// What the word-type index says about a type: its time limit and word list. A type the
// index does not list plays its last record; with no index the limit is 30 seconds,
// as typerace plays its fallback lists.
struct RoundPlan {
  std::int32_t limit = 30;
  std::string list;  // "frm/typegame/<file>", empty with no index
};
RoundPlan plan_round(const std::string& dir, const char* type);

// The stroke count of `word` in the word list, 0 when the list does not hold it.
std::int32_t strokes_of(const std::string& dir, const RoundPlan& plan, std::string_view word);

struct Rival {
  std::string id;
  int delay_s;  // finishes this many seconds after the word appeared
  bool done = false;
};

// Rivals who finish at fixed shares of the time limit, so the person can beat some.
std::vector<Rival> rivals_for(std::int32_t limit);

// The chat engine of one room and group in the working directory `dir`, driven by the
// person and the rivals: while the answer file holds a word, a finisher's line
// "<time> <user id> typed" is appended to the results file, in finishing order.
class ChatStandIn {
 public:
  ChatStandIn(std::string dir, int room, int group, std::string player, std::vector<Rival> rivals);

  // Looks at the answer file and records the rivals whose time has come.
  void tick(std::time_t now);

  enum class Typed { NotYet, Finished, Missed, AlreadyFinished };
  // A line the person typed, in EUC-KR.
  Typed typed(std::string_view line, std::time_t now);

  // The rivals who finished since the last call, in finishing order, so the chat can
  // show them as they happen.
  std::vector<std::string> take_finished();

  bool word_out() const { return room_.word_out(); }
  bool player_finished() const { return player_done_; }
  const std::string& word() const { return room_.word(); }
  std::time_t word_time() const { return room_.word_time(); }
  const std::string& answer_path() const { return room_.answer_path(); }
  const std::string& results_path() const { return room_.results_path(); }

 private:
  harness::ChatRoom room_;
  std::string player_;
  std::vector<Rival> rivals_;
  std::vector<std::string> just_finished_;
  bool player_done_ = false;
};

// The ranking announcements for the finishers in the results file, timed from `start`,
// in the words typerace uses (EUC-KR); "no results" when there is no results file.
std::vector<std::string> ranking(const std::string& results_path, std::time_t start,
                                 std::int32_t strokes);

// One line of the ranking as the room shows it, "<rank> 등   <seconds> 초   <user id>
// <speed> 타/분", its words in whatever encoding they are shown in; nullopt for any
// other text.
struct RankLine {
  int rank = 0, seconds = 0, speed = 0;
  std::string user;
};
std::optional<RankLine> parse_rank(std::string_view text);

// "1st", "2nd", "11th", "23rd".
std::string ordinal(int n);

}  // namespace play
