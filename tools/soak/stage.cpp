// The stage the rounds are played on: the scratch working directory, its game files and
// rosters, and the clocks the run keeps time by.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "round_names.h"
#include "soak.h"

namespace soak {

Screens screens;
Env env;
std::unique_ptr<harness::Scratch> bbs;

namespace {

double clock_s(clockid_t id) {
  timespec ts;
  clock_gettime(id, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void write_atomically(const std::string& rel, const std::string& bytes) {
  std::string tmp = bbs->file(rel + ".soak");
  bbs->write(rel + ".soak", bytes);
  std::rename(tmp.c_str(), bbs->file(rel).c_str());
}

}  // namespace

double mono() { return clock_s(CLOCK_MONOTONIC); }
double wall() { return clock_s(CLOCK_REALTIME); }

void sleep_until_mono(double t) {
  double left = t - mono();
  if (left > 0) std::this_thread::sleep_for(std::chrono::duration<double>(left));
}

void sleep_until_wall(double t) {
  while (wall() < t) std::this_thread::sleep_for(std::chrono::duration<double>(t - wall()));
}

long env_number(const char* name, long fallback) {
  const char* v = std::getenv(name);
  if (v == nullptr || *v == '\0') return fallback;
  return std::strtol(v, nullptr, 10);
}

std::string printable(std::string_view bytes) {
  std::string out;
  for (unsigned char c : harness::euckr_to_utf8(bytes.substr(0, 120))) {
    if (c < 0x20 || c == 0x7f) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

std::string answer_rel(int room, int group) {
  RoundPath p;
  answer_path(room, group, p);
  return p.data();
}

std::string results_rel(int room, int group) {
  RoundPath p;
  results_path(room, group, p);
  return p.data();
}

std::string roster_rel(int room) {
  std::array<char, 200> p;
  roster_path(room, p);
  return p.data();
}

void write_roster(Room& room) {
  std::vector<harness::RosterEntry> entries;
  for (Lane* lane : room.lanes) {
    entries.push_back({lane->group, lane->watcher->pty->name()});
    for (Term* p : lane->players)
      if (p->in_roster) entries.push_back({lane->group, p->pty->name()});
  }
  write_atomically(roster_rel(room.number), harness::roster_bytes(entries));
}

void prepare_game_files() {
  std::string index;
  const std::string korean[] = {harness::utf8_to_euckr("타자"), harness::utf8_to_euckr("바람"),
                                harness::utf8_to_euckr("하늘과바다")};
  const std::string dir = std::string(GAME_DIR) + "/";
  for (std::size_t i = 0; i < kTypes.size(); ++i) {
    std::string list = std::string(kTypes[i].name) + ".lst";
    index +=
        std::string(kTypes[i].name) + " " + std::to_string(kTypes[i].limit) + " " + list + "\n";
    bbs->write(dir + list, "5 hello\n4 " + korean[i] + "\n6 soaked\n");
  }
  index += std::string(kFifoType.name) + " " + std::to_string(kFifoType.limit) + " " +
           kFifoType.name + ".lst\n";
  bbs->fifo(dir + kFifoType.name + ".lst");
  bbs->write(INDEX_PATH, index);
}

}  // namespace soak
