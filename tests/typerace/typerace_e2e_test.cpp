// Whole rounds of the built typerace in a scratch working directory, with real
// pseudo-terminals as the players' terminals and the server's parts played here.

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"
#include "round_view.h"

namespace {

using harness::Pty;
using harness::Scratch;
using namespace round_view;

bool wait_for_file(const Scratch& dir, const std::string& rel, int ms) {
  for (int i = 0; i < ms / 10; ++i) {
    if (dir.exists(rel)) return true;
    usleep(10000);
  }
  return dir.exists(rel);
}

}  // namespace

TEST(TyperaceRound, WholeRoundRanksFinishersInFileOrder) {
  Scratch dir;
  Pty a, b, other;
  harness::write_roster(dir, 7, {{2, a.name()}, {3, other.name()}, {2, ""}, {2, b.name()}});
  dir.write("frm/typegame/data.txt", "short 3 short.lst\nother 9 other.lst\n");
  dir.write("frm/typegame/short.lst", "5 hello\n");

  harness::ChatEngine engine(dir, 7, 2,
                             {{1, "alice"},
                              {1, "garbage without a finish time", "", true},
                              {2, "verylongname1"},
                              {2, "carol"}});
  auto res = harness::run(harness::program("typerace"), {"x", "2", "7", "short"}, dir.path());
  EXPECT_EQ(engine.join(), "hello");
  EXPECT_EQ(res.status, 0);
  EXPECT_EQ(res.out, "");
  EXPECT_EQ(res.err, "");

  // The ledger: one line per finisher, the malformed line takes no rank, the long id is cut.
  std::vector<std::string> lines = ledger_lines(dir);
  ASSERT_EQ(lines.size(), 3u);
  const std::regex form(
      R"(^ {0,10}(\S+)   2 ([ \d]\d) ([ \d]\d) ([ \d]\d) ([ \d]\d) ([ \d]\d) {16}short   ([123]) ([ \d]{2}\d) ([ \d]\d) ([ \d]{3}\d)$)");
  const char* users[] = {"alice", "verylong", "carol"};
  const int delays[] = {1, 2, 2};
  std::string ranking = frame(kResults);
  for (int i = 0; i < 3; ++i) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[i], m, form)) << lines[i];
    EXPECT_EQ(m[1], users[i]);
    EXPECT_EQ(lines[i].size(), 66u);
    int elapsed = std::stoi(m[8]);
    int rank = std::stoi(m[9]);
    int speed = std::stoi(m[10]);
    EXPECT_EQ(rank, i + 1);
    EXPECT_GE(elapsed, delays[i] - 1);
    EXPECT_LE(elapsed, delays[i] + 1);
    EXPECT_EQ(speed, 5 * 60 / (elapsed < 1 ? 1 : elapsed));
    ranking +=
        frame(std::to_string(rank) + " " + kRank + "   " + std::to_string(elapsed) + " " +
              kSeconds + "   " + users[i] + "   " + std::to_string(speed) + " " + kPerMinute);
  }

  for (Pty* p : {&a, &b}) {
    std::string got = p->drain();
    std::size_t rest = 0;
    ASSERT_TRUE(opens_round(got, "short", "hello", &rest)) << harness::euckr_to_utf8(got);
    EXPECT_EQ(got.substr(rest), ranking) << harness::euckr_to_utf8(got.substr(rest));
  }
  EXPECT_EQ(other.drain(), "");  // another group in the same room hears nothing

  EXPECT_FALSE(dir.exists("frm/typegame/taja.72"));
  EXPECT_FALSE(dir.exists("frm/typegame/chatmess.72"));
}

TEST(TyperaceRound, UnknownTypePlaysTheLastRecordAndStaleResultsAreDropped) {
  Scratch dir;
  Pty a;
  harness::write_roster(dir, 12, {{3, a.name()}});
  dir.write("frm/typegame/data.txt", "a 100 a.lst\nb 1 b.lst\n");
  dir.write("frm/typegame/a.lst", "3 apple\n");
  dir.write("frm/typegame/b.lst", "4 banana\n4 banana\n4 banana\n");
  // Left over from an earlier round: never ranked in this one.
  dir.write("frm/typegame/chatmess.123", "1000 ghost x\n");

  harness::ChatEngine engine(dir, 12, 3, {});
  auto res = harness::run(harness::program("typerace"), {"x", "3", "12", "zzz"}, dir.path());
  EXPECT_EQ(engine.join(), "banana");
  EXPECT_EQ(res.status, 0);
  std::string got = a.drain();
  std::size_t rest = 0;
  ASSERT_TRUE(opens_round(got, "zzz", "banana", &rest)) << harness::euckr_to_utf8(got);
  EXPECT_EQ(got.substr(rest), frame(kNoResults));
  EXPECT_TRUE(ledger_lines(dir).empty());
  EXPECT_FALSE(dir.exists("frm/typegame/taja.123"));
  EXPECT_FALSE(dir.exists("frm/typegame/chatmess.123"));
}

TEST(TyperaceRound, BusyRoomEndsAtOnceAndTouchesNothing) {
  Scratch dir;
  Pty a;
  harness::write_roster(dir, 1, {{23, a.name()}});
  dir.write("frm/typegame/data.txt", "short 3 short.lst\n");
  dir.write("frm/typegame/short.lst", "5 hello\n");
  // Room 12 group 3 holds taja.123, which is also room 1 group 23's answer file.
  dir.write("frm/typegame/taja.123", "running");
  dir.write("frm/typegame/chatmess.123", "1 somebody x\n");

  auto res = harness::run(harness::program("typerace"), {"x", "23", "1", "short"}, dir.path());
  EXPECT_EQ(res.status, 1);
  EXPECT_EQ(res.out, "");
  EXPECT_EQ(res.err, "");
  EXPECT_EQ(a.drain(), "");
  EXPECT_EQ(dir.read("frm/typegame/taja.123"), "running");
  EXPECT_EQ(dir.read("frm/typegame/chatmess.123"), "1 somebody x\n");
}

TEST(TyperaceRound, TooFewArguments) {
  Scratch dir;
  auto res = harness::run(harness::program("typerace"), {"x", "2", "7"}, dir.path());
  EXPECT_EQ(res.status, 1);
  EXPECT_EQ(res.err.rfind(kNoArgs + ": ", 0), 0u) << res.err;
  EXPECT_EQ(res.err, kNoArgs + ": Invalid argument\n");  // the reason typestart gives too
  EXPECT_EQ(res.err.back(), '\n');
  EXPECT_EQ(res.out, "");
  EXPECT_FALSE(dir.exists("frm/typegame/taja.72"));
}

TEST(TyperaceRound, MissingWordListFreesTheRoom) {
  Scratch dir;
  Pty first100, beyond100;
  // The broadcast reaches the group's first 100 roster entries and no more; a name
  // that leads to a plain file is never written.
  char shm[32];
  int fd = -1;
  for (int i = 0; fd < 0 && i < 100; ++i) {
    std::snprintf(shm, sizeof shm, "/dev/shm/r%03d", (getpid() + i) % 1000);
    fd = open(shm, O_WRONLY | O_CREAT | O_EXCL, 0600);
  }
  ASSERT_GE(fd, 0);
  close(fd);
  std::vector<harness::RosterEntry> roster;
  roster.push_back({5, shm + 5});
  for (int i = 0; i < 98; ++i) roster.push_back({5, "nosuch" + std::to_string(i % 10)});
  roster.push_back({6, beyond100.name()});  // other groups take no place
  roster.push_back({5, first100.name()});
  roster.push_back({5, beyond100.name()});
  harness::write_roster(dir, 4, roster);
  dir.write("frm/typegame/data.txt", "short 3 short.lst\nlast 3 missing.lst\n");
  dir.write("frm/typegame/short.lst", "5 hello\n");

  std::string type(300, 't');
  auto res = harness::run(harness::program("typerace"), {"x", "5", "4", type}, dir.path());
  EXPECT_EQ(res.status, 1);
  EXPECT_EQ(res.err, kNoWordFile + ": No such file or directory\n");
  EXPECT_EQ(res.out, "");
  EXPECT_FALSE(dir.exists("frm/typegame/taja.45"));
  // The word type is held in 99 bytes.
  EXPECT_EQ(first100.drain(), frame(kTitle) + frame(kTypeIs + std::string(99, 't')));
  EXPECT_EQ(beyond100.drain(), "");
  struct stat st;
  ASSERT_EQ(stat(shm, &st), 0);
  EXPECT_EQ(st.st_size, 0);
  unlink(shm);
}

TEST(TyperaceRound, WordListWithoutARecordFreesTheRoom) {
  Scratch dir;
  dir.write("frm/typegame/data.txt", "short 3 short.lst\n");
  dir.write("frm/typegame/short.lst", "  \n17\n");
  auto res = harness::run(harness::program("typerace"), {"x", "2", "7", "short"}, dir.path());
  EXPECT_EQ(res.status, 1);
  EXPECT_EQ(res.err, kNoWordFile + ": No data available\n");
  EXPECT_FALSE(dir.exists("frm/typegame/taja.72"));
}

TEST(TyperaceRound, EndingSignalsRemoveTheRoundsFiles) {
  // Every signal that can end a round, each to a round of its own room, all at once.
  const int sigs[] = {SIGTERM, SIGHUP,  SIGINT,  SIGQUIT,   SIGUSR1,
                      SIGUSR2, SIGALRM, SIGXCPU, SIGVTALRM, SIGPROF};
  Scratch dir;
  dir.write("frm/typegame/data.txt", "short 300 short.lst\n");
  dir.write("frm/typegame/short.lst", "5 hello\n");
  std::vector<std::unique_ptr<Pty>> ptys;
  std::vector<std::unique_ptr<harness::Proc>> procs;
  for (int room = 1; room <= 10; ++room) {
    ptys.push_back(std::make_unique<Pty>());
    harness::write_roster(dir, room, {{2, ptys.back()->name()}});
    procs.push_back(std::make_unique<harness::Proc>(
        harness::program("typerace"),
        std::vector<std::string>{"x", "2", std::to_string(room), "short"}, dir.path()));
  }
  for (int i = 0; i < 10; ++i) {
    std::string got;
    ASSERT_TRUE(ptys[i]->read_until(got, frame("<3>"), 20000)) << sigs[i];
    dir.write("frm/typegame/chatmess." + std::to_string(i + 1) + "2", "1 early x\n");
    procs[i]->signal(sigs[i]);
  }
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(procs[i]->wait(10000).status, 128 + sigs[i]);
    EXPECT_FALSE(dir.exists("frm/typegame/taja." + std::to_string(i + 1) + "2")) << sigs[i];
    EXPECT_FALSE(dir.exists("frm/typegame/chatmess." + std::to_string(i + 1) + "2")) << sigs[i];
  }
}

TEST(TyperaceRound, SignalWhileTouchRunsIsNotLostAndAStderrNobodyReadsFreesTheRoom) {
  Scratch dir;
  dir.write("frm/typegame/data.txt", "short 300 short.lst\nlost 3 missing.lst\n");
  dir.write("frm/typegame/short.lst", "5 hello\n");
  // A touch that takes its time, so the signal surely lands while the shell runs it; it
  // marks its start where the round may write.
  std::filesystem::create_directory(dir.file("slowbin"));
  dir.symlink("slowbin/touch", SLOW_TOUCH_BIN);
  harness::Proc slow(harness::program("typerace"), {"x", "2", "7", "short"}, dir.path(),
                     {"PATH=" + dir.file("slowbin") + ":/usr/bin:/bin",
                      "SLOW_TOUCH_STARTED=" + dir.file("user/chat/started")});
  ASSERT_TRUE(wait_for_file(dir, "user/chat/started", 10000));
  slow.signal(SIGINT);
  EXPECT_EQ(slow.wait(10000).status, 128 + SIGINT);
  EXPECT_FALSE(dir.exists("frm/typegame/taja.72"));

  // The message for a missing word list meets a closed pipe: no SIGPIPE, the room is free.
  auto res = harness::run(harness::program("typerace"), {"x", "3", "7", "lost"}, dir.path(), {},
                          20000, harness::stderr_unread());
  EXPECT_EQ(res.status, 1);
  EXPECT_FALSE(dir.exists("frm/typegame/taja.73"));
}

TEST(TyperaceRound, StaleClaimsAreTakenOverLiveOnesNever) {
  Scratch dir;
  dir.write("frm/typegame/data.txt", "short 1 short.lst\nlong 20 short.lst\n");
  dir.write("frm/typegame/short.lst", "5 hello\n");
  // Older than a whole round could be (5 + 20 + 60 s), or dated that far ahead; the times
  // keep clear of that bound, however slowly the rounds start.
  const std::time_t now = std::time(nullptr);
  struct Case {
    int room;
    std::time_t mtime;
    bool locked;
    int want;
  } cases[] = {{1, now - 86, true, 1},
               {2, now - 40, false, 1},
               {3, now - 86, false, 0},
               {4, now + 3600, false, 0},
               {5, now, false, 1}};
  std::vector<int> held;
  std::vector<std::unique_ptr<harness::Proc>> procs;
  for (const Case& c : cases) {
    const std::string rel = "frm/typegame/taja." + std::to_string(c.room) + "2";
    dir.write(rel, "left behind");
    harness::set_mtime(dir.file(rel), c.mtime);
    if (c.locked) {
      held.push_back(open(dir.file(rel).c_str(), O_RDONLY));
      ASSERT_EQ(flock(held.back(), LOCK_EX | LOCK_NB), 0);
    }
  }
  // Room 6: one stale file, four rounds started for it at once; exactly one plays.
  dir.write("frm/typegame/taja.62", "");
  harness::set_mtime(dir.file("frm/typegame/taja.62"), now - 3600);
  for (const Case& c : cases)
    procs.push_back(std::make_unique<harness::Proc>(
        harness::program("typerace"),
        std::vector<std::string>{"x", "2", std::to_string(c.room), "short"}, dir.path()));
  for (int i = 0; i < 4; ++i)
    procs.push_back(std::make_unique<harness::Proc>(
        harness::program("typerace"), std::vector<std::string>{"x", "2", "6", "short"},
        dir.path()));

  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const harness::Result r = procs[i]->wait(30000);
    EXPECT_EQ(r.status, cases[i].want) << cases[i].room;
    EXPECT_EQ(r.err, "") << cases[i].room;  // a room found busy says nothing
    const std::string rel = "frm/typegame/taja." + std::to_string(cases[i].room) + "2";
    // Taken over: the round ran and removed it. Left alone: not a byte changed.
    EXPECT_EQ(dir.read(rel),
              cases[i].want ? std::optional<std::string>("left behind") : std::nullopt)
        << cases[i].room;
  }
  int played = 0;
  for (std::size_t i = std::size(cases); i < procs.size(); ++i) {
    const harness::Result r = procs[i]->wait(30000);
    const int status = r.status;
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(status == 0 || status == 1) << status;
    played += status == 0;
  }
  EXPECT_EQ(played, 1);
  EXPECT_FALSE(dir.exists("frm/typegame/taja.62"));
  for (int fd : held) close(fd);
}

namespace {

// The countdown values a terminal received, in order.
std::vector<int> countdown_values(const std::string& got) {
  std::vector<int> out;
  std::smatch m;
  const std::regex line("\t<(-?[0-9]+)>\x1b\\[u");
  for (auto it = std::sregex_iterator(got.begin(), got.end(), line); it != std::sregex_iterator();
       ++it)
    out.push_back(std::stoi((*it)[1]));
  return out;
}

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

TEST(TyperaceRound, ClockStepsAndStallsKeepTheRoundToItsLength) {
  if (access("/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1", R_OK) != 0)
    FAIL() << "libfaketime is not installed";
  Scratch dir;
  Pty stepped, stalled;
  harness::write_roster(dir, 7, {{2, stepped.name()}, {3, stalled.name()}});
  dir.write("frm/typegame/data.txt", "short 4 short.lst\n");
  dir.write("frm/typegame/short.lst", "5 hello\n");
  harness::SteppedClock clock(dir);
  const auto t0 = std::chrono::steady_clock::now();
  harness::Proc a(harness::program("typerace"), {"x", "2", "7", "short"}, dir.path(), clock.env());
  harness::Proc b(harness::program("typerace"), {"x", "3", "7", "short"}, dir.path());

  // One is set back an hour in its countdown and forward two in its wait; the other stops
  // for three seconds in its countdown.
  std::string got_a, got_b;
  ASSERT_TRUE(stepped.read_until(got_a, frame("<4>"), 10000));
  clock.set_offset(-3600);
  ASSERT_TRUE(stalled.read_until(got_b, frame("<4>"), 10000));
  b.signal(SIGSTOP);
  const auto stopped = std::chrono::steady_clock::now();
  ASSERT_TRUE(stepped.read_until(got_a, "\x1b[m\n", 10000));
  clock.set_offset(3600);
  usleep(static_cast<useconds_t>(std::max(0.0, 3.0 - seconds_since(stopped)) * 1e6));
  b.signal(SIGCONT);

  EXPECT_EQ(a.wait(30000).status, 0);
  // Five seconds of countdown and four of wait, give or take a second and the ranking.
  const double took = seconds_since(t0);
  EXPECT_GT(took, 6.5);
  EXPECT_LT(took, 20.0);  // unmended, the step back alone holds the round for an hour
  EXPECT_EQ(b.wait(30000).status, 0);
  got_a += stepped.drain();
  got_b += stalled.drain();
  const std::vector<int> a_values = countdown_values(got_a), b_values = countdown_values(got_b);
  EXPECT_TRUE(a_values == std::vector<int>({5, 4, 3, 2, 1, 0}) ||
              a_values == std::vector<int>({4, 3, 2, 1, 0}))
      << harness::euckr_to_utf8(got_a);
  // After the stall the value due comes next; none twice, none below zero.
  ASSERT_GE(b_values.size(), 3u) << got_b;
  EXPECT_EQ(b_values.back(), 0);
  for (std::size_t i = 1; i < b_values.size(); ++i) EXPECT_LT(b_values[i], b_values[i - 1]);
  EXPECT_LE(b_values.size(), 4u) << harness::euckr_to_utf8(got_b);
}

TEST(TyperaceRound, ControlBytesAreMaskedAndCutsEndOnCharacters) {
  Scratch dir;
  Pty a;
  harness::write_roster(dir, 7, {{2, a.name()}});
  dir.write("frm/typegame/data.txt", "short 2 short.lst\n");
  // 176 bytes would end inside the 88th Korean character.
  std::string korean;
  for (int i = 0; i < 90; ++i) korean += "\xB0\xA1";
  dir.write("frm/typegame/short.lst", "5 x" + korean + "\n");
  harness::ChatEngine engine(dir, 7, 2, {{0, "ev\x1b]0;x\x07"}});
  // Unlisted, so the last record plays; 99 bytes would end inside a character too.
  std::string type = "t\x1b[2J\nFAKE" + korean;
  auto res = harness::run(harness::program("typerace"), {"x", "2", "7", type}, dir.path());
  EXPECT_EQ(res.status, 0);
  const std::string word = "x" + korean.substr(0, 174);
  EXPECT_EQ(engine.join(), word);

  const std::string shown = "t?[2J?FAKE" + korean.substr(0, 88);
  std::string got = a.drain();
  std::size_t rest = 0;
  ASSERT_TRUE(opens_round(got, shown, word, &rest)) << harness::euckr_to_utf8(got);
  EXPECT_NE(got.find("   ev?]0;x?   "), std::string::npos) << harness::euckr_to_utf8(got);
  std::vector<std::string> lines = ledger_lines(dir);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].substr(0, 11), "  ev?]0;x? ");
  EXPECT_NE(lines[0].find(" " + shown + " "), std::string::npos);
}

TEST(TyperaceRound, FullLedgerTakesWholeLinesOrNone) {
  Scratch dir;
  harness::write_roster(dir, 7, {});
  dir.write("frm/typegame/data.txt", "short 1 short.lst\n");
  dir.write("frm/typegame/short.lst", "5 hello\n");
  const std::string ledger = harness::this_months_ledger();
  const std::string before = "     early   1 26 12  8  9  5                short   3  12  1  150\n";
  dir.write(ledger, before);
  {
    // Room for half a line: the line is taken back, the round still ends well.
    harness::ChatEngine engine(dir, 7, 2, {{0, "alice"}});
    auto res = harness::run(harness::program("typerace"), {"x", "2", "7", "short"}, dir.path(), {},
                            30000, harness::file_size_limit(static_cast<long>(before.size()) + 30));
    engine.join();
    EXPECT_EQ(res.status, 0);
    EXPECT_EQ(dir.read(ledger), before);
    EXPECT_FALSE(dir.exists("frm/typegame/taja.72"));
    EXPECT_FALSE(dir.exists("frm/typegame/chatmess.72"));
  }
  // A fragment something else left: the next line still starts a line of its own.
  dir.append(ledger, "   torn");
  harness::ChatEngine engine(dir, 7, 2, {{0, "bob"}});
  EXPECT_EQ(harness::run(harness::program("typerace"), {"x", "2", "7", "short"}, dir.path()).status,
            0);
  engine.join();
  std::vector<std::string> lines = ledger_lines(dir);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], "   torn");
  EXPECT_EQ(lines[2].substr(0, 10), "       bob");
}

TEST(TyperaceRound, FallbackListsWhenTheIndexIsMissing) {
  Scratch dir;
  Pty a;
  for (int k = 1; k <= 10; ++k) {
    char name[64];
    std::snprintf(name, sizeof name, "frm/typegame/data%2d,dat", k);
    dir.write(name, "3 word" + std::to_string(k) + "\n");
  }
  // No roster yet: the first announcement creates it through touch.
  harness::ChatEngine engine(dir, 7, 2, {});
  harness::Proc proc(harness::program("typerace"), {"x", "2", "7", "short"}, dir.path());
  ASSERT_TRUE(wait_for_file(dir, "user/chat/rm_07.all", 5000));
  EXPECT_EQ(dir.read("user/chat/rm_07.all"), "");
  std::string word = engine.join();
  std::smatch m;
  ASSERT_TRUE(std::regex_match(word, m, std::regex("word([0-9]+)"))) << word;
  int k = std::stoi(m[1]);
  EXPECT_GE(k, 1);
  EXPECT_LE(k, 10);
  // The fallback lists bring no time limit; the round must leave time to type.
  sleep(3);
  EXPECT_TRUE(dir.exists("frm/typegame/taja.72"));
  proc.signal(SIGTERM);
  EXPECT_EQ(proc.wait(10000).status, 128 + SIGTERM);
  EXPECT_FALSE(dir.exists("frm/typegame/taja.72"));
}

namespace {

// A short round of room 7, group 2, on `dir`, heard by `a`, with alice finishing: true
// when the room saw the whole round and its ranking, with alice first.
bool plays_round_for_alice(const Scratch& dir, Pty& a, const std::vector<std::string>& env = {},
                           const harness::ChildSetup& setup = {}) {
  harness::write_roster(dir, 7, {{2, a.name()}});
  dir.write("frm/typegame/data.txt", "short 2 short.lst\n");
  dir.write("frm/typegame/short.lst", "5 hello\n");
  harness::ChatEngine engine(dir, 7, 2, {{1, "alice"}});
  auto res = harness::run(harness::program("typerace"), {"x", "2", "7", "short"}, dir.path(), env,
                          120000, setup);
  EXPECT_EQ(engine.join(), "hello");
  EXPECT_EQ(res.status, 0);
  EXPECT_EQ(res.err, "");
  const std::string got = a.drain();
  std::size_t rest = 0;
  return opens_round(got, "short", "hello", &rest) &&
         got.compare(rest, frame(kResults).size(), frame(kResults)) == 0 &&
         got.find("   alice   ", rest) != std::string::npos;
}

}  // namespace

TEST(TyperaceConfined, WritesOnlyItsTreesAndTheTerminalsAndStartsOnlyTheShellAndTouch) {
  if (!harness::landlock_available()) GTEST_SKIP() << "this kernel has no Landlock";
  Scratch dir;
  Pty a;
  harness::Probe probe(dir.file("frm/typegame"));
  EXPECT_TRUE(plays_round_for_alice(dir, a, probe.env(), probe.setup()));
  ASSERT_EQ(ledger_lines(dir).size(), 1u);
  EXPECT_EQ(probe.report("typerace"), "outside=refused inside=made run=refused");
  EXPECT_EQ(probe.report("touch"), "outside=refused inside=made run=refused");
}

TEST(TyperaceConfined, GameFilesAndLedgersLinkedToAnotherDiskStillPlayAWholeRound) {
  Scratch dir, disk;
  for (const char* rel : {"frm", "user/score"}) {
    std::filesystem::remove_all(dir.file(rel));
    dir.symlink(rel, disk.file(rel));
  }
  Pty a;
  harness::Probe probe(dir.file("frm/typegame"));
  EXPECT_TRUE(plays_round_for_alice(dir, a, probe.env(), probe.setup()));
  if (harness::landlock_available()) {
    EXPECT_EQ(probe.report("typerace"), "outside=refused inside=made run=refused");
  }
  const std::vector<std::string> lines = ledger_lines(disk);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].substr(0, 10), "     alice");
  EXPECT_TRUE(disk.exists("frm/typegame/short.lst"));
  EXPECT_FALSE(disk.exists("frm/typegame/taja.72"));
}
