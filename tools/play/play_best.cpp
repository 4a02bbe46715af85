#include "play_best.h"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "data_file.h"
#include "handles.h"
#include "replace_file.h"

namespace play {

namespace {

constexpr std::size_t kMaxTypes = 1000;  // more word types than any index lists

// Every directory leading to `path`'s file, made private to the user where missing.
int make_parents(const std::string& path) {
  for (std::size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1)) {
    const std::string dir = path.substr(0, at);
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return errno;
  }
  return 0;
}

}  // namespace

std::string best_path() {
  const char* state = std::getenv("XDG_STATE_HOME");
  std::string base;
  if (state && state[0] == '/') {
    base = state;
  } else if (const char* home = std::getenv("HOME"); home && home[0] != '\0') {
    base = std::string(home) + "/.local/state";
  } else {
    return "";
  }
  return base + "/bbs-tools/play-best";
}

Best record_best(const std::string& path, const std::string& type, std::int32_t speed) {
  Best best;
  std::vector<std::pair<std::string, std::int32_t>> kept;
  if (File in = open_data_stream(path.c_str())) {
    std::array<char, 256> line;
    while (kept.size() < kMaxTypes && std::fgets(line.data(), line.size(), in.get())) {
      std::array<char, 100> name{};
      long value = 0;
      // A line that is not one of ours, or a type twice, is left out of the new file.
      if (std::sscanf(line.data(), "%99s %ld", name.data(), &value) != 2 || value <= 0 ||
          value > INT32_MAX)
        continue;
      bool seen = false;
      for (const auto& k : kept) seen = seen || k.first == name.data();
      if (!seen) kept.emplace_back(name.data(), static_cast<std::int32_t>(value));
    }
  } else if (errno != ENOENT) {
    best.error = errno;
    return best;
  }
  bool listed = false;
  for (auto& [name, value] : kept) {
    if (name != type) continue;
    listed = true;
    best.before = value;
    if (speed > value) value = speed;
  }
  if (speed <= best.before) return best;
  if (!listed) kept.emplace_back(type, speed);
  std::string text;
  for (const auto& [name, value] : kept) text += name + " " + std::to_string(value) + "\n";
  best.error = make_parents(path);
  if (!best.error) best.error = replace_file(path.c_str(), text, creation_mode(), true);
  best.is_new = best.error == 0;
  return best;
}

}  // namespace play
