// The person's best speed in each word type, kept between plays in the user's state
// directory, so a round can say whether it beat the last ones.
#pragma once

#include <cstdint>
#include <string>

namespace play {

// $XDG_STATE_HOME/bbs-tools/play-best, or ~/.local/state/bbs-tools/play-best when
// XDG_STATE_HOME is unset, empty or not absolute (as the base directory rules say);
// empty when HOME does not say where home is either.
std::string best_path();

struct Best {
  std::int32_t before = 0;  // strokes a minute; 0 when the type has none yet
  bool is_new = false;      // this round's speed beat it and is kept now
  int error = 0;            // why the new best could not be kept
};

// Looks up the best of `type` in the file at `path` (lines "<word type> <strokes a
// minute>"), and when `speed` beats it, replaces the file whole with the new best in
// its line, the other types' lines as they were. Its directories are made as needed,
// private to the user; the file gets the programs' creation mode.
Best record_best(const std::string& path, const std::string& type, std::int32_t speed);

}  // namespace play
