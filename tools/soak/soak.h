// What the soak run's parts share: its settings, the rooms and their terminals, the
// scratch working directory and the run's switches. The parts are the faults it injects
// (faults), its reading of the terminals (terminals), its judging of the invariants
// (judge, soak_check) and its count of both (tally); soak.cpp plays the rounds.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "harness.h"
#include "soak_check.h"

namespace soak {

// ---- settings ---------------------------------------------------------------------------

inline constexpr int kGroups = 3;
inline constexpr int kCountdown = 5;
struct WordType {
  const char* name;
  int limit;
};
// Short limits, so hundreds of rounds complete; the largest sets the stale-claim bound.
inline constexpr std::array<WordType, 3> kTypes{{{"sa", 4}, {"sb", 5}, {"sc", 6}}};
// The word type whose list is a FIFO that nobody writes.
inline constexpr WordType kFifoType{"sf", 5};
inline constexpr int kMaxLimit = 6;
// However a round was treated, it is over this long after its length.
inline constexpr double kEndSlack = 10;
// A FIFO roster round runs in a room of its own, so no other group's round meets it.
inline constexpr int kFifoRoomBase = 100;
// The stale-claim bound: the countdown, the largest limit, and the round's slack.
inline constexpr int kStaleBound = kCountdown + kMaxLimit + 60;
// How long the chat engine looks for a word: past any countdown, even a slow one.
inline constexpr int kEngineGiveUpMs = 8000;
// Until here in a round no word can be out yet, so a signal needs no care for finishers.
inline constexpr double kBeforeWord = 3.8;

double mono();
double wall();
void sleep_until_mono(double t);
void sleep_until_wall(double t);
long env_number(const char* name, long fallback);
// Bytes as a person reads them in a report: the Korean decoded, control bytes as \xNN.
std::string printable(std::string_view bytes);

// ---- the rooms ---------------------------------------------------------------------------

struct Seen {
  std::string text;
  double mono, real;
};

struct Burst {
  std::string text;
  double first, last;
  int count;
};

struct Lane;

struct Term {
  std::unique_ptr<harness::Pty> pty = std::make_unique<harness::Pty>();
  Lane* lane = nullptr;
  bool watcher = false;
  bool in_roster = false;  // guarded by the room
  // Guarded by `screens`:
  bool stalled = false;
  std::size_t filler_left = 0;  // bytes the soak wrote itself to fill it up
  double resumed_at = 0;
  FrameReader frames;
};

struct Room;

// One room and group, racing round after round.
struct Lane {
  int room = 0, group = 0;
  Room* home = nullptr;
  Term* watcher = nullptr;     // always in the roster and always read
  std::vector<Term*> players;  // join, leave, stop reading
  std::vector<Seen> log;       // the watcher's frames, guarded by `screens`
  std::deque<Burst> bursts;    // reader only
  std::mt19937 rng;
  // Its own wall clock for the rounds that get a step: a file of its own to hold it.
  std::unique_ptr<harness::Scratch> clock_dir;
  std::unique_ptr<harness::SteppedClock> clock;
  bool blocked = false;  // a killed round left its answer file
  double blocked_until = 0;
  bool leftover = false;  // a round left its results file: the next must remove it
  int fifo_room = 0;      // the room of its own for a FIFO in the roster's place
};

struct Room {
  std::mutex mu;
  int number = 0;
  std::vector<Lane*> lanes;
};

// The reader thread and the lanes meet here.
struct Screens {
  std::mutex mu;
  std::condition_variable swept;
  long sweeps = 0;
  std::atomic<bool> stop{false};
  std::vector<std::unique_ptr<Term>> terms;
};
extern Screens screens;

// The run's switches.
struct Env {
  bool sigkill = true;
  bool failing = false;  // libfiu is there
  double end = 0;
  std::atomic<long> serial{0};
};
extern Env env;

// The scratch working directory every room races in.
extern std::unique_ptr<harness::Scratch> bbs;

// ---- the server's files ------------------------------------------------------------------

std::string answer_rel(int room, int group);
std::string results_rel(int room, int group);
std::string roster_rel(int room);
// The room's roster as the server keeps it: every group's watcher, then its players.
// Written whole and renamed into place, as a careful server would.
void write_roster(Room& room);
// The index and the word lists every round plays from.
void prepare_game_files();

}  // namespace soak
