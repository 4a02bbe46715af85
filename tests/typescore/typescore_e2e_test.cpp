// typescore run as the server and the operator run it, in a scratch working directory:
// on ledgers written by real typerace rounds and on ones made by hand.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"
#include "score_run.h"

namespace {

using harness::Scratch;
using score_test::lines_of;
using score_test::score;

const std::string kUsage =
    "Usage: typescore [--month YYMM | --all | --since YYMMDD --until YYMMDD | --today | --week]"
    " [--type TYPE] [--by best|average|rounds|wins] [--top N] [--rank ID]"
    " [--user ID [--trend | --last N]] [--csv] [--utf8] [--check]\n";

// Three months in two files: year 1 month 11 and year 11 month 1 share type111.dat.
void write_hand_made(const Scratch& dir) {
  dir.write("user/score/type111.dat",
            "     alice   1  1 11  2  3  4                short   1   3  1  400\n"
            "       bob   1 11  1  2  3  4                short   1   3  1  900\n"
            "this line is not a round\n"
            "     alice   1  1 11 31 23 59                short   1   3  2  100\n"
            "       bob   1  1 11  2  3  4                short   1   3  13 300\n");
  // Widened fields, and a word type typerace was given with blanks.
  dir.write("user/score/type2612.dat",
            "averylongname 12345 26 12  7 10 20 two\t words 3 1234 2 123456\n"
            "     alice   1 26 12  7 10 20                short   2   3  1  250\n"
            "     alice   1 26 12 32 10 20                short   2   3  1  250\n");
}

}  // namespace

TEST(TypescoreRounds, ARealRoundIsRankedAndListedAsTheLedgerHasIt) {
  Scratch dir;
  // The last finisher well inside the time limit: one at its very end may come too late.
  dir.write("frm/typegame/data.txt", "short 3 short.lst\n");
  dir.write("frm/typegame/short.lst", "5 hello\n");
  harness::ChatEngine engine(dir, 3, 1, {{1, "carol"}, {1, "alice"}, {2, "bob"}});
  ASSERT_EQ(harness::run(harness::program("typerace"), {"x", "1", "3", "short"}, dir.path()).status,
            0);
  engine.join();

  // Each finisher's fields as the ledger holds them, then the leaderboard they make. The
  // month is the ledger's own, so a round that ends as a month turns still agrees.
  std::vector<std::string> ledger;
  for (const auto& f : std::filesystem::directory_iterator(dir.file("user/score")))
    for (const std::string& l :
         lines_of(dir.read("user/score/" + f.path().filename().string()).value_or("")))
      ledger.push_back(l);
  ASSERT_EQ(ledger.size(), 3u);
  int year = 0, month = 0;
  ASSERT_EQ(std::sscanf(ledger[0].c_str(), "%*s %*d %d %d", &year, &month), 2);
  char month_arg[8];
  std::snprintf(month_arg, sizeof month_arg, "%02d%02d", year, month);
  struct Row {
    std::string user, csv;
    int speed, rank;
  };
  std::vector<Row> rows;
  for (const std::string& l : ledger) {
    char user[16], type[16];
    int v[10];
    ASSERT_EQ(std::sscanf(l.c_str(), "%15s %d %d %d %d %d %d %15s %d %d %d %d", user, &v[0], &v[1],
                          &v[2], &v[3], &v[4], &v[5], type, &v[6], &v[7], &v[8], &v[9]),
              12);
    char csv[128];
    std::snprintf(csv, sizeof csv, "%d,%d,%d,%d,%d,%d,%s,%d,%d,%d,%d", v[1], v[2], v[3], v[4], v[5],
                  v[0], type, v[6], v[7], v[8], v[9]);
    rows.push_back({user, csv, v[9], v[8]});
  }
  std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
    return a.speed != b.speed ? a.speed > b.speed : a.user < b.user;
  });
  std::string want = "rank,user,rounds,wins,best,average\n";
  for (std::size_t i = 0; i < rows.size(); ++i)
    want += std::to_string(i + 1) + "," + rows[i].user + ",1," + (rows[i].rank == 1 ? "1," : "0,") +
            std::to_string(rows[i].speed) + "," + std::to_string(rows[i].speed) + "\n";
  auto board = score(dir, {"--csv", "--month", month_arg});
  EXPECT_EQ(board.status, 0);
  EXPECT_EQ(board.out, want);

  for (const Row& r : rows) {
    auto user = score(dir, {"--user", r.user, "--csv", "--check", "--month", month_arg});
    EXPECT_EQ(user.out,
              "year,month,day,hour,minute,group,type,pick,elapsed,rank,speed\n" + r.csv + "\n");
    EXPECT_EQ(user.err, "");
  }

  // The terminal's table: the month in its title, a row for each finisher.
  char title[64];
  std::snprintf(title, sizeof title, "== %02d\xB3\xE2 %d\xBF\xF9 ", year, month);
  auto table = score(dir, {"--month", month_arg});
  EXPECT_EQ(table.out.rfind(title, 0), 0u) << harness::euckr_to_utf8(table.out);
  EXPECT_EQ(lines_of(table.out).size(), 6u);
}

TEST(TypescoreLedger, MonthsSharingAFileAreToldApartByTheirFields) {
  Scratch dir;
  write_hand_made(dir);
  EXPECT_EQ(score(dir, {"--month", "0111", "--csv"}).out,
            "rank,user,rounds,wins,best,average\n1,alice,2,1,400,250\n2,bob,1,0,300,300\n");
  EXPECT_EQ(score(dir, {"--month", "1101", "--csv"}).out,
            "rank,user,rounds,wins,best,average\n1,bob,1,1,900,900\n");
  // Widened fields and a type with blanks read; the day-32 line does not.
  EXPECT_EQ(score(dir, {"--month", "2612", "--csv", "--type", "two words"}).out,
            "rank,user,rounds,wins,best,average\n1,averylongname,1,0,123456,123456\n");
}

TEST(TypescoreLedger, AllMonthsGoInFileNameOrderAndCheckNamesEveryBadLine) {
  Scratch dir;
  write_hand_made(dir);
  dir.write("user/score/type.dat.old", "     alice   1  1 11  2  3  4   short   1   3  1  999\n");
  auto all = score(dir, {"--all", "--user", "alice", "--csv"});
  EXPECT_EQ(all.status, 0);
  EXPECT_EQ(all.err, "");
  EXPECT_EQ(all.out, "year,month,day,hour,minute,group,type,pick,elapsed,rank,speed\n"
                     "1,11,2,3,4,1,short,1,3,1,400\n"
                     "1,11,31,23,59,1,short,1,3,2,100\n"
                     "26,12,7,10,20,1,short,2,3,1,250\n");
  auto checked = score(dir, {"--all", "--check", "--by", "wins", "--top", "2", "--csv"});
  EXPECT_EQ(checked.status, 1);
  EXPECT_EQ(checked.out,
            "rank,user,rounds,wins,best,average\n1,alice,3,2,400,250\n2,bob,2,1,900,600\n");
  EXPECT_EQ(checked.err, "user/score/type111.dat:3: fewer than 11 fields\n"
                         "user/score/type2612.dat:3: day is not 1 to 31\n");
}

TEST(TypescoreLedger, ABigLedgerReadInTwoHalvesAtOnceCountsAsTheSameLinesInTwoFiles) {
  Scratch dir;
  // More than the 16 MB from which a ledger is read in two halves at once, with lines
  // that do not read and ones of other kinds, and one of them across the middle.
  std::string first, second;
  for (int i = 0; i < 260000; ++i) {
    std::string l =
        score_test::round_line("u" + std::to_string(i * 7919 % 5003), 26, 12, 1 + i % 28, i % 24,
                               i % 60, i % 3 ? "short" : "two words", 1 + i % 4, 50 + i % 700);
    if (i % 1000 == 0) l = "not a round " + std::to_string(i) + "\n";
    if (i % 1000 == 1) l = "averylongname 1 26 12 3 4 5 short 1 2 1 " + std::to_string(i) + "\n";
    (i < 130000 ? first : second) += l;
  }
  ASSERT_GT(first.size() + second.size(), 16u << 20);
  dir.write("user/score/type2612.dat", first + second);
  const auto whole = score(dir, {"--month", "2612", "--csv", "--top", "6000"});
  EXPECT_EQ(whole.status, 0);
  EXPECT_EQ(lines_of(whole.out).size(), 5005u);  // the header, 5003 users, averylongname
  // Read line by line as --check reads, the same totals and every bad line named.
  const auto checked = score(dir, {"--month", "2612", "--csv", "--top", "6000", "--check"});
  EXPECT_EQ(checked.out, whole.out);
  EXPECT_EQ(lines_of(checked.err).size(), 260u);
  dir.remove("user/score/type2612.dat");
  dir.write("user/score/type2612.dat", first);
  dir.write("user/score/type2612.dat.part", second);
  dir.write("user/score/type2613.dat", second);  // no month 13: the lines say December
  EXPECT_EQ(score(dir, {"--all", "--csv", "--top", "6000"}).out, whole.out);
}

TEST(TypescoreTable, RowsFitTheScreenAndUtf8IsTheSameTable) {
  Scratch dir;
  dir.write("user/score/type2612.dat",
            "     alice   1 26 12  7 10 20                short   2   3  1  412\n"
            "       bob   1 26 12  7 10 20                short   2   4  2  300\n"
            "     alice   2 26 12  8 11  5              english   1   5  2  350\n"
            "ab\x1b"
            "cdefghijklmnopqrstuvwxyz 3 26 12 9 1 2 \xC5\xB8\xC0\xDA "
            "\xB0\xA1\xB0\xA1\xB0\xA1\xB0\xA1\xB0\xA1\xB0\xA1\xB0\xA1\xB0\xA1 3 9 1 100\n");
  const std::string board = "== 26년 12월 타자 순위 ==\n"
                            "\n"
                            "순위  아이디                판수  1등  최고  평균\n"
                            "   1  alice                    2    1   412   381  ■■■■■■■■■■■■■■\n"
                            "   2  bob                      1    0   300   300  ■■■■■■■■■■\n"
                            "   3  ab?cdefghijklmnopqr~     1    1   100   100  ■■■\n";
  EXPECT_EQ(score(dir, {"--month", "2612", "--utf8"}).out, board);
  EXPECT_EQ(score(dir, {"--month", "2612"}).out, harness::utf8_to_euckr(board));

  const std::string rounds = "== alice 님의 타자 기록: 26년 12월 (유형: short) ==\n"
                             "판수 1  1등 1  최고 412 타/분  평균 412 타/분\n"
                             "\n"
                             "날짜      시각   유형   순위  초  타/분\n"
                             "26/12/07  10:20  short     1   3    412  ■■■■■■■■■■■■■■■■■■■\n";
  EXPECT_EQ(score(dir, {"--utf8", "--month", "2612", "--user", "alice", "--type", "short"}).out,
            rounds);
  auto cut = score(dir, {"--month", "2612", "--user",
                         "ab\x1b"
                         "cdefghijklmnopqrstuvwxyz"});
  for (const std::string& l : lines_of(cut.out)) EXPECT_LE(l.size(), 80u) << l;

  EXPECT_EQ(score(dir, {"--month", "2611", "--utf8"}).out,
            "== 26년 11월 타자 순위 ==\n기록이 없습니다.\n");
  EXPECT_EQ(score(dir, {"--month", "2611", "--csv", "--user", "x"}).out,
            "year,month,day,hour,minute,group,type,pick,elapsed,rank,speed\n");
}

TEST(TypescoreTable, ARawTerminalGetsCarriageReturns) {
  Scratch dir;
  harness::Pty tty;
  // Standard output is the terminal itself, as under the server.
  auto r =
      harness::run(harness::program("typescore"), {"--month", "2611"}, dir.path(), {}, 120000, [&] {
        const int fd = open(("/dev/" + tty.name()).c_str(), O_WRONLY | O_NOCTTY);
        if (fd < 0 || dup2(fd, 1) < 0) _exit(126);
      });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(tty.drain(),
            harness::utf8_to_euckr("== 26년 11월 타자 순위 ==\r\n기록이 없습니다.\r\n"));
}

TEST(TypescoreCall, TheMonthIsTheLocalOne) {
  if (access("/usr/bin/faketime", X_OK) != 0) GTEST_FAIL() << "faketime is not installed";
  Scratch dir;
  dir.write("user/score/type2611.dat", "nov 1 26 11 30 23 30 short 1 3 1 100\n");
  dir.write("user/score/type2612.dat", "dec 1 26 12  1  8 30 short 1 3 1 200\n");
  const char* asan = std::getenv("ASAN_OPTIONS");
  const std::string asan_env =
      std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":verify_asan_link_order=0";
  // 2026-11-30 23:30 UTC is already December in Seoul.
  for (auto [tz, user] : {std::pair{"TZ=UTC0", "nov"}, std::pair{"TZ=KST-9", "dec"}}) {
    auto r =
        harness::run("/usr/bin/faketime", {"@1796081400", harness::program("typescore"), "--csv"},
                     dir.path(), {tz, asan_env});
    EXPECT_EQ(r.out, std::string("rank,user,rounds,wins,best,average\n1,") + user + ",1,1," +
                         (user[0] == 'n' ? "100,100\n" : "200,200\n"))
        << tz;
  }
}

TEST(TypescoreCall, BadCallsPrintTheUsageAndBadLedgersSaySo) {
  Scratch dir;
  const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
      {{"--month"}, "--month needs a value"},
      {{"--month", "261"}, "--month 261: the month must be four digits, YYMM"},
      {{"--month", "2613"}, "--month 2613: the month must be 01 to 12"},
      {{"--month", "26a2"}, "--month 26a2: the month must be four digits, YYMM"},
      {{"--month", "2612", "--all"}, "--month and --all cannot be combined"},
      {{"--all", "--all"}, "--all is given twice"},
      {{"--top", "0"}, "--top 0: the number must be 1 to 2147483647"},
      {{"--top", "-1"}, "--top -1: the number must be 1 to 2147483647"},
      {{"--top", "99999999999"}, "--top 99999999999: the number must be 1 to 2147483647"},
      {{"--by", "speed"}, "--by speed: the order must be best, average, rounds or wins"},
      {{"--user", ""}, "--user: the user id must not be empty"},
      {{"--type", ""}, "--type: the word type must not be empty"},
      {{"--frobnicate"}, "--frobnicate: no such option"},
      {{"stray"}, "stray: not an option"},
      {{"--csv", "--help"}, "--help goes on its own"},
      {{"--top=3"}, "--top=3: no such option"},
  };
  for (const auto& [args, why] : bad) {
    auto r = score(dir, args);
    EXPECT_EQ(r.status, 2) << args[0];
    EXPECT_EQ(r.err, "typescore: " + why + "\n" + kUsage);
    EXPECT_EQ(r.out, "");
  }
  // What the caller gave is shown as safely as everything else.
  EXPECT_EQ(score(dir, {"--by", "\x1b[2J"}).err,
            "typescore: --by ?[2J: the order must be best, average, rounds or wins\n" + kUsage);
  EXPECT_EQ(score(dir, {"--version"}).out, "typescore " BBS_VERSION "\n");

  // A ledger that is there but cannot be read is not the same as no rounds.
  dir.write("user/score/type2612.dat/x", "");
  auto r = score(dir, {"--month", "2612", "--csv"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "typescore: user/score/type2612.dat: Is a directory\n");
  EXPECT_EQ(r.out, "rank,user,rounds,wins,best,average\n");
}

TEST(TypescoreCall, ConfinedItReadsTheLedgersAndWritesNothing) {
  if (!harness::landlock_available()) GTEST_SKIP() << "this kernel has no Landlock";
  Scratch dir;
  dir.write("user/score/type2611.dat", "nov 1 26 11 30 23 30 short 1 3 1 100\n");
  harness::Probe probe;
  auto r = harness::run(harness::program("typescore"), {"--month", "2611", "--csv"}, dir.path(),
                        probe.env(), 120000, probe.setup());
  EXPECT_EQ(r.out, "rank,user,rounds,wins,best,average\n1,nov,1,1,100,100\n");
  EXPECT_EQ(probe.report("typescore"), "outside=refused run=refused");
}
