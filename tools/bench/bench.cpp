// Figures for one typerace round, measured on the built program against real
// pseudo-terminals: CPU use over a round, how late countdown lines arrive after the
// wall clock's second turns, and how long one announcement takes to reach 100 terminals.

#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "harness.h"
#include "round.h"
#include "targets.h"
#include "terminals.h"
#include "tty.h"

namespace {

void prepare(const harness::Scratch& dir) {
  dir.write("frm/typegame/data.txt", "short 5 short.lst\n");
  dir.write("frm/typegame/short.lst", "5 hello\n5 hello\n5 hello\n");
}

bench::Followed round_in(int room, int terminals) {
  harness::Scratch dir;
  prepare(dir);
  bench::Terminals ttys = bench::room_of(dir, room, terminals);
  return bench::follow_round(
      dir, ttys, {harness::program("typerace"), "bench", "1", std::to_string(room), "short"});
}

// CPU, three players.
void cpu_of_a_round() {
  const bench::Followed f = round_in(4, 3);
  const double cpu = bench::seconds(f.usage.ru_utime) + bench::seconds(f.usage.ru_stime);
  const double wall = f.wall;
  bench::figure(
      cpu < 0.01 * wall,
      "  CPU (program and its touch commands): %.3f s over %.2f s wall = %.3f%%  (target < 1%%)",
      cpu, wall, 100.0 * cpu / wall);
}

// First to last terminal, for each announcement that reached them all.
std::vector<double> fan_out_spans(const std::vector<std::vector<bench::Arrival>>& seen) {
  std::vector<double> spans;
  for (std::size_t k = 0; k < seen[0].size(); ++k) {
    double first = 1e18, last = 0;
    bool all = true;
    for (const auto& t : seen) {
      if (t.size() <= k) {
        all = false;
        break;
      }
      first = std::min(first, t[k].at);
      last = std::max(last, t[k].at);
    }
    if (all) spans.push_back(last - first);
  }
  if (getenv("BENCH_VERBOSE"))
    for (double s : spans) std::printf("    span %.2f ms\n", s * 1000);
  std::sort(spans.begin(), spans.end());
  return spans;
}

// Countdown lag and fan-out, 100 terminals. False when no announcement reached them all.
bool lag_and_fan_out() {
  const auto seen = round_in(5, 100).seen;
  std::printf("  countdown lines, 100 terminals:\n");
  bench::print_countdown_lag(seen);
  const std::vector<double> spans = fan_out_spans(seen);
  if (spans.empty()) {
    std::printf("  100 terminals: no announcement reached them all\n");
    return false;
  }
  const double median = spans[spans.size() / 2];
  bench::figure(
      median < 0.005,
      "  one announcement to 100 terminals, first to last, as they receive it: median %.2f ms, worst %.2f ms over %zu announcements  (target: median < 5 ms)",
      median * 1000, spans.back() * 1000, spans.size());
  return true;
}

// The same fan-out timed at the writer, which a busy reader can't blur: the write loop
// of the broadcast over 100 terminals, from the first write to the end of the last.
void fan_out_at_the_writer() {
  bench::Terminals ttys;
  for (int i = 0; i < 100; ++i) ttys.push_back(std::make_unique<harness::Pty>());
  std::array<char, kMessageSize> framed;
  frame_announcement("<3>", framed);
  std::vector<double> spans;
  for (int round = 0; round < 50; ++round) {
    auto t0 = std::chrono::steady_clock::now();
    for (auto& t : ttys) to_tty2(t->name().c_str(), framed.data());
    spans.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    for (auto& t : ttys) t->drain(0, 0);
  }
  std::sort(spans.begin(), spans.end());
  const double median = spans[spans.size() / 2];
  bench::figure(
      median < 0.005,
      "  the same, timed at the writer: median %.2f ms, worst %.2f ms over %zu announcements  (target: median < 5 ms)",
      median * 1000, spans.back() * 1000, spans.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (!bench::parse_options(argc, argv)) return 2;
  std::printf("typerace: one round, 5 s countdown plus a 5 s limit\n");
  cpu_of_a_round();
  if (!lag_and_fan_out()) return 1;
  fan_out_at_the_writer();
  return bench::finish("typerace");
}
