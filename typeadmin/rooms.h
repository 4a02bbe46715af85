// `typeadmin rooms`: every answer file in frm/typegame/, whose it can be, and what will
// become of it.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "terminal_text.h"

// The rooms and groups a name's digits can stand for: room and group are written one
// after the other in plain decimal, so "123" is room 1 group 23 or room 12 group 3.
std::vector<std::pair<int, int>> room_readings(std::string_view digits);

// Lists the answer files on `out`, one line each; 0, or 1 when the directory cannot be
// listed or the output written (the reason on `err`).
int list_rooms(std::FILE* out, std::FILE* err, TerminalText& shown);
