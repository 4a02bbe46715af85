// Reading the players' terminals: one thread reads every terminal that is not stalled and
// splits what arrives into frames, which are judged as they come; the watcher's frames
// are kept for its lane, and the spread of one announcement over a lane is noted.
#pragma once

#include <string_view>
#include <vector>

#include "soak.h"

namespace soak {

// Reads until screens.stop; `lanes` get their watcher's log and their bursts.
void reader_loop(std::vector<Lane>& lanes);

// Waits until the reader has gone over every terminal twice, so what was written before
// now has been read, and a terminal marked stalled before now is no longer touched.
void wait_for_reader();

// Every terminal read to its end, and what is left open judged as cut. Called once the
// reader has stopped.
void read_to_the_end();

}  // namespace soak
