#include "play_room.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>

#include "game_files.h"
#include "round.h"

namespace play {

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

constexpr char TXT_RESULTS[] = "\xB0\xE1\xB0\xFA\xB8\xA6 \xC3\xE2\xB7\xC2\xC7\xD5\xB4\xCF\xB4\xD9";
constexpr char FMT_RANK[] = "%d \xB5\xEE   %d \xC3\xCA   %s   %d \xC5\xB8/\xBA\xD0";
constexpr char TXT_NO_RESULTS[] = "\xB0\xE1\xB0\xFA\xB0\xA1 \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.TT";

std::string slurp(const std::string& path) {
  std::string out;
  if (File f{std::fopen(path.c_str(), "rb")}) {
    char buf[512];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f.get())) > 0;) out.append(buf, n);
  }
  return out;
}

}  // namespace

RoundPlan plan_round(const std::string& dir, const char* type) {
  RoundPlan plan;
  IndexLookup idx;
  if (File index{std::fopen((dir + "/frm/typegame/data.txt").c_str(), "r")})
    find_word_type(index.get(), type, idx);
  if (idx.file[0] != '\0') {
    plan.limit = idx.limit;
    plan.list = std::string("frm/typegame/") + idx.file.data();
  }
  return plan;
}

std::int32_t strokes_of(const std::string& dir, const RoundPlan& plan, std::string_view word) {
  if (plan.list.empty()) return 0;
  File list{std::fopen((dir + "/" + plan.list).c_str(), "r")};
  if (!list) return 0;
  std::int32_t strokes = 0;
  std::array<char, 200> w{};
  while (read_word_record(list.get(), &strokes, w.data(), w.size()) >= 2)
    if (word == w.data()) return strokes;
  return 0;
}

std::vector<Rival> rivals_for(std::int32_t limit) {
  std::vector<Rival> out;
  const std::pair<const char*, int> shares[] = {{"minsu", 35}, {"jiyoung", 55}, {"seojun", 80}};
  for (auto [id, percent] : shares) {
    long delay = (static_cast<long>(limit) * percent + 50) / 100;
    out.push_back({id, static_cast<int>(delay < 1 ? 1 : delay)});
  }
  return out;
}

ChatStandIn::ChatStandIn(std::string dir, int room, int group, std::string player,
                         std::vector<Rival> rivals)
    : player_(std::move(player)), rivals_(std::move(rivals)) {
  std::string rg = std::to_string(room) + std::to_string(group);
  answer_ = dir + "/frm/typegame/taja." + rg;
  results_ = dir + "/frm/typegame/chatmess." + rg;
}

std::string ChatStandIn::current_word() const { return slurp(answer_); }

void ChatStandIn::finish(const std::string& id, std::time_t now) const {
  char line[64];
  int n = std::snprintf(line, sizeof line, "%lld %s typed\n", static_cast<long long>(now), id.c_str());
  if (n <= 0 || n >= static_cast<int>(sizeof line)) return;
  int fd = open(results_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd < 0) return;
  ssize_t w = write(fd, line, static_cast<size_t>(n));
  (void)w;
  close(fd);
}

void ChatStandIn::tick(std::time_t now) {
  std::string w = current_word();
  if (w.empty()) return;
  if (!word_out()) {
    word_ = w;
    word_time_ = now;
  }
  for (auto& r : rivals_) {
    if (!r.done && now >= word_time_ + r.delay_s) {
      r.done = true;
      finish(r.id, now);
    }
  }
}

ChatStandIn::Typed ChatStandIn::typed(std::string_view line, std::time_t now) {
  std::string w = current_word();
  if (w.empty()) return Typed::NotYet;
  if (player_done_) return Typed::AlreadyFinished;
  if (line != w) return Typed::Missed;
  // Rivals due by now finished first; their lines go before the person's.
  tick(now);
  player_done_ = true;
  finish(player_, now);
  return Typed::Finished;
}

std::vector<std::string> ranking(const std::string& results_path, std::time_t start,
                                 std::int32_t strokes) {
  std::vector<std::string> out;
  File results{std::fopen(results_path.c_str(), "r")};
  if (!results) {
    out.emplace_back(TXT_NO_RESULTS);
    return out;
  }
  out.emplace_back(TXT_RESULTS);
  std::array<char, 2048> line;
  int rank = 0;
  while (std::fgets(line.data(), line.size(), results.get())) {
    if (!std::strchr(line.data(), '\n')) {
      int c;
      do c = std::getc(results.get());
      while (c != '\n' && c != EOF);
    }
    ResultLine fin;
    if (!parse_result_line(line.data(), fin)) continue;
    long long diff = fin.finish - static_cast<long long>(start);
    int elapsed = diff > INT32_MAX ? INT32_MAX : diff < INT32_MIN ? INT32_MIN : static_cast<int>(diff);
    std::array<char, kMessageSize> text;
    std::snprintf(text.data(), text.size(), FMT_RANK, ++rank, elapsed, fin.user.data(),
                  typing_speed(strokes, elapsed));
    out.emplace_back(text.data());
  }
  return out;
}

}  // namespace play
