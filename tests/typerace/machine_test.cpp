// What an operator's machine may do to a round, beyond bad data: signals the server
// ignores, a file-size limit below the word, FIFOs and links in the data files' places, a
// results file that keeps growing, a umask that would lock the next round out. typerace
// and typestart alike.

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <string>
#include <thread>

#include "harness.h"
#include "round_view.h"

namespace {

using harness::Pty;
using harness::Scratch;
using namespace round_view;

const std::string kNoAnswerFile =
    "\xB9\xAE\xC1\xA6\xC7\xCA\xBF\xE4\xC6\xC4\xC0\xCF\xC0\xCC \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.";
const std::string kNoMenu =
    "\xC7\xF6\xC0\xE7 \xB4\xDC\xBE\xEE \xB8\xDE\xB4\xBA \xC6\xC4\xC0\xCF\xC0\xCC "
    "\xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9";
const std::string kNoList =
    "\xC7\xF6\xC0\xE7 \xB4\xDC\xBE\xEE \xC6\xC4\xC0\xCF\xC0\xCC \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9";
const std::string kWordOn = "\x1b[7m";

harness::Result typerace(const Scratch& dir, int group, int room, const std::string& type,
                         const harness::ChildSetup& setup = {}) {
  return harness::run(harness::program("typerace"),
                      {"x", std::to_string(group), std::to_string(room), type}, dir.path(), {},
                      30000, setup);
}

mode_t mode_of(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

}  // namespace

TEST(MachineFaults, SignalsTheServerIgnoresStayIgnored) {
  Scratch dir;
  Pty a, b;
  harness::write_roster(dir, 7, {{2, a.name()}, {3, b.name()}});
  dir.write("frm/typegame/data.txt", "short 2 short.lst\n");
  dir.write("frm/typegame/short.lst", "5 hello\n");
  const auto ignored = harness::ignoring({SIGHUP, SIGINT, SIGQUIT});
  harness::ChatEngine engine(dir, 7, 2, {{1, "alice"}});
  harness::Proc race(harness::program("typerace"), {"x", "2", "7", "short"}, dir.path(), {},
                     ignored);
  harness::Proc start(harness::program("typestart"), {"x", "3", "7", "short"}, dir.path(), {},
                      ignored);
  std::string got_a, got_b;
  ASSERT_TRUE(a.read_until(got_a, frame("<3>"), 20000));
  ASSERT_TRUE(b.read_until(got_b, "<3>", 20000));
  for (int sig : {SIGHUP, SIGINT, SIGQUIT}) {
    race.signal(sig);
    start.signal(sig);
  }
  // Both rounds go on as if nothing had come: the word, and typerace's ranking.
  EXPECT_EQ(race.wait(30000).status, 0);
  EXPECT_EQ(start.wait(30000).status, 0);
  EXPECT_EQ(engine.join(), "hello");
  got_a += a.drain();
  EXPECT_NE(got_a.find(frame(kResults)), std::string::npos) << harness::euckr_to_utf8(got_a);
  EXPECT_EQ(ledger_lines(dir).size(), 1u);
  EXPECT_EQ(dir.read("frm/typegame/taja.73"), "hello");
}

TEST(MachineFaults, AWordTheAnswerFileCannotTakeWholeIsNeverPublished) {
  Scratch dir;
  Pty a;
  harness::write_roster(dir, 7, {{2, a.name()}});
  dir.write("frm/typegame/data.txt", "long 30 long.lst\n");
  // The limit cuts the word, but leaves room for the message on standard error.
  dir.write("frm/typegame/long.lst", "176 " + std::string(176, 'w') + "\n");
  const auto t0 = std::chrono::steady_clock::now();
  const harness::Result r = typerace(dir, 2, 7, "long", harness::file_size_limit(100));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, kNoAnswerFile + ": File too large\n");
  EXPECT_FALSE(dir.exists("frm/typegame/taja.72"));  // the room is free again at once
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(20));
  const std::string got = a.drain();
  EXPECT_NE(got.find(frame("<0>")), std::string::npos) << harness::euckr_to_utf8(got);
  EXPECT_EQ(got.find(kWordOn), std::string::npos) << harness::euckr_to_utf8(got);
}

TEST(MachineFaults, FifosInPlaceOfTheDataFilesNeverHoldARound) {
  // Each data file in turn is a FIFO that nobody ever writes; a roster may also lead to
  // an endless device. Every round ends, in its own time, as that file's rule says.
  Scratch index_fifo, list_fifo, others;
  index_fifo.fifo("frm/typegame/data.txt");
  list_fifo.write("frm/typegame/data.txt", "short 1 short.lst\n");
  list_fifo.fifo("frm/typegame/short.lst");
  others.write("frm/typegame/data.txt", "short 1 short.lst\n");
  others.write("frm/typegame/short.lst", "5 hello\n");
  others.fifo("user/chat/rm_01.all");
  others.symlink("user/chat/rm_02.all", "/dev/zero");
  Pty player;
  harness::write_roster(others, 3, {{2, player.name()}});

  // No index to read and no fallback list: the word list's message, at once. typestart
  // gives up after its countdown.
  harness::Proc start_index(harness::program("typestart"), {"x", "2", "7", "short"},
                            index_fifo.path());
  harness::Proc start_list(harness::program("typestart"), {"x", "2", "7", "short"},
                           list_fifo.path());
  harness::Proc start_roster(harness::program("typestart"), {"x", "3", "1", "short"},
                             others.path());
  EXPECT_EQ(typerace(index_fifo, 2, 7, "short").err, kNoWordFile + ": No such file or directory\n");
  EXPECT_EQ(typerace(list_fifo, 2, 7, "short").err, kNoWordFile + ": Invalid argument\n");
  EXPECT_FALSE(list_fifo.exists("frm/typegame/taja.72"));
  EXPECT_EQ(start_index.wait(20000).err, kNoMenu + ": Invalid argument\n");
  EXPECT_EQ(start_list.wait(20000).err, kNoList + ": Invalid argument\n");

  // Rosters nobody can read reach nobody; the rounds play on. A results file that turns
  // out to be a FIFO holds no results.
  harness::Proc fifo_roster(harness::program("typerace"), {"x", "2", "1", "short"}, others.path());
  harness::Proc zero_roster(harness::program("typerace"), {"x", "2", "2", "short"}, others.path());
  harness::Proc fifo_results(harness::program("typerace"), {"x", "2", "3", "short"}, others.path());
  std::string got;
  ASSERT_TRUE(player.read_until(got, "\x1b[m\n", 20000));
  others.fifo("frm/typegame/chatmess.32");
  EXPECT_EQ(start_roster.wait(20000).status, 0);
  for (harness::Proc* p : {&fifo_roster, &zero_roster, &fifo_results}) {
    const harness::Result r = p->wait(20000);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
  }
  got += player.drain();
  EXPECT_NE(got.find(frame(kNoResults)), std::string::npos) << harness::euckr_to_utf8(got);
  EXPECT_EQ(others.read("frm/typegame/taja.13"), "hello");
}

TEST(MachineFaults, TheRankingEndsWithTheTimeLimit) {
  Scratch dir;
  Pty a;
  harness::write_roster(dir, 7, {{2, a.name()}});
  dir.write("frm/typegame/data.txt", "short 1 short.lst\n");
  dir.write("frm/typegame/short.lst", "5 hello\n");
  // A chat engine gone wrong: once the word is out it appends finishers for a minute,
  // faster than any ranking can announce them.
  std::atomic<bool> stop{false};
  std::atomic<int> appended{0};
  std::thread flood([&] {
    while (!stop && dir.read("frm/typegame/taja.72").value_or("").empty()) usleep(5000);
    for (int i = 0; !stop && i < 3000; ++i) {
      std::string burst;
      for (int j = 0; j < 5; ++j)
        burst += std::to_string(std::time(nullptr)) + " u" + std::to_string(i) + " typed\n";
      dir.append("frm/typegame/chatmess.72", burst);
      appended += 5;
      usleep(20000);
    }
  });
  const harness::Result r = typerace(dir, 2, 7, "short");
  const int by_the_end = appended;
  stop = true;
  flood.join();
  EXPECT_EQ(r.status, 0);
  // Finished while the flood still ran: what came after the time limit was not ranked.
  EXPECT_LT(by_the_end, 15000);
  const std::size_t ranked = ledger_lines(dir).size();
  EXPECT_GT(ranked, 0u);
  EXPECT_LT(ranked, static_cast<std::size_t>(by_the_end));
}

TEST(MachineFaults, FilesCreatedUnderAnyUmaskStayUsable) {
  Scratch dir;
  harness::write_roster(dir, 7, {});
  dir.write("frm/typegame/data.txt", "short 1 short.lst\n");
  dir.write("frm/typegame/short.lst", "5 hello\n");
  // The answer file while the round runs, and as typestart leaves it; meanwhile two rounds
  // one after the other, the first of them creating the month's ledger: both lines kept.
  harness::Proc round(harness::program("typerace"), {"x", "2", "8", "short"}, dir.path(), {},
                      harness::with_umask(0777));
  harness::Proc start(harness::program("typestart"), {"x", "2", "9", "short"}, dir.path(), {},
                      harness::with_umask(0777));
  harness::ChatEngine seen(dir, 8, 2, {});
  harness::ChatEngine first(dir, 7, 2, {{0, "alice"}});
  harness::Proc creates(harness::program("typerace"), {"x", "2", "7", "short"}, dir.path(), {},
                        harness::with_umask(0277));
  EXPECT_EQ(seen.join(), "hello");
  EXPECT_EQ(mode_of(dir.file("frm/typegame/taja.82")), 0600u);
  EXPECT_EQ(creates.wait(20000).status, 0);
  first.join();
  harness::ChatEngine second(dir, 7, 2, {{0, "bob"}});
  EXPECT_EQ(typerace(dir, 2, 7, "short", harness::with_umask(0277)).status, 0);
  second.join();
  EXPECT_EQ(ledger_lines(dir).size(), 2u);
  EXPECT_EQ(mode_of(dir.file(harness::this_months_ledger())), 0600u);

  EXPECT_EQ(round.wait(20000).status, 0);
  EXPECT_EQ(start.wait(20000).status, 0);
  EXPECT_EQ(mode_of(dir.file("frm/typegame/taja.92")), 0600u);
}

TEST(MachineFaults, ALinkInTheLedgersPlaceIsNeverFollowed) {
  Scratch dir;
  Pty a;
  harness::write_roster(dir, 7, {{2, a.name()}});
  dir.write("frm/typegame/data.txt", "short 1 short.lst\n");
  dir.write("frm/typegame/short.lst", "5 hello\n");
  dir.write("precious", "not a ledger");
  dir.symlink(harness::this_months_ledger(), dir.file("precious"));
  harness::ChatEngine engine(dir, 7, 2, {{0, "alice"}});
  EXPECT_EQ(typerace(dir, 2, 7, "short").status, 0);
  engine.join();
  EXPECT_EQ(dir.read("precious"), "not a ledger");
  // The finisher is still announced; only the line is lost, silently.
  EXPECT_NE(a.drain().find("   alice   "), std::string::npos);
}
