#include "terminals.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>

#include "tally.h"

namespace soak {

namespace {

void note_fan_out(Lane& lane, const std::string& text, double at) {
  for (auto& b : lane.bursts)
    if (b.text == text && at - b.first < 1.0) {
      b.last = std::max(b.last, at);
      ++b.count;
      return;
    }
  lane.bursts.push_back({text, at, at, 1});
}

void take_frames(Term& t, const std::vector<Frame>& got, double at, double real) {
  for (const auto& f : got) {
    switch (f.kind) {
      case Frame::Whole:
        check(kFrames, true);
        if (at - t.resumed_at > 0.5) note_fan_out(*t.lane, f.text, at);
        if (t.watcher) t.lane->log.push_back({f.text, at, real});
        break;
      case Frame::Cut:
        check(kFrames, false,
              "room " + std::to_string(t.lane->room) + " group " + std::to_string(t.lane->group) +
                  " /dev/" + t.pty->name() + ": cut frame " + printable(f.text));
        break;
      case Frame::Garbled:
      case Frame::Stray:
        check(kFrames, false, "/dev/" + t.pty->name() + ": not a frame: " + printable(f.text));
        break;
    }
  }
}

// Feeds bytes read from a terminal, after the filler the soak put there itself.
void take_bytes(Term& t, std::string_view bytes, double at, double real) {
  std::size_t skip = std::min(t.filler_left, bytes.size());
  t.filler_left -= skip;
  bytes.remove_prefix(skip);
  std::vector<Frame> got;
  t.frames.feed(bytes, got);
  take_frames(t, got, at, real);
}

std::string read_some(int fd) {
  std::string got;
  char buf[8192];
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) got.append(buf, static_cast<size_t>(n));
  return got;
}

// The spread of each announcement over a lane's terminals, once it is two seconds old.
void count_bursts(std::vector<Lane>& lanes, double now) {
  for (auto& lane : lanes)
    while (!lane.bursts.empty() && now - lane.bursts.front().first > 2.0) {
      const Burst& b = lane.bursts.front();
      if (b.count > 1) {
        std::lock_guard tl(tally.mu);
        tally.spans.push_back(b.last - b.first);
      }
      lane.bursts.pop_front();
    }
}

// One look at every terminal that is not stalled.
void sweep(std::vector<Lane>& lanes, std::vector<pollfd>& fds, std::vector<Term*>& polled) {
  fds.clear();
  polled.clear();
  {
    std::lock_guard lock(screens.mu);
    for (auto& t : screens.terms)
      if (!t->stalled) {
        fds.push_back({t->pty->master(), POLLIN, 0});
        polled.push_back(t.get());
      }
  }
  poll(fds.data(), fds.size(), 50);
  std::vector<std::string> got(fds.size());
  std::vector<double> at(fds.size());
  for (std::size_t i = 0; i < fds.size(); ++i)
    if (fds[i].revents & POLLIN) {
      got[i] = read_some(fds[i].fd);
      at[i] = mono();
    }
  double real = wall(), now = mono();
  std::lock_guard lock(screens.mu);
  for (std::size_t i = 0; i < fds.size(); ++i)
    if (!got[i].empty()) take_bytes(*polled[i], got[i], at[i], real - (now - at[i]));
  count_bursts(lanes, now);
  ++screens.sweeps;
  screens.swept.notify_all();
}

}  // namespace

void reader_loop(std::vector<Lane>& lanes) {
  std::vector<pollfd> fds;
  std::vector<Term*> polled;
  while (!screens.stop) sweep(lanes, fds, polled);
}

void wait_for_reader() {
  std::unique_lock lock(screens.mu);
  long target = screens.sweeps + 2;
  screens.swept.wait(lock, [&] { return screens.sweeps >= target || screens.stop; });
}

void read_to_the_end() {
  std::lock_guard lock(screens.mu);
  double at = mono(), real = wall();
  for (auto& t : screens.terms) {
    take_bytes(*t, read_some(t->pty->master()), at, real);
    std::vector<Frame> got;
    t->frames.finish(got);
    take_frames(*t, got, at, real);
  }
}

}  // namespace soak
