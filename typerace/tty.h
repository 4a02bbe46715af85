// Writing straight to a user's terminal, and the pacing of announcements.
#pragma once

#include <cstddef>
#include <ctime>
#include <string_view>

// Writes text to /dev/<name> in one write. Opened non-blocking, so a terminal nobody
// reads never holds up the round, and written only when it is a terminal, so a roster
// entry can never reach a plain file or some other device. Failures are ignored.
// Always 1.
int to_tty2(const char* name, const char* text);

// An open descriptor that is a terminal device: the only kind an announcement may reach.
bool tty_device_ok(int fd);

// The length of the longest head of text, at most max bytes, that does not end inside
// a two-byte EUC-KR character.
std::size_t fit_text(std::string_view text, std::size_t max);

// Sleeps until time() has moved past `seen`, a second read from time() earlier. A second
// that turned between that reading and this call is not slept through.
void sleep_past_second(std::time_t seen);
