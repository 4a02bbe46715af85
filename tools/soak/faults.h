// The faults the soak run injects: what each round gets (a plan drawn at random), the
// finishers and hostile lines its chat engine records, and what is done to the round
// before it starts and while it runs.
#pragma once

#include <array>
#include <random>
#include <string>
#include <vector>

#include "soak.h"

namespace soak {

// The calls that fail at random in a round of the kind "system calls fail", and how often.
inline constexpr char kFailingCalls[] = "enable_random name=posix/io/*,probability=0.02\n"
                                        "enable_random name=posix/proc/*,probability=0.02";
inline constexpr char kFailingShown[] = "posix/io/*, posix/proc/* at 2%";

// What is done to a round beyond the faults that combine freely: one kind at most.
enum class Kind { plain, ignored, tiny_limit, fifo_roster, fifo_list, failing };
const char* kind_name(Kind k);

struct Plan {
  Kind kind = Kind::plain;
  int room = 0;                        // the room the round is started for
  std::array<double, 3> ignored_at{};  // when HUP, INT and QUIT are sent, all three ignored
  long word_limit = -1;                // a file-size limit below the length of any word
  bool umask = false;
  bool typestart = false;
  const WordType* type = nullptr;
  int signal = 0;
  double signal_at = 0;
  long fsize = -1;     // the file-size limit for a full ledger
  int clock_step = 0;  // seconds, +-3600
  double clock_at = 0;
  Term* stall = nullptr;
  double roster_at = -1;
  bool twice = false;
  bool hostile = false;
  bool takeover = false;
};

// `plain`: a typerace with no fault, after a round that left files behind; `takeover`: the
// room waited out the stale-claim bound for it.
Plan make_plan(Lane& lane, bool plain, bool takeover);

// The finishers the chat engine records, and the users the ranking must give: each user
// id names its round, so every ledger line can be traced to the one round it belongs to.
struct Field {
  std::vector<harness::Finisher> finishers;
  std::vector<std::string> ranked;  // as the ledger must show them, in order
  std::vector<std::string> users;   // every user id the round could put in the ledger
};
Field make_field(const Plan& p, long serial, std::mt19937& rng);

// Before the start: a terminal stopped and filled, a FIFO put in the roster's place; the
// environment (a stepped clock, failing calls) and the child's setup (limits, ignored
// signals, the umask) the round program is started with. Each counts its fault.
void before_the_start(Lane& lane, const Plan& plan);
std::vector<std::string> environment_for(Lane& lane, const Plan& plan);
harness::ChildSetup setup_for(const Plan& plan);

// What is done while the round runs, in the order it falls due: the roster rewritten,
// the clock stepped, the signals sent to the round (and its twin). `engine` is joined
// before a signal that may end a round whose word is out, so its finishers are all in.
void during_the_round(Lane& lane, const Plan& plan, double t0, harness::ChatEngine& engine,
                      harness::Proc& proc, harness::Proc* second);

// Once the round has ended: the FIFO in the roster's place gone. (What libfaketime leaves
// of a round, the harness removes as it waits for the round's end.)
void after_the_round(const Plan& plan);

// The stopped terminal read again, once the round has been judged.
void resume_stalled(const Plan& plan);

}  // namespace soak
