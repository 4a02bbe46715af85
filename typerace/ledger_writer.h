// Writing the ledger: a finisher's line appended to the month's file, whole or not at all.
#pragma once

#include <ctime>
#include <string_view>

// Appends `line` to the file at `path` whole or not at all, creating the file when it is
// missing. A write cut short (full disk, file-size limit) is taken back, so the file never
// ends in a fragment that the next line would be glued to. False when nothing was added.
bool append_whole_line(const char* path, std::string_view line);

// Appends one finisher's line to the month's ledger, whole or not at all; a ledger that
// can't be written loses the line silently.
void jumsu_save(const char* user, int group, const std::tm& when, const char* type, int pick,
                int elapsed, int rank, int speed);
