// How a benchmark holds its figures to their targets: each figure is printed beside its
// target and marked MISSED when it falls short; at the end the misses are counted, and
// they end the benchmark with a failure only when it was asked to be strict.
#pragma once

namespace bench {

// Reads the benchmark's options (only --strict); false, after a message, for others.
bool parse_options(int argc, char** argv);

// Prints the figure's line as printf would, then " MISSED" when `met` is false, then the
// end of the line; counts the miss. Returns `met`.
[[gnu::format(printf, 2, 3)]] bool figure(bool met, const char* format, ...);

// Closes the report: how many targets were missed; the status to end with (1 for a miss
// only under --strict).
int finish(const char* name);

}  // namespace bench
