// `typeadmin check`: the working directory's setup read as the round programs, bigclock
// and typescore read it, with every problem they would meet named where it lies.
#pragma once

#include <cstdio>

#include "terminal_text.h"

// Prints one line per problem on `out` (FILE:LINE: what, or FILE: what), then their
// number. 0 with no problem, 1 with any, or when the output could not be written (the
// reason on `err`).
int check_setup(std::FILE* out, std::FILE* err, TerminalText& shown);
