// What a program of this suite may change on the machine: it runs as the server's user,
// who can usually write the whole BBS tree, every user's files and every terminal, so
// each program gives up, at its start, every write and every program it does not need.
// One fault in a reader of operator or server data then cannot become a write anywhere.
#pragma once

#include <initializer_list>

// Where the terminals of the users are: a write to one opens /dev/<its name>.
inline constexpr const char* kTerminalDevices = "/dev";

struct Confinement {
  // Directory trees where files and directories may be created, written, truncated,
  // removed and renamed.
  std::initializer_list<const char*> trees = {};
  // Trees whose existing files may be opened for writing, and nothing more.
  std::initializer_list<const char*> devices = {};
  // The programs that may be started, named as the shell finds them: a name with a slash
  // as it is, any other through PATH. Each may start its own interpreter, nothing else.
  std::initializer_list<const char*> programs = {};
};

// Restricts this process, and every process it starts, to `allowed` for good; reading
// stays open everywhere, because operators link word lists and upload areas to other
// disks. The trees are taken as they resolve now, so a tree that is a symbolic link to
// another disk works. Best effort: on a kernel without Landlock, or with it disabled, or
// when any part cannot be allowed (a tree that is missing, a program that is not there),
// nothing is restricted at all and the program runs as it always has. Leaves errno as it
// found it. True when the restriction is in force.
bool confine(const Confinement& allowed);
