#include "round_names.h"

namespace {

template <std::size_t N>
bool fits(int n, const std::array<char, N>& out) {
  return n > 0 && static_cast<std::size_t>(n) < out.size();
}

}  // namespace

bool answer_path(int room, int group, RoundPath& out) {
  return fits(std::snprintf(out.data(), out.size(), "%s%s%d%d", GAME_DIR, ANSWER_STEM, room, group),
              out);
}

bool results_path(int room, int group, RoundPath& out) {
  return fits(std::snprintf(out.data(), out.size(), "%schatmess.%d%d", GAME_DIR, room, group), out);
}

void roster_path(int room, std::array<char, 200>& out) {
  std::snprintf(out.data(), out.size(), "user/chat/rm_%02d.all", room);
}

void fallback_list_path(int k, std::array<char, 32>& out) {
  std::snprintf(out.data(), out.size(), "%sdata%2d,dat", GAME_DIR, k);
}

int list_path(const char* file, char* out, std::size_t size) {
  return std::snprintf(out, size, "%s%s", GAME_DIR, file);
}

void ledger_path(const std::tm& when, std::array<char, 64>& out) {
  std::snprintf(out.data(), out.size(), "user/score/type%d%d.dat", when.tm_year % 100,
                when.tm_mon + 1);
}
