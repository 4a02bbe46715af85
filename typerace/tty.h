// Writing straight to a user's terminal: which devices may be written, and how.
#pragma once

#include <sys/stat.h>

// Writes text to /dev/<name> in one write. Opened non-blocking, so a terminal nobody
// reads never holds up the round, and written only when it is a terminal, so a roster
// entry can never reach a plain file or some other device. A terminal too full to take
// an announcement whole gets none of it; one whose write comes back short gets the rest
// at once (write_all). Failures are ignored. Always 1.
int to_tty2(const char* name, const char* text);

// A device an announcement may be opened on, judged before it is opened: a character
// device, but never the pseudo-terminal multiplexer (opening it makes a new terminal)
// nor the alias of whatever terminal the opener has.
bool tty_node_ok(const struct stat& st);

// An open descriptor that is a terminal device: the only kind an announcement may reach.
bool tty_device_ok(int fd);
