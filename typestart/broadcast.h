// The starter's room broadcast. The terminals of the room's group are kept in a table
// for the whole run, and the roster is read again only when its modification time has
// moved, so a quiet room costs one stat per announcement.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "roster.h"

// The terminal table: names of at most 8 bytes, filled from slot 0 in roster order; an
// empty slot receives nothing.
extern std::array<TtySlot, kRecipientsMax> usertty;

// The roster's modification time as the last reloading broadcast saw it; 0 at start.
extern std::int32_t room_sec;

// What a framed announcement is built in.
inline constexpr std::size_t kFramedSize = 300;

// The file's modification time in whole seconds (kept to 32 bits), or 0 when the file
// cannot be examined, so a missing roster compares like one stamped at the epoch.
std::int32_t file_time(const char* path);

// Removes every blank, carriage return and line feed from text, in place. Tabs and the
// bytes of Korean text stay.
void del_space(char* text);

// Frames text (save cursor, row 21, a line down, fourteen blanks, the text, restore
// cursor) and writes it to one terminal. An empty name gets nothing; a text too long
// for the frame is cut, never inside a Korean character.
void chat_say2(const char* tty, const char* text);

// Points ROOM_ALL at the room's roster and loads the group's terminals into usertty.
// Returns the number of slots taken; a name that cleans to nothing, or to something
// that may not be written to, takes its slot but leaves it empty.
int read_tty(int group, int room);

// Looks at the roster for the next announcement now: the table is reloaded when the
// roster's modification time differs from room_sec. Done shortly before a line is due,
// it lets the line go out on time.
void prepare_broadcast(int group, int room);

// Announces text to every terminal in the table, looking at the roster first (or just
// before, by prepare_broadcast). read_tty must have run once.
void chat_say(int group, int room, const char* text);
