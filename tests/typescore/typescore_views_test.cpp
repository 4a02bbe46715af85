// The players' views: their own place below the top rows, days and weeks, their trend by
// month and their last rounds, on ledgers made by hand and on one a real round wrote.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "harness.h"
#include "score_run.h"

namespace {

using harness::Scratch;
using score_test::ledger_of;
using score_test::lines_of;
using score_test::round_line;
using score_test::score;

// Twelve players of one December round each: p01 the fastest, p12 the slowest; p05 won.
void write_twelve(const Scratch& dir) {
  std::string lines;
  for (int i = 1; i <= 12; ++i) {
    char id[8];
    std::snprintf(id, sizeof id, "p%02d", i);
    lines += round_line(id, 26, 12, 5, 20, i, "short", i == 5 ? 1 : 2, 500 - 10 * i);
  }
  dir.write(ledger_of(26, 12), lines);
}

// faketime at a moment given in seconds since the epoch, in `tz`.
harness::Result score_at(const Scratch& dir, long when, const char* tz,
                         std::vector<std::string> args) {
  args.insert(args.begin(), {"@" + std::to_string(when), harness::program("typescore")});
  return harness::run("/usr/bin/faketime", args, dir.path(), {tz, score_test::asan_env()});
}

}  // namespace

TEST(TypescoreRank, AUserBelowTheTopRowsGetsTheirOwnRowWithTheirTruePlace) {
  Scratch dir;
  write_twelve(dir);
  EXPECT_EQ(score(dir, {"--month", "2612", "--top", "3", "--rank", "p09", "--utf8"}).out,
            "== 26년 12월 타자 순위 ==\n"
            "\n"
            "순위  아이디  판수  1등  최고  평균\n"
            "   1  p01        1    0   490   490  ■■■■■■■■■■■■■■■■■■■■■\n"
            "   2  p02        1    0   480   480  ■■■■■■■■■■■■■■■■■■■■\n"
            "   3  p03        1    0   470   470  ■■■■■■■■■■■■■■■■■■■■\n"
            " ...\n"
            "   9  p09        1    0   410   410  ■■■■■■■■■■■■■■■■■\n");
  const std::string top3 = "rank,user,rounds,wins,best,average\n1,p01,1,0,490,490\n"
                           "2,p02,1,0,480,480\n3,p03,1,0,470,470\n";
  EXPECT_EQ(score(dir, {"--month", "2612", "--top", "3", "--rank", "p09", "--csv"}).out,
            top3 + "9,p09,1,0,410,410\n");
  // Among the top rows already: nothing more. In the order asked for: p05 won.
  EXPECT_EQ(score(dir, {"--month", "2612", "--top", "3", "--rank", "p02", "--csv"}).out, top3);
  EXPECT_EQ(
      score(dir, {"--month", "2612", "--top", "1", "--by", "wins", "--rank", "p01", "--csv"}).out,
      "rank,user,rounds,wins,best,average\n1,p05,1,1,450,450\n2,p01,1,0,490,490\n");
  // No rounds in the period (ids compare byte for byte): a line says so; CSV has no row.
  const auto none = score(dir, {"--month", "2612", "--top", "3", "--rank", "P09", "--utf8"});
  EXPECT_EQ(lines_of(none.out).back(), "P09 님의 기록이 없습니다.");
  EXPECT_EQ(score(dir, {"--month", "2612", "--top", "3", "--rank", "P09", "--csv"}).out, top3);
  EXPECT_EQ(score(dir, {"--month", "2611", "--rank", "p09", "--utf8"}).out,
            "== 26년 11월 타자 순위 ==\n기록이 없습니다.\np09 님의 기록이 없습니다.\n");
}

TEST(TypescorePeriod, AWeekAcrossAMonthsEndAndTodayAreTheLocalClocks) {
  if (access("/usr/bin/faketime", X_OK) != 0) GTEST_FAIL() << "faketime is not installed";
  Scratch dir;
  dir.write(ledger_of(26, 11), round_line("sun", 26, 11, 29, 12, 0, "short", 1, 100) +
                                   round_line("mon", 26, 11, 30, 0, 0, "short", 1, 200));
  dir.write(ledger_of(26, 12), round_line("wed", 26, 12, 2, 9, 0, "short", 1, 300) +
                                   round_line("thu", 26, 12, 3, 9, 0, "short", 1, 400));
  // Wednesday 2026-12-02 12:00 UTC: the week began on Monday, in November.
  const long wednesday = 1796212800;
  const auto week = score_at(dir, wednesday, "TZ=UTC0", {"--week", "--csv"});
  EXPECT_EQ(week.status, 0);
  EXPECT_EQ(week.out, "rank,user,rounds,wins,best,average\n1,wed,1,1,300,300\n"
                      "2,mon,1,1,200,200\n");
  EXPECT_EQ(lines_of(score_at(dir, wednesday, "TZ=UTC0", {"--week", "--utf8"}).out)[0],
            "== 26년 11월 30일 ~ 26년 12월 2일 타자 순위 ==");
  EXPECT_EQ(score_at(dir, wednesday, "TZ=UTC0", {"--today", "--csv"}).out,
            "rank,user,rounds,wins,best,average\n1,wed,1,1,300,300\n");
  // Fifteen hours on it is Thursday in Seoul: today is Thursday, the week still Monday's.
  const long thursday_in_seoul = wednesday + 15 * 3600;
  EXPECT_EQ(score_at(dir, thursday_in_seoul, "TZ=KST-9", {"--today", "--csv"}).out,
            "rank,user,rounds,wins,best,average\n1,thu,1,1,400,400\n");
  EXPECT_EQ(score_at(dir, thursday_in_seoul, "TZ=KST-9", {"--week", "--csv"}).out,
            "rank,user,rounds,wins,best,average\n1,thu,1,1,400,400\n2,wed,1,1,300,300\n"
            "3,mon,1,1,200,200\n");
}

TEST(TypescorePeriod, ARangeAcrossAYearsEndReadsEveryMonthBetweenByTheLinesOwnDays) {
  Scratch dir;
  dir.write(ledger_of(26, 12), round_line("dec29", 26, 12, 29, 9, 0, "short", 1, 100) +
                                   round_line("dec30", 26, 12, 30, 9, 0, "short", 1, 200));
  dir.write(ledger_of(27, 1), round_line("jan02", 27, 1, 2, 9, 0, "short", 1, 300) +
                                  round_line("jan03", 27, 1, 3, 9, 0, "short", 1, 400));
  // type111.dat holds year 1 month 11 and year 11 month 1 alike.
  dir.write(ledger_of(1, 11), round_line("nov01", 1, 11, 5, 9, 0, "short", 1, 500) +
                                  round_line("jan11", 11, 1, 5, 9, 0, "short", 1, 600));
  const auto range = score(dir, {"--since", "261230", "--until", "270102", "--csv"});
  EXPECT_EQ(range.out, "rank,user,rounds,wins,best,average\n1,jan02,1,1,300,300\n"
                       "2,dec30,1,1,200,200\n");
  EXPECT_EQ(score(dir, {"--since", "011101", "--until", "011130", "--csv"}).out,
            "rank,user,rounds,wins,best,average\n1,nov01,1,1,500,500\n");
  // One end alone: from that day on, or up to it.
  EXPECT_EQ(score(dir, {"--since", "270103", "--csv"}).out,
            "rank,user,rounds,wins,best,average\n1,jan03,1,1,400,400\n");
  const auto until = score(dir, {"--until", "011231", "--utf8"});
  EXPECT_EQ(lines_of(until.out)[0], "== 01년 12월 31일까지 타자 순위 ==");
  EXPECT_EQ(lines_of(until.out).size(), 4u);  // title, blank, headings, nov01
}

TEST(TypescoreTrend, OneRowPerMonthInTheOrderOfTheMonthsWithABarForTheAverage) {
  Scratch dir;
  // February's file comes after December's in byte order: type262.dat > type2612.dat.
  dir.write(ledger_of(26, 2), round_line("minji", 26, 2, 1, 9, 0, "short", 2, 200) +
                                  round_line("minji", 26, 2, 2, 9, 0, "short", 1, 100));
  dir.write(ledger_of(26, 10), round_line("minji", 26, 10, 1, 9, 0, "short", 1, 300) +
                                   round_line("other", 26, 10, 1, 9, 0, "short", 2, 900));
  dir.write(ledger_of(26, 12), round_line("minji", 26, 12, 1, 9, 0, "proverb", 1, 450));
  EXPECT_EQ(score(dir, {"--user", "minji", "--trend", "--csv"}).out,
            "year,month,rounds,wins,best,average\n26,2,2,1,200,150\n26,10,1,1,300,300\n"
            "26,12,1,1,450,450\n");
  EXPECT_EQ(score(dir, {"--user", "minji", "--trend", "--utf8"}).out,
            "== minji 님의 월별 타자 기록: 전체 기간 ==\n"
            "판수 4  1등 3  최고 450 타/분  평균 262 타/분\n"
            "\n"
            "월     판수  1등  최고  평균\n"
            "26/02     2    1   200   150  ■■■■■■■■\n"
            "26/10     1    1   300   300  ■■■■■■■■■■■■■■■■\n"
            "26/12     1    1   450   450  ■■■■■■■■■■■■■■■■■■■■■■■■\n");
  // Within a period, and of one word type.
  EXPECT_EQ(
      score(dir, {"--user", "minji", "--trend", "--since", "261001", "--type", "short", "--csv"})
          .out,
      "year,month,rounds,wins,best,average\n26,10,1,1,300,300\n");
}

TEST(TypescoreLast, ATableShowsTheLast20AndSaysHowManyItLeftOutCsvKeepsAll) {
  Scratch dir;
  std::string month;
  for (int day = 1; day <= 25; ++day)
    month += round_line("alice", 26, 12, day, 9, 0, "short", 1, 100 + day);
  dir.write(ledger_of(26, 12), month);
  const auto table = lines_of(score(dir, {"--user", "alice", "--month", "2612", "--utf8"}).out);
  ASSERT_EQ(table.size(), 25u);  // title, totals, what was left out, blank, headings, 20
  EXPECT_EQ(table[1], "판수 25  1등 25  최고 125 타/분  평균 113 타/분");
  EXPECT_EQ(table[2], "최근 20판 (이전 5판 생략)");
  EXPECT_EQ(table[5].substr(0, 8), "26/12/06");
  EXPECT_EQ(table[24].substr(0, 8), "26/12/25");
  EXPECT_EQ(lines_of(score(dir, {"--user", "alice", "--month", "2612", "--csv"}).out).size(), 26u);
  EXPECT_EQ(score(dir, {"--user", "alice", "--month", "2612", "--csv", "--last", "2"}).out,
            "year,month,day,hour,minute,group,type,pick,elapsed,rank,speed\n"
            "26,12,24,9,0,1,short,1,3,1,124\n26,12,25,9,0,1,short,1,3,1,125\n");
  EXPECT_EQ(lines_of(score(dir, {"--user", "alice", "--month", "2612", "--last", "30"}).out).size(),
            29u);  // every round, nothing left out
  // The most recent by the rounds' own dates, though February's file is read last.
  dir.write(ledger_of(26, 2), round_line("alice", 26, 2, 1, 9, 0, "short", 1, 999));
  EXPECT_EQ(lines_of(score(dir, {"--user", "alice", "--all", "--csv", "--last", "1"}).out)[1],
            "26,12,25,9,0,1,short,1,3,1,125");
}

TEST(TypescoreRounds, ARoundOfAnEmptyWordTypeCountsTodayInTheRankAndTheTrend) {
  Scratch dir;
  // Seconds apart, so carol is the faster even on a busy machine.
  dir.write("frm/typegame/data.txt", "short 5 short.lst\n");
  dir.write("frm/typegame/short.lst", "5 hello\n");
  harness::ChatEngine engine(dir, 3, 1, {{1, "carol"}, {3, "alice"}});
  ASSERT_EQ(harness::run(harness::program("typerace"), {"x", "1", "3", ""}, dir.path()).status, 0);
  engine.join();
  std::string ledger;
  for (const auto& f : std::filesystem::directory_iterator(dir.file("user/score")))
    ledger = dir.read("user/score/" + f.path().filename().string()).value_or("");
  ASSERT_EQ(lines_of(ledger).size(), 2u);

  const auto today = score(dir, {"--today", "--check", "--csv", "--top", "1", "--rank", "alice"});
  EXPECT_EQ(today.status, 0);
  EXPECT_EQ(today.err, "");
  const auto rows = lines_of(today.out);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1].substr(0, 8), "1,carol,");
  EXPECT_EQ(rows[2].substr(0, 8), "2,alice,");
  const auto trend = lines_of(score(dir, {"--user", "alice", "--trend", "--csv"}).out);
  ASSERT_EQ(trend.size(), 2u);
  EXPECT_NE(trend[1].find(",1,0,"), std::string::npos) << trend[1];  // one round, no win
  // Its word type is empty, not a line that does not read.
  const auto round = lines_of(score(dir, {"--user", "alice", "--all", "--csv"}).out);
  ASSERT_EQ(round.size(), 2u);
  EXPECT_NE(round[1].find(",1,,"), std::string::npos) << round[1];
}
