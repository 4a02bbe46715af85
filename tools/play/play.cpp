// A round of the typing race played by the person at this terminal, against simulated
// rivals, in a scratch working directory on the sample data. This program stands in for
// the server: it lists the person's pseudo-terminal in the room's roster, relays what
// the round program writes there to the real terminal, and plays the chat engine that
// records who typed the word.
//
//   play [--type <word type>] [--typestart] [--name <user id>]
//
// At the end it sums the round up for the person, keeps their best speed in their state
// directory and offers another round.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli.h"
#include "harness.h"
#include "play_best.h"
#include "play_io.h"
#include "play_room.h"
#include "round.h"

#ifndef BBS_SOURCE_DIR
#error "BBS_SOURCE_DIR must name the source tree"
#endif

namespace fs = std::filesystem;

namespace {

constexpr int kRoom = 3, kGroup = 1;
// The round programs announce on row 21 and then a line feed; with the scrolling region
// ending there, each announcement scrolls the room's lines up, as in the server's chat.
constexpr int kRegionEnd = 21, kStatusRow = 22, kPromptRow = 23;

struct Options {
  std::string type = "english";
  bool typestart = false;
  std::string name = "you";
};

constexpr char kUsage[] =
    "Usage: play [--type <word type>] [--typestart] [--name <user id>]\n"
    "  --type       word type from the sample index: short, proverb or english (default english)\n"
    "  --typestart  start the round with typestart; this program then waits, ranks and clears\n"
    "               up as the server does\n"
    "  --name       your user id in the ranking, 1 to 8 letters or digits (default you)\n"
    "Your best speed in each word type is kept in $XDG_STATE_HOME/bbs-tools/play-best\n"
    "(~/.local/state/bbs-tools/play-best when XDG_STATE_HOME is not set).\n";

bool parse(int argc, char** argv, Options& opt) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--typestart") {
      opt.typestart = true;
    } else if ((a == "--type" || a == "--name") && i + 1 < argc) {
      (a == "--type" ? opt.type : opt.name) = argv[++i];
    } else {
      return false;
    }
  }
  // Both end up as tokens of whitespace-separated files, and the id in a 9-byte field.
  if (opt.type.empty() || opt.type.size() > 99) return false;
  for (char c : opt.type)
    if (static_cast<unsigned char>(c) <= ' ') return false;
  if (opt.name.empty() || opt.name.size() > 8) return false;
  for (char c : opt.name)
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  return true;
}

// What leaves play mode at once, the round stopped and the terminal put back.
constexpr std::array kLeavingSignals = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
volatile sig_atomic_t got_signal = 0;
void on_signal(int sig) { got_signal = sig; }
volatile sig_atomic_t resized = 0;
void on_resize(int) { resized = 1; }

winsize terminal_size() {
  winsize ws{};
  ioctl(1, TIOCGWINSZ, &ws);
  return ws;
}

void write_all(int fd, std::string_view s) {
  while (!s.empty()) {
    ssize_t n = write(fd, s.data(), s.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    s.remove_prefix(static_cast<size_t>(n));
  }
}

// A part of the status bar; when the bar is wider than the terminal, the parts of the
// least weight are left out first.
struct StatusPart {
  std::string text;
  int weight;
};

// The real terminal for the length of a round: keys arrive one by one and unechoed, and
// Ctrl-C is an ordinary key, so it ends the round here instead of interrupting make;
// the room's lines scroll above a status bar and the line being typed, each cut to the
// terminal's width, so none wraps into the next. Everything is put back on destruction.
class Screen {
 public:
  // How an announcement is shown; the log keeps it as it came, so a redraw shows it again.
  using Decorate = std::function<std::string(const std::string&)>;

  Screen(const winsize& ws, std::vector<StatusPart> status, Decorate decorate)
      : status_(std::move(status)), decorate_(std::move(decorate)) {
    tcgetattr(0, &saved_);
    termios raw = saved_;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
    raw.c_iflag &= ~static_cast<tcflag_t>(IXON);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(0, TCSADRAIN, &raw);
    redraw(ws);
  }
  ~Screen() {
    out("\x1b[m\x1b[r\x1b[" + std::to_string(kStatusRow) + ";1H\x1b[J");
    tcsetattr(0, TCSADRAIN, &saved_);
  }
  Screen(const Screen&) = delete;
  Screen& operator=(const Screen&) = delete;

  // What the round program wrote to the person's terminal, made readable; returns the
  // announcements it completed.
  std::vector<std::string> room(std::string_view bytes) {
    std::vector<std::string> done = log_.feed(bytes);
    for (const auto& frame : done)
      if (fits_) out(play::cut_to_width(decorate_(frame), cols_));
    return done;
  }
  // A line of this program's own among the room's lines.
  void note(const std::string& text) { room("\x1b[s\x1b[21;1H\n  " + text + "\x1b[u"); }
  void prompt(const std::string& text) {
    prompt_ = text;
    if (!fits_) return;
    // The end of a long line, as a shell shows it, with the cursor after it.
    const std::string shown =
        cols_ > 0 ? play::last_columns(prompt_, std::max(1, cols_ - 3)) : prompt_;
    out("\x1b[" + std::to_string(kPromptRow) + ";1H\x1b[2K" +
        play::cut_to_width("> " + shown, cols_));
  }
  void status(std::vector<StatusPart> parts) {
    bool same = parts.size() == status_.size();
    for (std::size_t i = 0; same && i < parts.size(); ++i) same = parts[i].text == status_[i].text;
    if (same) return;
    status_ = std::move(parts);
    if (!fits_) return;
    draw_status();
    prompt(prompt_);
  }

  // Everything again, for a terminal that may have changed its size and lost what it
  // showed: the room's last lines, the status bar and the line being typed.
  void redraw(const winsize& ws) {
    cols_ = ws.ws_col;
    fits_ = ws.ws_row == 0 || ws.ws_row >= kPromptRow;
    out("\x1b[m\x1b[r\x1b[H\x1b[2J");
    if (!fits_) {
      out(play::cut_to_width(
          "The room needs " + std::to_string(kPromptRow) + " rows; make the terminal taller.",
          cols_));
      return;
    }
    out("\x1b[1;" + std::to_string(kRegionEnd) + "r");
    for (const auto& frame : log_.frames()) out(play::cut_to_width(decorate_(frame), cols_));
    draw_status();
    prompt(prompt_);
  }

 private:
  static void out(std::string_view s) { write_all(1, s); }

  void draw_status() {
    std::vector<const StatusPart*> shown;
    for (const auto& p : status_) shown.push_back(&p);
    auto bar = [&] {
      std::string b;
      for (const auto* p : shown) b += (b.empty() ? " " : " - ") + p->text;
      return b + " ";
    };
    while (cols_ > 0 && shown.size() > 1 && play::display_width(bar()) > cols_) {
      auto least = std::min_element(shown.begin(), shown.end(), [](const auto* a, const auto* b) {
        return a->weight < b->weight;
      });
      shown.erase(least);
    }
    out("\x1b[" + std::to_string(kStatusRow) + ";1H\x1b[2K\x1b[7m" +
        play::cut_to_width(bar(), cols_) + "\x1b[m");
  }

  termios saved_{};
  std::vector<StatusPart> status_;
  Decorate decorate_;
  std::string prompt_;
  int cols_ = 0;
  bool fits_ = true;
  play::FrameLog log_;
};

bool has_exited(pid_t pid) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == pid;
}

std::string read_available(int fd) {
  std::string got;
  char buf[4096];
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) got.append(buf, static_cast<size_t>(n));
  return got;
}

struct Outcome {
  int status = 0;
  std::vector<std::string> lines;  // shown once the terminal is back to normal
  bool played = false;             // the round ran its course: another may follow
};

// The sample game files in a scratch working directory, the person's terminal and the
// rivals' in the room's roster.
struct Room {
  harness::Scratch bbs;
  harness::Pty you;
  std::array<harness::Pty, 3> rival_ttys;
  play::RoundPlan plan;
  std::vector<play::Rival> rivals;

  explicit Room(const Options& opt) {
    fs::copy(fs::path(BBS_SOURCE_DIR) / "sample/frm/typegame", bbs.file("frm/typegame"),
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    plan = play::plan_round(bbs.path(), opt.type.c_str());
    rivals = play::rivals_for(plan.limit);
    std::vector<harness::RosterEntry> roster{{kGroup, you.name()}};
    for (auto& t : rival_ttys) roster.push_back({kGroup, t.name()});
    harness::write_roster(bbs, kRoom, roster);
  }
};

// One round as the person plays it: the room, the chat engine, the screen and the round
// program, and where the round stands.
class PlayedRound {
 public:
  PlayedRound(const Options& opt, const winsize& size, bool utf8)
      : opt_(opt),
        utf8_(utf8),
        starter_(opt.typestart ? "typestart" : "typerace"),
        room_(opt),
        engine_(room_.bbs.path(), kRoom, kGroup, opt.name, room_.rivals),
        here_(room_.bbs.path()),
        shown_("EUC-KR", utf8 ? "UTF-8" : "EUC-KR"),
        typed_("UTF-8", utf8 ? "EUC-KR" : "UTF-8"),
        results_head_(readable(TXT_RESULTS)),
        no_results_(readable(TXT_NO_RESULTS)),
        ranked_(!opt.typestart),
        screen_(size, status_bar(std::time(nullptr)),
                [this](const std::string& frame) { return decorate(frame); }) {}

  Outcome play() {
    greet();
    round_ = std::make_unique<harness::Proc>(
        harness::program(starter_),
        std::vector<std::string>{"play", std::to_string(kGroup), std::to_string(kRoom), opt_.type},
        room_.bbs.path());
    while (!quit_ && !got_signal && step()) {
    }
    return !ranked_ || !round_over_ ? left_early() : outcome();
  }

 private:
  // The room, the word type and its limit, and while the word is out the time left.
  std::vector<StatusPart> status_bar(std::time_t now) const {
    std::vector<StatusPart> bar{{std::string(starter_) + " - room " + std::to_string(kRoom) +
                                     " group " + std::to_string(kGroup),
                                 2},
                                {opt_.type + ", " + std::to_string(room_.plan.limit) + " s", 1}};
    // typestart ends as soon as the word is out; the wait is then this program's.
    if (engine_.word_out() && !(round_over_ && ranked_)) {
      const long left = static_cast<long>(engine_.word_time()) + room_.plan.limit - now;
      bar.push_back({left > 0 ? std::to_string(left) + " s left" : "time is up", 3});
    }
    bar.push_back({"Enter sends, Ctrl-C leaves", 0});
    return bar;
  }

  std::string readable(const char* euckr) const {
    play::Recoder r("EUC-KR", utf8_ ? "UTF-8" : "EUC-KR");
    return r.feed(euckr);
  }

  // What the room shows of an announcement: the person's own ranking line marked, and
  // in the English round the ranking said in English too.
  std::string decorate(const std::string& frame) const {
    std::size_t start = 0;
    const std::string_view text = play::frame_text(frame, &start);
    const auto rank = play::parse_rank(text);
    std::string gloss;
    if (opt_.type == "english") {
      if (rank)
        gloss = "   (" + play::ordinal(rank->rank) + ", " + std::to_string(rank->seconds) + " s, " +
                std::to_string(rank->speed) + " strokes a minute)";
      else if (text == results_head_)
        gloss = "   (the ranking)";
      else if (text == no_results_)
        gloss = "   (nobody typed the word)";
    }
    const bool mine = rank && rank->user == opt_.name;
    if (!mine && gloss.empty()) return frame;
    std::string out = frame;
    out.insert(start + text.size(), gloss);
    if (mine) {
      // Before the indent, which the ranking line keeps as it came.
      const std::size_t line = out.find('\n');
      out.insert(line == std::string::npos ? 0 : line + 1, "\x1b[1m-->");
      out += "\x1b[m";
    }
    return out;
  }

  // What the round program wrote, to the screen; the person's place is read off it.
  void relay(std::string_view bytes) {
    for (const auto& frame : screen_.room(shown_.feed(bytes))) {
      const auto rank = play::parse_rank(play::frame_text(frame));
      if (!rank) continue;
      ++finishers_;
      if (rank->user == opt_.name) mine_ = rank;
    }
  }

  void greet() {
    std::string who = "You are " + opt_.name + " on /dev/" + room_.you.name() + "; your rivals:";
    for (auto& r : room_.rivals) who += " " + r.id;
    screen_.note(who + ".");
    screen_.note("Working directory " + room_.bbs.path() + " (removed at the end).");
    if (!utf8_) screen_.note(harness::raw_korean_hint("make play"));
    screen_.note("When the word appears, type it and press Enter.");
    screen_.prompt("");
  }

  // The rivals' finishes as the chat would show them, when they happen.
  void show_finishes(std::time_t now) {
    for (const auto& id : engine_.take_finished())
      screen_.note(id + " has typed the word (" + std::to_string(now - engine_.word_time()) +
                   " s).");
  }

  // One turn of the loop: the terminals, the keys, the round program. False when the
  // round is over and shown, or the person's terminal has gone.
  bool step() {
    std::vector<pollfd> fds{{0, POLLIN, 0}, {room_.you.master(), POLLIN, 0}};
    for (auto& t : room_.rival_ttys) fds.push_back({t.master(), POLLIN, 0});
    if (poll(fds.data(), fds.size(), 100) < 0) {
      for (auto& p : fds) p.revents = 0;  // interrupted: a resize, or a signal to end
    }
    if (resized) {
      resized = 0;
      screen_.redraw(terminal_size());
    }
    std::string room = read_available(room_.you.master());
    if (!room.empty()) relay(room);
    for (auto& t : room_.rival_ttys) read_available(t.master());

    const std::time_t now = std::time(nullptr);
    engine_.tick(now);
    show_finishes(now);
    if (fds[0].revents & (POLLHUP | POLLERR)) return false;
    if (fds[0].revents & POLLIN) take_keys();
    watch_round(now);
    if (round_over_ && ranked_) {
      relay(room_.you.drain(100, 1000));
      return false;
    }
    screen_.status(status_bar(now));
    return true;
  }

  // Drawn once per read, so a character whose bytes come together is never shown half.
  void take_keys() {
    char keys[256];
    const ssize_t n = read(0, keys, sizeof keys);
    bool changed = false;
    for (ssize_t i = 0; i < n && !quit_; ++i) {
      switch (editor_.feed(static_cast<unsigned char>(keys[i]))) {
        case play::LineEditor::Event::Interrupt:
          interrupted_ = true;
          quit_ = true;
          break;
        case play::LineEditor::Event::Quit:
          quit_ = true;
          break;
        case play::LineEditor::Event::Changed:
          changed = true;
          break;
        case play::LineEditor::Event::Line:
          changed = false;
          take_line(editor_.take());
          break;
        case play::LineEditor::Event::None:
          break;
      }
    }
    if (changed && !quit_) screen_.prompt(editor_.text());
  }

  void take_line(const std::string& line) {
    screen_.prompt("");
    if (line.empty()) return;
    screen_.note("<" + opt_.name + "> " + line);
    auto word = typed_.whole(line);
    std::time_t at = std::time(nullptr);
    auto verdict = word ? engine_.typed(*word, at) : play::ChatStandIn::Typed::Missed;
    show_finishes(at);  // rivals due by now finished first
    switch (verdict) {
      case play::ChatStandIn::Typed::NotYet:
        screen_.note("(the word is not out yet)");
        break;
      case play::ChatStandIn::Typed::Finished:
        screen_.note("(that's the word - your time is in; the ranking follows when time is up)");
        break;
      case play::ChatStandIn::Typed::Missed:
        screen_.note("(that is not the word - try again)");
        break;
      case play::ChatStandIn::Typed::AlreadyFinished:
        screen_.note("(your time is in already)");
        break;
    }
  }

  // The round program's end, and for typestart the rest of the round, which is ours.
  void watch_round(std::time_t now) {
    if (!round_over_ && has_exited(round_->pid())) {
      ended_ = round_->wait(1000);
      round_over_ = true;
      engine_.tick(std::time(nullptr));
      show_finishes(std::time(nullptr));
      if (ended_.status != 0) ranked_ = true;
    }
    if (!round_over_ || ranked_) return;
    // typestart has published the word and gone.
    if (!engine_.word_out()) {
      ranked_ = true;
    } else if (now >= engine_.word_time() + room_.plan.limit) {
      std::int32_t strokes = play::strokes_of(room_.bbs.path(), room_.plan, engine_.word());
      for (const auto& text : play::ranking(engine_.results_path(), engine_.word_time(), strokes))
        chat_say(kGroup, kRoom, text.c_str());
      clear_room_files();
      ranked_ = true;
    }
  }

  void clear_room_files() const {
    unlink(engine_.answer_path().c_str());
    unlink(engine_.results_path().c_str());
  }

  // Left early: typerace clears its room's files when told to end; what typestart
  // leaves behind is ours to clear, as the rest of its round is.
  Outcome left_early() {
    if (!round_over_) {
      round_->signal(SIGTERM);
      ended_ = round_->wait(5000);
    }
    clear_room_files();
    // As a shell reports a program that Ctrl-C ended.
    Outcome res;
    res.status = got_signal ? 128 + got_signal : interrupted_ ? 128 + SIGINT : 0;
    res.lines.push_back("Round left early; its scratch directory is removed.");
    return res;
  }

  // One line for the round, then the person's best in its word type.
  Outcome outcome() const {
    Outcome res;
    res.status = ended_.status == 0 ? 0 : 1;
    res.played = res.status == 0;
    if (ended_.status != 0) {
      res.lines.push_back(std::string("Round over: ") + starter_ + " ended with status " +
                          std::to_string(ended_.status) + ".");
    } else if (mine_) {
      res.lines.push_back("Round over: you placed " + play::ordinal(mine_->rank) + " of " +
                          std::to_string(finishers_) + " in " + std::to_string(mine_->seconds) +
                          " s, at " + std::to_string(mine_->speed) + " strokes a minute.");
      res.lines.push_back(best_line(mine_->speed));
    } else if (engine_.player_finished()) {
      res.lines.push_back("Round over: your time was in, but your line of the ranking never came.");
    } else if (engine_.word_out()) {
      res.lines.push_back("Round over: you did not type the word within the " +
                          std::to_string(room_.plan.limit) + " seconds.");
    } else {
      res.lines.push_back("Round over: no word came out.");
    }
    if (!ended_.err.empty()) {
      play::Recoder err("EUC-KR", utf8_ ? "UTF-8" : "EUC-KR");
      res.lines.push_back(std::string(starter_) + " said: " + err.feed(ended_.err));
      while (!res.lines.back().empty() && res.lines.back().back() == '\n')
        res.lines.back().pop_back();
    }
    return res;
  }

  std::string best_line(std::int32_t speed) const {
    const std::string path = play::best_path();
    if (path.empty()) return "Your best is not kept: neither XDG_STATE_HOME nor HOME is set.";
    const play::Best best = play::record_best(path, opt_.type, speed);
    if (best.error)
      return "Your best could not be kept in " + path + ": " + std::strerror(best.error) + ".";
    const std::string in_type = " in " + opt_.type + ": ";
    if (best.is_new)
      return "A new personal best" + in_type + std::to_string(speed) + " strokes a minute" +
             (best.before > 0 ? " (it was " + std::to_string(best.before) + ")." : ".");
    return "Your personal best" + in_type + std::to_string(best.before) + " strokes a minute.";
  }

  const Options& opt_;
  bool utf8_;
  const char* starter_;
  Room room_;
  play::ChatStandIn engine_;
  // The round runs in the scratch directory as the server runs in its own: the broadcast
  // used for the ranking works with the server's relative paths.
  harness::InDir here_;
  play::Recoder shown_, typed_;
  // The ranking's head line and its stand-in, as the room shows them.
  std::string results_head_, no_results_;
  play::LineEditor editor_;
  // The round program has ended; the round has been ranked (typestart leaves that to us).
  bool round_over_ = false, ranked_;
  Screen screen_;
  std::unique_ptr<harness::Proc> round_;
  bool quit_ = false, interrupted_ = false;
  harness::Result ended_;
  std::optional<play::RankLine> mine_;  // the person's line of the ranking
  int finishers_ = 0;
};

Outcome play_round(const Options& opt, const winsize& size, bool utf8) {
  const std::string bin = harness::program(opt.typestart ? "typestart" : "typerace");
  if (access(bin.c_str(), X_OK) != 0)
    return {1, {std::string("play: ") + bin + " is not built; run `make build` first."}};
  PlayedRound round(opt, size, utf8);
  return round.play();
}

// Lines for the terminal as it is now, none wider than it.
void say(const std::vector<std::string>& lines) {
  const int cols = terminal_size().ws_col;
  for (const auto& line : lines)
    for (const auto& part : play::wrap_to_width(line, cols)) std::printf("%s\n", part.c_str());
  std::fflush(stdout);
}

// Asks on the terminal, now back to its own line editing; a key pressed before the
// question is no answer to it. Anything but yes is no, and so is the end of input.
bool again() {
  tcflush(0, TCIFLUSH);
  say({"Play again? [y/N]"});
  std::array<char, 64> line{};
  std::size_t got = 0;
  // The signals that leave are let in only while waiting for a key (ppoll), so one that
  // comes just before the wait ends it at once instead of being missed until a key.
  sigset_t leaving, before;
  sigemptyset(&leaving);
  for (int sig : kLeavingSignals) sigaddset(&leaving, sig);
  sigprocmask(SIG_BLOCK, &leaving, &before);
  for (char c; got + 1 < line.size() && !got_signal;) {
    pollfd key{0, POLLIN, 0};
    if (ppoll(&key, 1, nullptr, &before) <= 0) continue;
    const ssize_t n = read(0, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || c == '\n') break;
    line[got++] = c;
  }
  sigprocmask(SIG_SETMASK, &before, nullptr);
  std::size_t at = 0;
  while (at < got && (line[at] == ' ' || line[at] == '\t')) ++at;
  return at < got && (line[at] == 'y' || line[at] == 'Y');
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  if (answer_help_or_version(argc, argv, "play", kUsage)) return 0;
  Options opt;
  if (!parse(argc, argv, opt)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (!isatty(0) || !isatty(1)) {
    std::fprintf(stderr,
                 "play: %s is not a terminal.\n"
                 "This is a round for a person at the keyboard; run it from an interactive "
                 "terminal (make play).\n"
                 "make demo plays a round that needs no input.\n",
                 isatty(0) ? "standard output" : "standard input");
    return 1;
  }
  winsize ws = terminal_size();
  if (ws.ws_row != 0 && ws.ws_row < kPromptRow) {
    std::fprintf(stderr, "play: the room needs a terminal of at least %d rows; this one has %d.\n",
                 kPromptRow, ws.ws_row);
    return 1;
  }

  struct sigaction sa {};
  sa.sa_handler = on_signal;
  sigemptyset(&sa.sa_mask);
  for (int sig : kLeavingSignals) sigaction(sig, &sa, nullptr);
  sa.sa_handler = on_resize;
  sigaction(SIGWINCH, &sa, nullptr);

  const bool utf8 = harness::utf8_locale();
  for (;;) {
    Outcome res = play_round(opt, terminal_size(), utf8);
    say(res.lines);
    if (!res.played) return res.status;
    if (!again()) break;
  }
  if (got_signal) say({""});  // the shell's prompt goes below the question
  // As a shell reports a program that a signal ended.
  return got_signal ? 128 + got_signal : 0;
}
