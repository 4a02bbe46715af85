// The names of a round's files, relative to the server's working directory: written once
// here for the round programs, typeadmin, typescore and the server stand-in, so no two of
// them can ever look for a file in two places.
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>
#include <ctime>

// The game's directory, and the word-type index in it.
inline constexpr char GAME_DIR[] = "frm/typegame";
inline constexpr char INDEX_PATH[] = "frm/typegame/data.txt";
// The answer file of a room and group is this stem followed by the room and the group,
// in plain decimal and with nothing between them.
inline constexpr char ANSWER_STEM[] = "taja.";

// With no word-type index, typerace plays one of the fallback lists data 1,dat to
// data10,dat, drawn as `random() % kFallbackLists + 1`.
inline constexpr int kFallbackLists = 10;

using RoundPath = std::array<char, 64>;

// frm/typegame/taja.<room><group>: the answer file, which claims the room; and
// frm/typegame/chatmess.<room><group>: the finishers the server's chat engine records.
// False when the name does not fit (it is then cut, and names no round's file).
bool answer_path(int room, int group, RoundPath& out);
bool results_path(int room, int group, RoundPath& out);

// user/chat/rm_<NN>.all: the room's roster, its number padded to two digits.
void roster_path(int room, std::array<char, 200>& out);

// data<k>,dat, k space-padded to two places: a fallback list's name, and its path in
// frm/typegame/.
void fallback_list_name(int k, std::array<char, 16>& out);
void fallback_list_path(int k, std::array<char, 32>& out);

// frm/typegame/<file>: a word list the index names. Returns the length the whole path
// takes, as snprintf does, so a caller with a smaller buffer can tell it was cut.
int list_path(const char* file, char* out, std::size_t size);

// user/score/type<yy><m>.dat: the month's score ledger, with no padding, so two months
// can share one file (01 with 11, 11 with 1).
void ledger_path(const std::tm& when, std::array<char, 64>& out);
