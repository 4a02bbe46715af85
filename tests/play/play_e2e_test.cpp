// Play mode driven as a person would drive it: its standard streams are a pseudo-
// terminal, the test reads the screen from the master side and types on it.

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "data_file.h"
#include "harness.h"

#ifndef PLAY_BIN
#error "PLAY_BIN must name the built play program"
#endif
#ifndef BBS_SOURCE_DIR
#error "BBS_SOURCE_DIR must name the source tree"
#endif

extern char** environ;

namespace {

namespace fs = std::filesystem;

// A directory of the test's own for TMPDIR, so it can see play's scratch directory go.
struct TempDir {
  std::string path;
  TempDir() {
    std::string t = (fs::temp_directory_path() / "play-test-XXXXXX").string();
    path = mkdtemp(t.data()) ? t : "";
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  bool empty() const { return fs::is_empty(path); }
};

// The person's terminal as a person's shell leaves it: line editing, echo and signals on.
struct CookedTerminal {
  int fd;
  termios before{};
  explicit CookedTerminal(const harness::Pty& tty)
      : fd(open(("/dev/" + tty.name()).c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    tcgetattr(fd, &before);
    before.c_iflag |= ICRNL | IXON;
    before.c_oflag |= OPOST | ONLCR;
    before.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    tcsetattr(fd, TCSANOW, &before);
  }
  ~CookedTerminal() { close(fd); }
  bool restored() const {
    termios now{};
    tcgetattr(fd, &now);
    return now.c_lflag == before.c_lflag && now.c_iflag == before.c_iflag &&
           now.c_oflag == before.c_oflag;
  }
};

// play started with the pseudo-terminal as its controlling terminal and standard streams.
class Session {
 public:
  Session(const harness::Pty& tty, const std::vector<std::string>& args,
          const std::vector<std::string>& env) {
    std::vector<std::string> vars;
    for (char** e = environ; *e; ++e) {
      std::string kv = *e;
      if (kv.rfind("LC_", 0) != 0 && kv.rfind("LANG=", 0) != 0 && kv.rfind("TMPDIR=", 0) != 0)
        vars.push_back(kv);
    }
    vars.insert(vars.end(), env.begin(), env.end());
    std::vector<std::string> argv_s{PLAY_BIN};
    argv_s.insert(argv_s.end(), args.begin(), args.end());
    std::vector<char*> argv, envp;
    for (auto& a : argv_s) argv.push_back(a.data());
    for (auto& v : vars) envp.push_back(v.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    std::string slave = "/dev/" + tty.name();
    pid_ = fork();
    if (pid_ == 0) {
      setsid();
      int fd = open(slave.c_str(), O_RDWR);  // the session's controlling terminal
      if (fd < 0) _exit(126);
      dup2(fd, 0);
      dup2(fd, 1);
      dup2(fd, 2);
      if (fd > 2) close(fd);
      execve(argv[0], argv.data(), envp.data());
      _exit(127);
    }
  }
  ~Session() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  // Waits for the next offer of another round and answers it.
  bool answer_again(harness::Pty& tty, std::string& got, const std::string& keys) {
    static constexpr std::string_view kOffer = "Play again? [y/N]";
    std::string after = got.substr(std::min(got.size(), answered_));
    const bool offered = tty.read_until(after, kOffer, 60000);
    got.resize(std::min(got.size(), answered_));
    got += after;
    if (!offered) return false;
    answered_ = got.rfind(kOffer) + kOffer.size();
    return write(tty.master(), keys.data(), keys.size()) == static_cast<ssize_t>(keys.size());
  }
  // Reads the screen until play ends; its exit status, or -1 when it has not ended.
  int wait(harness::Pty& tty, std::string& got, int timeout_ms) {
    for (int waited = 0; waited < timeout_ms; waited += 100) {
      int st = 0;
      if (waitpid(pid_, &st, WNOHANG) == pid_) {
        pid_ = -1;
        got += tty.drain(50, 500);
        return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
      }
      got += tty.drain(100, 100);
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
  std::size_t answered_ = 0;  // where in the screen the last offer answered ends
};

// The stroke counts of the sample word list the round plays.
int sample_strokes(const std::string& list, const std::string& word) {
  std::ifstream in(std::string(BBS_SOURCE_DIR) + "/sample/frm/typegame/" + list, std::ios::binary);
  int strokes;
  std::string w;
  while (in >> strokes >> w)
    if (w == word) return strokes;
  return -1;
}

std::string between(const std::string& got, const std::string& open, const std::string& close) {
  std::size_t at = got.find(open);
  if (at == std::string::npos) return "";
  at += open.size();
  std::size_t end = got.find(close, at);
  return end == std::string::npos ? "" : got.substr(at, end - at);
}

// The ranking lines of one user: rank, seconds, speed.
std::vector<std::array<int, 3>> ranks_of(const std::string& got, const std::string& user,
                                         const std::string& place, const std::string& seconds,
                                         const std::string& per_minute) {
  std::regex line("\t([0-9]+) " + place + "   ([0-9]+) " + seconds + "   " + user + "   ([0-9]+) " +
                  per_minute + "\x1b\\[u");
  std::vector<std::array<int, 3>> out;
  for (std::sregex_iterator it(got.begin(), got.end(), line), end; it != end; ++it)
    out.push_back({std::stoi((*it)[1]), std::stoi((*it)[2]), std::stoi((*it)[3])});
  return out;
}

// The widest a row of the screen gets, as a UTF-8 terminal `cols` wide would draw what
// play wrote: rows start at a line end or a move of the cursor; a tab stops at the
// last column.
int widest_row(const std::string& got, int cols) {
  std::setlocale(LC_CTYPE, "C.UTF-8");
  int col = 0, saved = 0, widest = 0;
  std::mbstate_t st{};
  for (std::size_t i = 0; i < got.size();) {
    const char c = got[i];
    if (c == '\x1b' && i + 1 < got.size() && got[i + 1] == '[') {
      std::size_t end = i + 2;
      while (end < got.size() && !(got[end] >= 0x40 && got[end] <= 0x7e)) ++end;
      const std::string params = got.substr(i + 2, end - i - 2);
      const char final = end < got.size() ? got[end] : 0;
      if (final == 'H') {
        std::size_t semi = params.find(';');
        col = semi == std::string::npos ? 0 : std::atoi(params.c_str() + semi + 1) - 1;
      } else if (final == 's') {
        saved = col;
      } else if (final == 'u') {
        col = saved;
      }
      i = end + 1;
    } else if (c == '\r') {
      col = 0;
      ++i;
    } else if (c == '\t') {
      col = std::min((col / 8 + 1) * 8, cols - 1);
      ++i;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      ++i;
    } else {
      wchar_t wc;
      std::size_t n = std::mbrtowc(&wc, got.data() + i, got.size() - i, &st);
      if (n == 0 || n > 4) {
        st = std::mbstate_t{};
        n = 1;
        wc = L'?';
      }
      col += std::max(0, wcwidth(wc));
      widest = std::max(widest, col);
      i += n;
    }
  }
  return widest;
}

TEST(PlayRelay, PersonTypesTheKoreanWordAndReadsTheRankingInUtf8) {
  TempDir tmp;
  harness::Pty tty;
  CookedTerminal term(tty);
  Session play(tty, {"--type", "short"}, {"LC_ALL=C.UTF-8", "TMPDIR=" + tmp.path});

  std::string got;
  ASSERT_TRUE(tty.read_until(got, "\x1b[m\r\n\x1b[u", 60000)) << got;
  std::string word = between(got, "\t\x1b[7m", "\x1b[m");
  int strokes = sample_strokes("short.lst", harness::utf8_to_euckr(word));
  ASSERT_GT(strokes, 0) << "not a word of the list: " << word;
  // What came before the word: the title, the type and the countdown, all readable.
  EXPECT_NE(got.find("\t##### 야호랑 타자방 ^^ ##### \x1b[u"), std::string::npos) << got;
  EXPECT_NE(got.find("\t타자유형 : short\x1b[u"), std::string::npos);
  EXPECT_NE(got.find("\t<1>\x1b[u"), std::string::npos);
  EXPECT_NE(got.find("\t<0>\x1b[u"), std::string::npos);

  // Halfway through a line the terminal is resized: the room, the status bar and the
  // line being typed are all drawn again.
  ASSERT_EQ(write(tty.master(), "no", 2), 2);
  ASSERT_TRUE(tty.read_until(got, "> no", 10000)) << got;
  winsize ws{};
  ws.ws_row = 30;
  ws.ws_col = 100;
  ASSERT_EQ(ioctl(tty.master(), TIOCSWINSZ, &ws), 0);
  std::string redrawn;
  ASSERT_TRUE(tty.read_until(redrawn, "> no", 10000)) << redrawn;
  got += redrawn;
  redrawn.erase(0, redrawn.rfind("\x1b[2J"));
  for (const std::string& part : std::vector<std::string>{
           "\t##### 야호랑 타자방 ^^ ##### \x1b[u", "\t<5>\x1b[u", "\t<0>\x1b[u",
           "\t\x1b[7m" + word + "\x1b[m", "\x1b[7m typerace - room 3 group 1"})
    EXPECT_NE(redrawn.find(part), std::string::npos) << part << " not redrawn in " << redrawn;

  // A miss first: it is only chat, and the word still counts afterwards.
  std::string keys = "pe\r" + word + "\r";
  ASSERT_EQ(write(tty.master(), keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  ASSERT_TRUE(play.answer_again(tty, got, "n\r")) << got;
  EXPECT_EQ(play.wait(tty, got, 60000), 0) << got;
  EXPECT_NE(got.find("(that is not the word"), std::string::npos) << got;

  auto mine = ranks_of(got, "you", "등", "초", "타/분");
  ASSERT_EQ(mine.size(), 1u) << got;
  auto [rank, elapsed, speed] = mine[0];
  EXPECT_GE(rank, 1);
  EXPECT_LE(rank, 4);
  EXPECT_EQ(speed, strokes * 60 / (elapsed < 1 ? 1 : elapsed));
  for (const char* rival : {"minsu", "jiyoung", "seojun"}) {
    EXPECT_EQ(ranks_of(got, rival, "등", "초", "타/분").size(), 1u) << rival;
    // Shown in the chat when it happened, before the ranking.
    std::size_t seen = got.find(std::string(rival) + " has typed the word (");
    EXPECT_LT(seen, got.find("결과를 출력합니다")) << rival;
  }
  EXPECT_NE(got.find("<you> nope"), std::string::npos);
  // Nothing reached the terminal as EUC-KR.
  EXPECT_EQ(got.find(harness::utf8_to_euckr("타/분")), std::string::npos);

  EXPECT_NE(got.find("Round over"), std::string::npos);
  EXPECT_TRUE(term.restored());
  EXPECT_TRUE(tmp.empty()) << "the scratch directory is left in " << tmp.path;
}

TEST(PlayRelay, TypestartRoundIsRankedByTheStandInAndEucKrPassesInOtherLocales) {
  TempDir tmp;
  harness::Pty tty;
  CookedTerminal term(tty);
  Session play(tty, {"--typestart", "--type", "short", "--name", "tester"},
               {"LC_ALL=C", "TMPDIR=" + tmp.path});
  auto euc = harness::utf8_to_euckr;

  // typestart shows the word plain, after the last count.
  const std::string frame = "\x1b[s\x1b[21;1H\r\n" + std::string(14, ' ');
  std::string got;
  ASSERT_TRUE(tty.read_until(got, frame + "<0>\x1b[u" + frame, 60000)) << got;
  ASSERT_TRUE(tty.read_until(got, "\x1b[u\x1b[23;1H", 10000)) << got;
  std::string word = between(got, frame + "<0>\x1b[u" + frame, "\x1b[u");
  int strokes = sample_strokes("short.lst", word);
  ASSERT_GT(strokes, 0) << harness::euckr_to_utf8(word);
  EXPECT_NE(got.find(frame + euc("##### 타자방 #####") + "\x1b[u"), std::string::npos);

  // typestart announces the word before it writes the answer file, so a typist quicker
  // than that write is told the word is not out yet, and types it again.
  const std::string recorded = "(that's the word", too_soon = "(the word is not out yet)";
  for (int tries = 0; tries < 50; ++tries) {
    std::string keys = word + "\r", reply;
    ASSERT_EQ(write(tty.master(), keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
    auto answered = [&] {
      return reply.find(recorded) != std::string::npos || reply.find(too_soon) != std::string::npos;
    };
    for (int waited = 0; !answered() && waited < 20000; waited += 200) reply += tty.drain(50, 200);
    got += reply;
    ASSERT_TRUE(answered()) << harness::euckr_to_utf8(got);
    if (reply.find(recorded) != std::string::npos) break;
    usleep(100000);
  }
  ASSERT_TRUE(play.answer_again(tty, got, "n\r")) << harness::euckr_to_utf8(got);
  EXPECT_EQ(play.wait(tty, got, 60000), 0) << harness::euckr_to_utf8(got);

  EXPECT_NE(got.find("\t" + euc("결과를 출력합니다") + "\x1b[u"), std::string::npos);
  // How to read the Korean, as the demo says it.
  EXPECT_NE(got.find("Korean text below is raw EUC-KR; to read it, run: LC_ALL=C.UTF-8 make play"),
            std::string::npos);
  auto mine = ranks_of(got, "tester", euc("등"), euc("초"), euc("타/분"));
  ASSERT_EQ(mine.size(), 1u) << harness::euckr_to_utf8(got);
  auto [rank, elapsed, speed] = mine[0];
  EXPECT_EQ(speed, strokes * 60 / (elapsed < 1 ? 1 : elapsed));
  EXPECT_GE(rank, 1);
  EXPECT_TRUE(term.restored());
  EXPECT_TRUE(tmp.empty());
}

TEST(PlayRelay, CtrlCLeavesAtOnceRestoringTheTerminalAndRemovingTheScratch) {
  TempDir tmp;
  harness::Pty tty;
  CookedTerminal term(tty);
  Session play(tty, {"--type", "proverb"}, {"LC_ALL=C.UTF-8", "TMPDIR=" + tmp.path});
  std::string got;
  ASSERT_TRUE(tty.read_until(got, "\t타자유형 : proverb\x1b[u", 60000)) << got;
  ASSERT_EQ(write(tty.master(), "\x03", 1), 1);
  // A whole round of this type takes 25 seconds; leaving does not wait for it.
  EXPECT_EQ(play.wait(tty, got, 20000), 130) << got;
  EXPECT_EQ(got.find("결과"), std::string::npos);
  EXPECT_NE(got.find("\x1b[r"), std::string::npos);  // scrolling region given back
  EXPECT_NE(got.find("Round left early"), std::string::npos);
  EXPECT_TRUE(term.restored());
  EXPECT_TRUE(tmp.empty());
}

// A round in a narrow window, in English, with a best to beat: nothing passes the
// window's width, the time left counts down, the person's line is marked and glossed,
// the summary and the new best follow; another round is offered, taken and left.
TEST(PlayRound, NarrowWindowSummaryBestAndAnotherRound) {
  TempDir tmp, state;
  const std::string best = state.path + "/xdg/bbs-tools/play-best";
  harness::Pty tty;
  CookedTerminal term(tty);
  winsize ws{};
  ws.ws_row = 24;
  ws.ws_col = 40;
  ASSERT_EQ(ioctl(tty.master(), TIOCSWINSZ, &ws), 0);
  Session play(tty, {},
               {"LC_ALL=C.UTF-8", "TMPDIR=" + tmp.path, "XDG_STATE_HOME=" + state.path + "/xdg"});

  std::string got;
  ASSERT_TRUE(tty.read_until(got, "\t\x1b[7m", 60000)) << got;
  ASSERT_TRUE(tty.read_until(got, "\x1b[m", 10000)) << got;
  const std::string word = between(got, "\t\x1b[7m", "\x1b[m");
  const int strokes = sample_strokes("english.lst", word);
  ASSERT_GT(strokes, 0) << "not a word of the list: " << word;
  // The bar is cut to the window, the time left kept in it.
  ASSERT_TRUE(tty.read_until(got, " s left \x1b[m", 10000)) << got;
  EXPECT_TRUE(std::regex_search(
      got, std::regex("\x1b\\[7m typerace - room 3 group 1 - [0-9]+ s left \x1b")))
      << got;
  EXPECT_EQ(got.find("Ctrl-C leaves"), std::string::npos);
  const std::string keys = word + "\r";
  ASSERT_EQ(write(tty.master(), keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  ASSERT_TRUE(play.answer_again(tty, got, "y\r")) << got;
  const std::size_t first_round = got.size();
  EXPECT_LE(widest_row(got, 40), 40) << got;

  // The person's ranking line, marked; its English is cut with the rest of the row.
  std::smatch m;
  ASSERT_TRUE(std::regex_search(
      got, m, std::regex("\x1b\\[1m-->\t([0-9]+) 등   ([0-9]+) 초   you   ([0-9]+) 타/분 *\x1b")))
      << got;
  const std::string place = m[1], seconds = m[2], speed = m[3];
  // One line for the round (wrapped to the window), and the new best.
  std::string said = got.substr(got.rfind("\x1b[J"));
  for (std::size_t at; (at = said.find("\r\n")) != std::string::npos;) said.replace(at, 2, " ");
  EXPECT_NE(said.find("Round over: you placed " + place), std::string::npos) << said;
  EXPECT_NE(said.find(" of 4 in " + seconds + " s, at " + speed + " strokes a minute."),
            std::string::npos)
      << said;
  EXPECT_NE(said.find("A new personal best in english: " + speed + " strokes a minute."),
            std::string::npos)
      << said;

  // The best is kept, private directories leading to it, the file in the usual mode.
  std::ifstream kept(best);
  std::stringstream text;
  text << kept.rdbuf();
  EXPECT_EQ(text.str(), "english " + speed + "\n");
  struct stat st {};
  ASSERT_EQ(stat(best.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, creation_mode());
  ASSERT_EQ(stat((state.path + "/xdg/bbs-tools").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);

  // Yes is another round, in a scratch directory of its own; Ctrl-C leaves it.
  std::string second;
  ASSERT_TRUE(tty.read_until(second, "\t타자유형 : english\x1b[u", 60000)) << second;
  got += second;
  ASSERT_EQ(write(tty.master(), "\x03", 1), 1);
  EXPECT_EQ(play.wait(tty, got, 20000), 130) << got.substr(first_round);
  EXPECT_NE(got.find("Round left early", first_round), std::string::npos);
  EXPECT_TRUE(term.restored());
  EXPECT_TRUE(tmp.empty());
}

// Against a best it does not beat, the best stands and is said; where no best can be
// kept, the round still ends well and says why.
TEST(PlayRound, BestThatStandsAndOneThatCannotBeKept) {
  for (bool writable : {true, false}) {
    TempDir tmp, state;
    const std::string dir = state.path + "/bbs-tools";
    if (writable) {
      fs::create_directories(dir);
      std::ofstream(dir + "/play-best") << "english 99999\nshort 7\n";
    } else {
      std::ofstream(dir) << "a file where the directory goes\n";
    }
    harness::Pty tty;
    CookedTerminal term(tty);
    Session play(tty, {}, {"LC_ALL=C.UTF-8", "TMPDIR=" + tmp.path, "XDG_STATE_HOME=" + state.path});
    std::string got;
    ASSERT_TRUE(tty.read_until(got, "\t\x1b[7m", 60000)) << got;
    ASSERT_TRUE(tty.read_until(got, "\x1b[m", 10000)) << got;
    const std::string keys = between(got, "\t\x1b[7m", "\x1b[m") + "\r";
    ASSERT_EQ(write(tty.master(), keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
    // No answer is no; Ctrl-C at the question leaves as it would anywhere.
    ASSERT_TRUE(play.answer_again(tty, got, writable ? "\r" : "\x03")) << got;
    EXPECT_EQ(play.wait(tty, got, 20000), writable ? 0 : 130) << got;
    EXPECT_NE(got.find("Round over: you placed "), std::string::npos) << got;
    // In a window of no known width, the ranking's English whole.
    EXPECT_NE(got.find("\t결과를 출력합니다   (the ranking)\x1b[u"), std::string::npos) << got;
    EXPECT_TRUE(std::regex_search(
        got, std::regex("-->\t([0-9])+ 등   [0-9]+ 초   you   [0-9]+ 타/분   \\(\\1(st|nd|rd|th), "
                        "[0-9]+ s, [0-9]+ strokes a minute\\)\x1b\\[u")))
        << got;
    if (writable) {
      EXPECT_NE(got.find("Your personal best in english: 99999 strokes a minute."),
                std::string::npos)
          << got;
      std::ifstream kept(dir + "/play-best");
      std::stringstream text;
      text << kept.rdbuf();
      EXPECT_EQ(text.str(), "english 99999\nshort 7\n");
    } else {
      EXPECT_NE(got.find("Your best could not be kept in " + dir + "/play-best: Not a directory."),
                std::string::npos)
          << got;
    }
    EXPECT_TRUE(term.restored());
  }
}

TEST(PlayHelp, OnStandardOutputWithStatusZero) {
  harness::Scratch dir;
  auto res = harness::run(PLAY_BIN, {"--help"}, dir.path());
  EXPECT_EQ(res.status, 0);
  EXPECT_EQ(res.out.rfind("Usage: play [--type <word type>]", 0), 0u) << res.out;
  EXPECT_NE(res.out.find("$XDG_STATE_HOME/bbs-tools/play-best"), std::string::npos);
  EXPECT_EQ(res.err, "");
}

TEST(PlayRefuses, WithoutATerminalOrWithBadOptions) {
  harness::Scratch dir;
  auto res = harness::run(PLAY_BIN, {}, dir.path());
  EXPECT_EQ(res.status, 1);
  EXPECT_NE(res.err.find("standard input is not a terminal"), std::string::npos) << res.err;
  EXPECT_NE(res.err.find("make play"), std::string::npos);
  EXPECT_EQ(res.out, "");

  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
           {"--bogus"}, {"--type"}, {"--name", "nine_char"}, {"--name", "a b"}, {"--type", ""}}) {
    auto bad = harness::run(PLAY_BIN, args, dir.path());
    EXPECT_EQ(bad.status, 2) << args[0];
    EXPECT_EQ(bad.err.rfind("Usage: play", 0), 0u) << bad.err;
  }
}

TEST(PlayRefuses, ATerminalTooShortForTheRoom) {
  harness::Pty tty;
  CookedTerminal term(tty);
  winsize ws{};
  ws.ws_row = 20;
  ws.ws_col = 80;
  ASSERT_EQ(ioctl(tty.master(), TIOCSWINSZ, &ws), 0);
  Session play(tty, {}, {"LC_ALL=C.UTF-8"});
  std::string got;
  EXPECT_EQ(play.wait(tty, got, 20000), 1);
  EXPECT_NE(got.find("at least 23 rows; this one has 20"), std::string::npos) << got;
  EXPECT_TRUE(term.restored());
}

}  // namespace
