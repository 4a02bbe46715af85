// Judging the invariants: how each round ended and what it left, what its watcher saw,
// the ledger's lines, and the state of the directory at the end. Every look is counted
// in the tally, and every breach shown as it happens.
#pragma once

#include <string>
#include <vector>

#include "faults.h"
#include "soak.h"

namespace soak {

// How a round ended, and what the watcher of its room and group saw of it.
struct Outcome {
  harness::Result ran;   // of two started at once, the one that claimed the room
  bool refused = false;  // nobody claimed the room: status 1, nothing said
  bool gave_up = false;  // status 1 with its message: it stopped before its round
  bool completed = false, killed = false;
  std::string word;  // as the chat engine saw it in the answer file
  std::vector<Seen> seen;
};

// Every user id a round may put in the ledger is its own: noted before the round.
void expect_users(const Field& field, long serial);

// A round (or the second of two) is over within its length and the slack.
void judge_time(const Plan& plan, double took, const std::string& at);
// The answer file let its owner read and write the word.
void judge_answer_mode(const Plan& plan, mode_t mode, const std::string& at);

// Which of two started at once ran the round, and whether each ended as it should.
Outcome judge_ending(const Plan& plan, harness::Result r, const harness::Result* r2,
                     const std::string& at);

// After the round: the server's part after typestart, the files, and a room that a round
// killed outright, or one that could not remove its files, left blocked until the
// stale-claim bound has passed.
void tidy_up(Lane& lane, const Plan& plan, const Outcome& o, long word_time, const std::string& at);

// What the watcher saw: the countdown, how long it and the wait took. Returns the number
// of ranking lines announced.
int judge_screen(const Plan& plan, const Outcome& o, const std::string& at);

// The ledger: one line per ranked finisher of a round that reached its ranking.
void judge_ledger(const Plan& plan, const Field& field, const Outcome& o, int ranks,
                  const std::string& at);

// At the end: every ledger whole, nothing of any round left, no process still running.
void final_checks();

}  // namespace soak
