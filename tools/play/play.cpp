// A round of the typing race played by the person at this terminal, against simulated
// rivals, in a scratch working directory on the sample data. This program stands in for
// the server: it lists the person's pseudo-terminal in the room's roster, relays what
// the round program writes there to the real terminal, and plays the chat engine that
// records who typed the word.
//
//   play [--type <word type>] [--typestart] [--name <user id>]

#include <fcntl.h>
#include <langinfo.h>
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
#include <memory>
#include <string>
#include <vector>

#include "harness.h"
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

void usage() {
  std::fprintf(stderr, "usage: play [--type <word type>] [--typestart] [--name <user id>]\n"
                       "  --type       word type from the sample index: short, proverb or english "
                       "(default english)\n"
                       "  --typestart  start the round with typestart; this program then waits, "
                       "ranks and clears up as the server does\n"
                       "  --name       your user id in the ranking, 1 to 8 letters or digits "
                       "(default you)\n");
}

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

// The real terminal for the length of a round: keys arrive one by one and unechoed, and
// Ctrl-C is an ordinary key, so it ends the round here instead of interrupting make;
// the room's lines scroll above a status bar and the line being typed. Everything is
// put back on destruction.
class Screen {
 public:
  Screen(const winsize& ws, std::string status) : status_(std::move(status)) {
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

  // What the round program wrote to the person's terminal, made readable.
  void room(std::string_view bytes) {
    log_.feed(bytes);
    if (fits_) out(bytes);
  }
  // A line of this program's own among the room's lines.
  void note(const std::string& text) { room("\x1b[s\x1b[21;1H\n  " + text + "\x1b[u"); }
  void prompt(const std::string& text) {
    prompt_ = text;
    if (fits_) out("\x1b[" + std::to_string(kPromptRow) + ";1H\x1b[2K> " + prompt_);
  }

  // Everything again, for a terminal that may have changed its size and lost what it
  // showed: the room's last lines, the status bar and the line being typed.
  void redraw(const winsize& ws) {
    fits_ = ws.ws_row == 0 || ws.ws_row >= kPromptRow;
    out("\x1b[m\x1b[r\x1b[H\x1b[2J");
    if (!fits_) {
      out("The room needs " + std::to_string(kPromptRow) + " rows; make the terminal taller.");
      return;
    }
    std::string bar = " " + status_ + " ";
    if (ws.ws_col > 0 && bar.size() > ws.ws_col) bar.resize(static_cast<std::size_t>(ws.ws_col));
    out("\x1b[1;" + std::to_string(kRegionEnd) + "r");
    for (const auto& frame : log_.frames()) out(frame);
    out("\x1b[" + std::to_string(kStatusRow) + ";1H\x1b[7m" + bar + "\x1b[m");
    prompt(prompt_);
  }

 private:
  static void out(std::string_view s) { write_all(1, s); }

  termios saved_{};
  std::string status_;
  std::string prompt_;
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
        screen_(size, status_bar()),
        ranked_(!opt.typestart) {}

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
  std::string status_bar() const {
    return std::string(starter_) + " - room " + std::to_string(kRoom) + " group " +
           std::to_string(kGroup) + " - " + opt_.type + ", " + std::to_string(room_.plan.limit) +
           " s - Enter sends, Ctrl-C leaves";
  }

  void greet() {
    std::string who = "You are " + opt_.name + " on /dev/" + room_.you.name() + "; your rivals:";
    for (auto& r : room_.rivals) who += " " + r.id;
    screen_.note(who + ".");
    screen_.note("Working directory " + room_.bbs.path() + " (removed at the end).");
    if (!utf8_)
      screen_.note("Your locale is not UTF-8, so Korean text is shown as the EUC-KR bytes it is.");
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
    if (!room.empty()) screen_.room(shown_.feed(room));
    for (auto& t : room_.rival_ttys) read_available(t.master());

    const std::time_t now = std::time(nullptr);
    engine_.tick(now);
    show_finishes(now);
    if (fds[0].revents & (POLLHUP | POLLERR)) return false;
    if (fds[0].revents & POLLIN) take_keys();
    watch_round(now);
    if (round_over_ && ranked_) {
      screen_.room(shown_.feed(room_.you.drain(100, 1000)));
      return false;
    }
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

  Outcome outcome() const {
    Outcome res;
    res.status = ended_.status == 0 ? 0 : 1;
    res.lines.push_back(std::string("Round over: ") + starter_ + " ended with status " +
                        std::to_string(ended_.status) + "; its scratch directory is removed.");
    if (engine_.word_out() && !engine_.player_finished())
      res.lines.push_back("You did not type the word within the " +
                          std::to_string(room_.plan.limit) + " seconds.");
    if (!ended_.err.empty()) {
      play::Recoder err("EUC-KR", utf8_ ? "UTF-8" : "EUC-KR");
      res.lines.push_back(std::string(starter_) + " said: " + err.feed(ended_.err));
      while (!res.lines.back().empty() && res.lines.back().back() == '\n')
        res.lines.back().pop_back();
    }
    return res;
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
  play::LineEditor editor_;
  Screen screen_;
  std::unique_ptr<harness::Proc> round_;
  bool round_over_ = false, ranked_, quit_ = false, interrupted_ = false;
  harness::Result ended_;
};

Outcome play_round(const Options& opt, const winsize& size, bool utf8) {
  const std::string bin = harness::program(opt.typestart ? "typestart" : "typerace");
  if (access(bin.c_str(), X_OK) != 0)
    return {1, {std::string("play: ") + bin + " is not built; run `make build` first."}};
  PlayedRound round(opt, size, utf8);
  return round.play();
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  Options opt;
  if (!parse(argc, argv, opt)) {
    usage();
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
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaction(sig, &sa, nullptr);
  sa.sa_handler = on_resize;
  sigaction(SIGWINCH, &sa, nullptr);

  bool utf8 = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
  Outcome res = play_round(opt, ws, utf8);
  for (const auto& line : res.lines) std::printf("%s\n", line.c_str());
  return res.status;
}
