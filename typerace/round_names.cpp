#include "round_names.h"

namespace {

template <std::size_t N>
bool fits(int n, const std::array<char, N>& out) {
  return n > 0 && static_cast<std::size_t>(n) < out.size();
}

}  // namespace

bool answer_path(int room, int group, RoundPath& out) {
  return fits(
      std::snprintf(out.data(), out.size(), "%s/%s%d%d", GAME_DIR, ANSWER_STEM, room, group), out);
}

bool results_path(int room, int group, RoundPath& out) {
  return fits(std::snprintf(out.data(), out.size(), "%s/chatmess.%d%d", GAME_DIR, room, group),
              out);
}

void roster_path(int room, std::array<char, 200>& out) {
  std::snprintf(out.data(), out.size(), "user/chat/rm_%02d.all", room);
}

void fallback_list_name(int k, std::array<char, 16>& out) {
  std::snprintf(out.data(), out.size(), "data%2d,dat", k);
}

void fallback_list_path(int k, std::array<char, 32>& out) {
  std::array<char, 16> name;
  fallback_list_name(k, name);
  std::snprintf(out.data(), out.size(), "%s/%s", GAME_DIR, name.data());
}

int list_path(const char* file, char* out, std::size_t size) {
  return std::snprintf(out, size, "%s/%s", GAME_DIR, file);
}

void ledger_path(const std::tm& when, std::array<char, 64>& out) {
  std::snprintf(out.data(), out.size(), "user/score/type%d%d.dat", when.tm_year % 100,
                when.tm_mon + 1);
}
