// Runs of the built typestart in a scratch working directory, with real
// pseudo-terminals as the players' terminals and rosters the tests rewrite mid-run.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "dir_helpers.h"
#include "harness.h"

namespace {

using harness::Pty;
using harness::Scratch;

const std::string kTitle = "##### \xC5\xB8\xC0\xDA\xB9\xE6 #####";
const std::string kNoArgs =
    "\xC0\xCE\xC0\xDA\xB8\xA6 \xB9\xDE\xC0\xBB\xBC\xF6 \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.";
const std::string kNoMenu =
    "\xC7\xF6\xC0\xE7 \xB4\xDC\xBE\xEE \xB8\xDE\xB4\xBA \xC6\xC4\xC0\xCF\xC0\xCC "
    "\xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9";
const std::string kNoWordFile =
    "\xC7\xF6\xC0\xE7 \xB4\xDC\xBE\xEE \xC6\xC4\xC0\xCF\xC0\xCC \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9";
const std::string kNoAnswerFile =
    "\xB9\xAE\xC1\xA6\xC7\xCA\xBF\xE4\xC6\xC4\xC0\xCF\xC0\xBB \xB8\xB8\xB5\xE9\xBC\xF6 "
    "\xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.";

std::string frame(const std::string& text) {
  return "\x1b[s\x1b[21;1H\n" + std::string(14, ' ') + text + "\x1b[u";
}

// Title and countdown; the countdown starts at <4> when the clock's second turned
// between the start and the first look.
std::string opening(int from) {
  std::string s = frame(kTitle);
  for (int i = from; i >= 0; --i) {
    char count[16];
    std::snprintf(count, sizeof count, "<%d>", i);
    s += frame(count);
  }
  return s;
}

bool is_opening(const std::string& got, const std::string& word_frame = "") {
  return got == opening(5) + word_frame || got == opening(4) + word_frame;
}

// A list of five records; the unseeded generator decides which one every run plays.
const char kFiveList[] = "11 w1\n12 w2\n13 w3\n14 w4\n15 w5\n";
std::string expected_word() {
  std::srand(1);  // the state an unseeded generator starts from
  const char* by_pick[] = {"w5", "w1", "w2"};
  return by_pick[std::rand() % 3];
}

void game_files(const Scratch& dir) {
  dir.write("frm/typegame/data.txt", "five 30 five.lst\nother 40 nosuch.lst\nlast 45 five.lst\n");
  dir.write("frm/typegame/five.lst", kFiveList);
}

std::string roster_rel(int room) {
  char rel[64];
  std::snprintf(rel, sizeof rel, "user/chat/rm_%02d.all", room);
  return rel;
}

void replace_roster(const Scratch& dir, int room, const std::vector<harness::RosterEntry>& entries,
                    std::time_t when) {
  dir.write("user/chat/new.tmp", harness::roster_bytes(entries));
  set_mtime(dir.file("user/chat/new.tmp"), when);
  ASSERT_EQ(rename(dir.file("user/chat/new.tmp").c_str(), dir.file(roster_rel(room)).c_str()), 0);
}

timespec mtime_of(const std::string& path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return st.st_mtim;
}

harness::Result start(const Scratch& dir, const std::vector<std::string>& args) {
  return harness::run(harness::program("typestart"), args, dir.path());
}

// `got` is whole lines of the run, from some line to the end.
bool is_tail_of_run(const std::string& got, const std::string& word) {
  for (int from : {5, 4}) {
    std::string whole = opening(from) + frame(word);
    if (got.size() <= whole.size() &&
        whole.compare(whole.size() - got.size(), got.size(), got) == 0 &&
        got.rfind("\x1b[s", 0) == 0)
      return true;
  }
  return false;
}

}  // namespace

TEST(TypestartRun, AnnouncesToTheGroupAndLeavesTheBareWord) {
  Scratch dir;
  Pty a, b, other;
  replace_roster(dir, 7,
                 {{2, a.name()}, {3, other.name()}, {2, ""}, {2, "    "}, {2, b.name() + " \r\n"}},
                 std::time(nullptr) - 100);
  const std::string roster = dir.read(roster_rel(7)).value();
  const timespec stamp = mtime_of(dir.file(roster_rel(7)));
  game_files(dir);
  // A link in the answer file's place is replaced, never written through.
  dir.write("victim", "an older word\n");
  ASSERT_EQ(symlink("../../victim", dir.file("frm/typegame/taja.72").c_str()), 0);

  auto res = harness::run(harness::program("typestart"), {"x", "2", "7", "unlisted"}, dir.path(),
                          {}, 120000, [] { umask(027); });  // plays the index's last record
  EXPECT_EQ(res.status, 0);
  EXPECT_EQ(res.out, "");
  EXPECT_EQ(res.err, "");
  const std::string word = expected_word();
  EXPECT_EQ(dir.read("frm/typegame/taja.72"), word);
  EXPECT_EQ(dir.read("victim"), "an older word\n");
  struct stat st {};
  ASSERT_EQ(lstat(dir.file("frm/typegame/taja.72").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0640u);  // as created directly: 0666 less the umask
  for (Pty* p : {&a, &b}) {
    std::string got = p->drain();
    EXPECT_TRUE(is_opening(got, frame(word))) << harness::euckr_to_utf8(got);
  }
  EXPECT_EQ(other.drain(), "");
  // The roster is only ever read.
  EXPECT_EQ(dir.read(roster_rel(7)), roster);
  const timespec after = mtime_of(dir.file(roster_rel(7)));
  EXPECT_EQ(after.tv_sec, stamp.tv_sec);
  EXPECT_EQ(after.tv_nsec, stamp.tv_nsec);
}

TEST(TypestartRun, EveryRunPlaysTheSameWordAndWordlessNumbersAreZero) {
  Scratch dir;
  Pty a;
  harness::write_roster(dir, 0, {{0, a.name()}});
  game_files(dir);
  auto first = start(dir, {"x", "abc", "zz", "five"});
  EXPECT_EQ(first.status, 0);
  std::string word = dir.read("frm/typegame/taja.00").value_or("<none>");
  EXPECT_EQ(word, expected_word());
  EXPECT_TRUE(is_opening(a.drain(), frame(word)));
  dir.remove("frm/typegame/taja.00");
  auto second = start(dir, {"x", "0", "0", "five"});
  EXPECT_EQ(second.status, 0);
  EXPECT_EQ(dir.read("frm/typegame/taja.00"), word);
  EXPECT_TRUE(is_opening(a.drain(), frame(word)));
}

TEST(TypestartRoster, NewTimeIsSeenAtTheNextLine) {
  Scratch dir;
  Pty leaves, joins;
  const std::time_t t = std::time(nullptr) - 100;
  replace_roster(dir, 7, {{2, leaves.name()}}, t);
  game_files(dir);
  harness::Proc proc(harness::program("typestart"), {"x", "2", "7", "five"}, dir.path());
  std::string before;
  ASSERT_TRUE(leaves.read_until(before, frame("<3>"), 10000)) << harness::euckr_to_utf8(before);
  replace_roster(dir, 7, {{2, joins.name()}}, t - 50);  // older is a change too
  EXPECT_EQ(proc.wait().status, 0);
  before += leaves.drain();
  std::string after = joins.drain();
  // Each line went to exactly one of them: the one who left heard the head of the run,
  // the one who joined everything from the reload on.
  const std::string word = expected_word();
  EXPECT_TRUE(is_opening(before + after, frame(word))) << harness::euckr_to_utf8(before + after);
  EXPECT_NE(after, "");
  EXPECT_EQ(after.find(kTitle), std::string::npos);
}

TEST(TypestartRoster, SameTimeIsNotReadAgain) {
  Scratch dir;
  Pty stays, unseen;
  const std::time_t t = std::time(nullptr) - 100;
  replace_roster(dir, 7, {{2, stays.name()}}, t);
  game_files(dir);
  harness::Proc proc(harness::program("typestart"), {"x", "2", "7", "five"}, dir.path());
  std::string got;
  ASSERT_TRUE(stays.read_until(got, frame("<3>"), 10000));
  replace_roster(dir, 7, {{2, unseen.name()}}, t);
  EXPECT_EQ(proc.wait().status, 0);
  got += stays.drain();
  EXPECT_TRUE(is_opening(got, frame(expected_word()))) << harness::euckr_to_utf8(got);
  EXPECT_EQ(unseen.drain(), "");
}

TEST(TypestartRoster, RosterThatGoesOrComesMidway) {
  // Removed during the countdown: nobody hears the rest, and nothing recreates it.
  Scratch gone_dir;
  Pty gone;
  replace_roster(gone_dir, 7, {{2, gone.name()}}, std::time(nullptr) - 100);
  game_files(gone_dir);
  harness::Proc gone_run(harness::program("typestart"), {"x", "2", "7", "five"}, gone_dir.path());

  // Missing at the start and written later: heard from then on.
  Scratch come_dir;
  Pty come;
  game_files(come_dir);
  harness::Proc come_run(harness::program("typestart"), {"x", "2", "7", "five"}, come_dir.path());

  std::string got;
  ASSERT_TRUE(gone.read_until(got, frame("<3>"), 10000));
  gone_dir.remove(roster_rel(7));
  EXPECT_FALSE(come_dir.exists(roster_rel(7)));
  replace_roster(come_dir, 7, {{2, come.name()}}, std::time(nullptr) - 100);

  EXPECT_EQ(gone_run.wait().status, 0);
  EXPECT_EQ(come_run.wait().status, 0);
  got += gone.drain();
  EXPECT_TRUE(got == opening(5).substr(0, got.size()) || got == opening(4).substr(0, got.size()));
  EXPECT_NE(got.find(frame("<3>")), std::string::npos);
  EXPECT_EQ(got.find(frame("<0>")), std::string::npos);
  EXPECT_FALSE(gone_dir.exists(roster_rel(7)));
  std::string late = come.drain();
  EXPECT_TRUE(is_tail_of_run(late, expected_word())) << harness::euckr_to_utf8(late);
  EXPECT_NE(late.find(frame(expected_word())), std::string::npos);
}

TEST(TypestartFailure, EachStopsWithItsMessageAndNoWordGoesOut) {
  struct Case {
    const char* what;
    std::string index;  // none when empty
    std::string list;   // five.lst, none when empty
    bool answer_is_dir;
    std::string err;
    bool word_seen;
    long size_limit = 0;  // none when 0; the answer file then holds an older word
  };
  // Words longer than the message, so the size limit stops the word and not the message.
  const std::string pad(98, 'x');
  std::string long_five;
  for (int i = 1; i <= 5; ++i) {
    char head[16];
    std::snprintf(head, sizeof head, "1%d w%d", i, i);
    long_five += head + pad + "\n";
  }
  const std::vector<Case> cases = {
      {"no index", "", kFiveList, false, kNoMenu + ": No such file or directory\n", false},
      {"index without a record", " \n\n", kFiveList, false, kNoMenu + ": No data available\n",
       false},
      {"index without a file name", "five 30\n", kFiveList, false,
       kNoMenu + ": No data available\n", false},
      {"no word list", "five 30 nosuch.lst\n", kFiveList, false,
       kNoWordFile + ": No such file or directory\n", false},
      {"word list without a record", "five 30 five.lst\n", "  \nwords\n", false,
       kNoWordFile + ": No data available\n", false},
      {"record without a word", "five 30 five.lst\n", "17\n", false,
       kNoWordFile + ": No data available\n", false},
      {"answer file can't be made", "five 30 five.lst\n", kFiveList, true,
       kNoAnswerFile + ": Is a directory\n", true},
      {"answer file over the size limit", "five 30 five.lst\n", long_five, false,
       kNoAnswerFile + ": File too large\n", true, 80},
  };
  struct Running {
    std::unique_ptr<Scratch> dir = std::make_unique<Scratch>();
    std::unique_ptr<Pty> pty = std::make_unique<Pty>();
    std::unique_ptr<harness::Proc> proc;
  };
  // All at once: each takes the length of a countdown.
  std::vector<Running> runs(cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    Running& r = runs[i];
    harness::write_roster(*r.dir, 7, {{2, r.pty->name()}});
    if (!c.index.empty()) r.dir->write("frm/typegame/data.txt", c.index);
    r.dir->write("frm/typegame/five.lst", c.list);
    if (c.answer_is_dir) mkdir(r.dir->file("frm/typegame/taja.72").c_str(), 0755);
    if (c.size_limit) r.dir->write("frm/typegame/taja.72", "older");
    r.proc = std::make_unique<harness::Proc>(
        harness::program("typestart"), std::vector<std::string>{"x", "2", "7", "five"},
        r.dir->path(), std::vector<std::string>{},
        c.size_limit ? harness::file_size_limit(c.size_limit) : harness::ChildSetup{});
  }
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    Running& r = runs[i];
    auto res = r.proc->wait();
    EXPECT_EQ(res.status, 1) << c.what;
    EXPECT_EQ(res.err, c.err) << c.what << ": " << harness::euckr_to_utf8(res.err);
    EXPECT_EQ(res.out, "") << c.what;
    std::string got = r.pty->drain();
    const std::string word = expected_word() + (c.size_limit ? pad : "");
    EXPECT_TRUE(is_opening(got, c.word_seen ? frame(word) : ""))
        << c.what << ": " << harness::euckr_to_utf8(got);
    struct stat st {};
    bool answer = stat(r.dir->file("frm/typegame/taja.72").c_str(), &st) == 0;
    EXPECT_EQ(answer, c.answer_is_dir || c.size_limit) << c.what;
    // A failed write leaves the older word, whole, and nothing beside it.
    if (c.size_limit) {
      EXPECT_EQ(r.dir->read("frm/typegame/taja.72"), "older");
    }
    for (const auto& e : std::filesystem::directory_iterator(r.dir->file("frm/typegame")))
      EXPECT_EQ(e.path().filename().string().find("taja.72."), std::string::npos) << e.path();
  }
}

TEST(TypestartFailure, TooFewArgumentsDoNothing) {
  Scratch dir;
  Pty a;
  harness::write_roster(dir, 7, {{2, a.name()}});
  game_files(dir);
  for (const auto& args : {std::vector<std::string>{"x", "2", "7"}, std::vector<std::string>{}}) {
    auto res = start(dir, args);
    EXPECT_EQ(res.status, 1);
    EXPECT_EQ(res.err.rfind(kNoArgs + ": ", 0), 0u) << res.err;
    EXPECT_EQ(res.err, kNoArgs + ": Invalid argument\n");
    EXPECT_EQ(res.out, "");
  }
  EXPECT_EQ(a.drain(), "");
  EXPECT_FALSE(dir.exists("frm/typegame/taja.72"));
  EXPECT_FALSE(dir.exists("frm/typegame/taja.00"));
}

TEST(TypestartRoster, NamesAreCleanedThenJudgedAndSlotsEndAtAHundred) {
  Scratch dir;
  Pty padded, dotted, last, beyond;
  // A plain file under /dev must never be written, whatever the roster says.
  char shm[32];
  int fd = -1;
  for (int i = 0; fd < 0 && i < 100; ++i) {
    std::snprintf(shm, sizeof shm, "/dev/shm/s%03d", (getpid() + i) % 1000);
    fd = open(shm, O_WRONLY | O_CREAT | O_EXCL, 0600);
  }
  ASSERT_GE(fd, 0);
  close(fd);

  std::vector<harness::RosterEntry> roster;
  roster.push_back({2, "  " + padded.name() + "  "});  // too long until cleaned
  roster.push_back({2, "././" + dotted.name()});       // the same device, but too long
  roster.push_back({2, shm + 5});
  roster.push_back({2, ""});
  roster.push_back({3, beyond.name()});
  while (roster.size() < 5 + 96) roster.push_back({2, "nosuch"});
  roster.push_back({2, last.name()});  // the hundredth slot
  roster.push_back({2, beyond.name()});
  harness::write_roster(dir, 7, roster);
  game_files(dir);

  auto res = start(dir, {"x", "2", "7", "five"});
  EXPECT_EQ(res.status, 0);
  const std::string word_frame = frame(expected_word());
  for (Pty* p : {&padded, &last}) {
    std::string got = p->drain();
    EXPECT_TRUE(is_opening(got, word_frame)) << harness::euckr_to_utf8(got);
  }
  EXPECT_EQ(dotted.drain(), "");
  EXPECT_EQ(beyond.drain(), "");
  struct stat st {};
  ASSERT_EQ(stat(shm, &st), 0);
  EXPECT_EQ(st.st_size, 0);
  unlink(shm);
}

TEST(TypestartRun, ConfinedToTheGameFilesAndTheTerminals) {
  if (!harness::landlock_available()) GTEST_SKIP() << "this kernel has no Landlock";
  Scratch dir;
  Pty a;
  harness::write_roster(dir, 7, {{2, a.name()}});
  game_files(dir);
  harness::Probe probe(dir.file("frm/typegame"));
  auto res = harness::run(harness::program("typestart"), {"x", "2", "7", "five"}, dir.path(),
                          probe.env(), 120000, probe.setup());
  EXPECT_EQ(res.status, 0);
  EXPECT_EQ(res.err, "");
  EXPECT_EQ(dir.read("frm/typegame/taja.72"), expected_word());
  EXPECT_TRUE(is_opening(a.drain(), frame(expected_word())));
  EXPECT_EQ(probe.report("typestart"), "outside=refused inside=made run=refused");
}
