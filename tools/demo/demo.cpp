// One round of the typing race on the shipped sample data, played out in a scratch
// working directory: three players and a bystander on pseudo-terminals, the server's
// chat engine stood in for, then what every terminal received and the ledger lines.

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "harness.h"
#include "round_names.h"

#ifndef BBS_SOURCE_DIR
#error "BBS_SOURCE_DIR must name the source tree"
#endif

namespace fs = std::filesystem;

namespace {

bool utf8_locale = false;

// Shows EUC-KR bytes as the person running the demo can read them; the bytes on the
// wire are not changed by this.
std::string readable(const std::string& bytes) {
  return utf8_locale ? harness::euckr_to_utf8(bytes) : bytes;
}

// Splits what a terminal received into its announcements: each one is framed by
// "save cursor, go to row 21, line feed, indent" and "restore cursor".
std::vector<std::string> announcements(const std::string& got) {
  std::vector<std::string> out;
  const std::string head = "\x1b[s\x1b[21;1H\n";
  const std::string tail = "\x1b[u";
  std::size_t pos = 0;
  while ((pos = got.find(head, pos)) != std::string::npos) {
    std::size_t start = pos + head.size();
    while (start < got.size() && (got[start] == '\t' || got[start] == ' ')) ++start;
    std::size_t end = got.find(tail, start);
    if (end == std::string::npos) end = got.size();
    std::string text = got.substr(start, end - start);
    // Reverse video stays visible as brackets even where the output is a file.
    for (auto [from, to] : {std::pair<std::string, std::string>{"\x1b[7m", "[ "}, {"\x1b[m", " ]"}})
      for (std::size_t at; (at = text.find(from)) != std::string::npos;)
        text.replace(at, from.size(), to);
    while (!text.empty() && text.back() == '\n') text.pop_back();
    out.push_back(text);
    pos = end;
  }
  return out;
}

// Sixteen bytes a line, so the dump fits an 80-column terminal.
void print_hex(const std::string& bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::printf("%s%02X", i % 16 == 0 ? "\n  " : " ", static_cast<unsigned char>(bytes[i]));
  }
  std::printf("\n");
}

struct Player {
  const char* id;
  int group;
  int finish_after;  // seconds after the word appears; -1 never finishes
  harness::Pty tty;
  std::string got;
};

constexpr int kRoom = 3, kGroup = 1;

// The players in the room's roster, and the finishers the chat engine records for them.
std::vector<harness::Finisher> seat(const harness::Scratch& bbs, Player (&players)[4]) {
  std::vector<harness::RosterEntry> roster;
  std::vector<harness::Finisher> finishers;
  for (auto& p : players) roster.push_back({p.group, p.tty.name()});
  for (auto& p : players)
    if (p.finish_after >= 0) finishers.push_back({p.finish_after, p.id});
  std::sort(finishers.begin(), finishers.end(),
            [](const auto& a, const auto& b) { return a.delay_s < b.delay_s; });
  harness::write_roster(bbs, kRoom, roster);
  return finishers;
}

void introduce(const harness::Scratch& bbs, Player (&players)[4]) {
  if (!utf8_locale) std::printf("%s\n\n", harness::raw_korean_hint("make demo").c_str());
  std::printf("Working directory: %s (removed at the end)\n", bbs.path().c_str());
  std::printf("Room %d, group %d, word type \"short\" (5 s limit). Players:\n", kRoom, kGroup);
  for (auto& p : players)
    std::printf("  %-8s on /dev/%s, group %d%s\n", p.id, p.tty.name().c_str(), p.group,
                p.finish_after < 0 ? ", watching" : "");
  std::printf("\nRunning: typerace demo %d %d short\n\n", kGroup, kRoom);
  std::fflush(stdout);
}

// Follows the first player's terminal live while the round runs; returns the number of
// its announcements shown.
std::size_t follow_live(Player (&players)[4]) {
  auto t0 = std::chrono::steady_clock::now();
  std::size_t shown = 0;
  for (;;) {
    std::vector<pollfd> fds;
    for (auto& p : players) fds.push_back({p.tty.master(), POLLIN, 0});
    poll(fds.data(), fds.size(), 100);
    for (auto& p : players) p.got += p.tty.drain(1, 20);
    auto lines = announcements(players[0].got);
    for (; shown < lines.size(); ++shown) {
      double at = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      std::printf("  [%5.2f s] %s sees: %s\n", at, players[0].id, readable(lines[shown]).c_str());
      std::fflush(stdout);
    }
    if (std::strstr(players[0].got.c_str(), "\xC5\xB8/\xBA\xD0") &&
        lines.size() >= 13)  // the ranking has arrived in full
      break;
    if (std::chrono::steady_clock::now() - t0 > std::chrono::seconds(30)) break;
  }
  return shown;
}

// What every terminal received, the first announcement's bytes, the ledger and the
// files the round left.
void report(const harness::Scratch& bbs, Player (&players)[4]) {
  for (auto& p : players) {
    auto ann = announcements(p.got);
    std::printf("/dev/%s (%s): %zu bytes, %zu announcements%s\n", p.tty.name().c_str(), p.id,
                p.got.size(), ann.size(), ann.empty() ? " - another group hears nothing" : "");
  }
  std::string first = players[0].got.substr(0, players[0].got.find("\x1b[u") + 3);
  std::printf("\nThe first announcement as it went over the wire (EUC-KR):");
  print_hex(first);

  std::printf("\nScore ledger (user/score/):\n");
  for (const auto& e : fs::directory_iterator(bbs.file("user/score"))) {
    std::printf("  %s\n", e.path().filename().c_str());
    std::string text = bbs.read("user/score/" + e.path().filename().string()).value_or("");
    std::size_t at = 0;
    for (std::size_t nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1)
      std::printf("    |%s|\n", readable(text.substr(at, nl - at)).c_str());
  }
  RoundPath answer, results;
  answer_path(kRoom, kGroup, answer);
  results_path(kRoom, kGroup, results);
  std::printf("\nAnswer file left behind: %s; results file left behind: %s\n",
              bbs.exists(answer.data()) ? "yes" : "no", bbs.exists(results.data()) ? "yes" : "no");
}

}  // namespace

int main() {
  std::setlocale(LC_ALL, "");
  utf8_locale = harness::utf8_locale();

  harness::Scratch bbs;
  fs::copy(fs::path(BBS_SOURCE_DIR) / "sample/frm/typegame", bbs.file("frm/typegame"),
           fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  Player players[] = {{"minsu", kGroup, 1, {}, {}},
                      {"jiyoung", kGroup, 3, {}, {}},
                      {"seojun", kGroup, 2, {}, {}},
                      {"hana", 2, -1, {}, {}}};  // in the room, but in another group
  const std::vector<harness::Finisher> finishers = seat(bbs, players);
  introduce(bbs, players);

  harness::ChatEngine engine(bbs, kRoom, kGroup, finishers);
  harness::Proc round(harness::program("typerace"),
                      {"demo", std::to_string(kGroup), std::to_string(kRoom), "short"}, bbs.path());
  std::size_t shown = follow_live(players);
  auto result = round.wait(30000);
  engine.join();
  for (auto& p : players) p.got += p.tty.drain(50, 500);
  auto lines = announcements(players[0].got);
  for (; shown < lines.size(); ++shown)
    std::printf("            %s sees: %s\n", players[0].id, readable(lines[shown]).c_str());

  std::printf("\ntyperace ended with status %d.\n\n", result.status);
  report(bbs, players);
  return result.status == 0 ? 0 : 1;
}
