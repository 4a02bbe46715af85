// A round's claim on its room and group: the answer file, created empty and held locked
// until the round has removed it, the signals that must not leave it behind, and the rule
// by which an answer file nobody will ever remove counts as stale and is taken over.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <ctime>

// The fallback word lists bring no time limit of their own; this leaves time to type.
inline constexpr std::int32_t kFallbackLimit = 30;
// Beyond the countdown and the time limit, what a round may take: the title, the ranking,
// a loaded machine.
inline constexpr long long kRoundSlack = 60;
// How far the boot time that the clocks give may be off, in seconds.
inline constexpr long long kBootSlack = 2;

// Names the round's answer and results files for room and group; until then both are
// empty. Returns false when the names do not fit.
bool name_round_files(int room, int group);
const char* answer_file();
const char* results_file();

// Removes the answer and results files whenever an ending signal comes once the room is
// claimed, and then ends by that signal; a signal the program inherited as ignored stays
// ignored.
void catch_round_endings();

// Creates the answer file if nobody has it, and holds it locked for the round. Creating
// it and recording the claim are one step for the signals. Returns the descriptor, or -1
// with errno (EEXIST: the room is taken).
int claim_room();

// Claims the room: claim_room, and when an answer file is in the way, takes it over if it
// is stale (remove_stale_claim), or claims again if it is gone by the time it is looked at
// (its round has just ended). Returns the descriptor, or -1 with errno (EEXIST: a round
// holds the room).
int take_room();

// The longest a round of this server can last: the countdown, the largest time limit in
// the index (the fallback lists' when there is none) and the slack.
long long longest_round();

// Whether an answer file with these times is too old for any round to be running on it:
// further from now than `bound` in either direction (a clock set back counts too), or
// dated before the machine booted.
bool claim_is_stale(const struct stat& st, std::time_t now, long long bound);

// Takes over an answer file left behind by a round that can no longer be running: one
// that no process holds locked and that is stale. True when it was removed.
bool remove_stale_claim();

// Gives the room up: the answer file goes first, so nothing said or done after can keep
// the room blocked. errno is kept. False when the answer file could not be removed.
bool release_room();

// The end of a round: the answer file, then the results file. False when either is still
// there: its removal failed, and tried again (remove_file) failed too.
bool end_round_files();
