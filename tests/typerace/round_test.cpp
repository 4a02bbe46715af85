#include "round.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "harness.h"

TEST(Announcement, FrameSavesMovesAndRestoresTheCursor) {
  std::array<char, kMessageSize> out;
  frame_announcement("<5>", out);
  EXPECT_STREQ(out.data(), "\x1b[s\x1b[21;1H\n\t<5>\x1b[u");
}

TEST(Announcement, OverlongTextKeepsItsFrame) {
  std::array<char, kMessageSize> out;
  frame_announcement(std::string(500, 'x').c_str(), out);
  std::string s = out.data();
  EXPECT_EQ(s.size(), 199u);
  EXPECT_EQ(s.substr(0, 12), "\x1b[s\x1b[21;1H\n\t");
  EXPECT_EQ(s.substr(s.size() - 3), "\x1b[u");
  // Cut before a Korean character rather than through it.
  std::string korean = std::string(183, 'x') + "\xC7\xD1" + "yyy";
  frame_announcement(korean.c_str(), out);
  s = out.data();
  EXPECT_EQ(s, "\x1b[s\x1b[21;1H\n\t" + std::string(183, 'x') + "\x1b[u");
}

TEST(ResultsLine, ReadsTimeAndUser) {
  ResultLine r;
  ASSERT_TRUE(parse_result_line("1765200012 alice typed\n", r));
  EXPECT_EQ(r.finish, 1765200012);
  EXPECT_STREQ(r.user.data(), "alice");
  // The third token is not needed.
  ASSERT_TRUE(parse_result_line("17 bob", r));
  EXPECT_STREQ(r.user.data(), "bob");
  // No byte of an id can steer a terminal or start a ledger line; Korean passes.
  ASSERT_TRUE(parse_result_line("18 \x1b[2J\x7f\xB0\xA1 x", r));
  EXPECT_STREQ(r.user.data(), "?[2J?\xB0\xA1");
}

TEST(ResultsLine, LongUserIdIsCutToEightBytes) {
  ResultLine r;
  ASSERT_TRUE(parse_result_line("100 verylongname99 x\n", r));
  EXPECT_EQ(r.finish, 100);
  EXPECT_STREQ(r.user.data(), "verylong");
}

TEST(ResultsLine, MalformedLinesAreRejected) {
  ResultLine r;
  // A finish time longer than its 15 places is none; its tail is no user id either.
  for (const char* bad :
       {"", "\n", "alice 100 x\n", "100\n", "   \n", "x y z", "1765200012345805807 x y\n"})
    EXPECT_FALSE(parse_result_line(bad, r)) << bad;
}

namespace {

// The finishers read_result finds in a results file, as "<finish> <user>".
std::vector<std::string> finishers(std::string bytes) {
  std::vector<std::string> out;
  std::FILE* f = fmemopen(bytes.data(), bytes.size(), "r");
  ResultLine r;
  while (read_result(f, r)) out.push_back(std::to_string(r.finish) + " " + r.user.data());
  std::fclose(f);
  return out;
}

}  // namespace

TEST(ResultsFile, EveryLineStandsOnItsOwn) {
  using namespace std::string_literals;
  // A zero byte inside a line, a malformed line and an over-long line never take the
  // next line with them, and the rest of an over-long line is no finisher of its own.
  const std::string file = "100 alice x\n"s + "101 bob\0junk\n"s + "102 carol z\n" +
                           "no time here\n" + "103 dave " + std::string(2100, ' ') +
                           "999 mallory x\n" + "\n" + "104 erin";
  EXPECT_EQ(finishers(file), (std::vector<std::string>{"100 alice", "101 bob", "102 carol",
                                                       "103 dave", "104 erin"}));
  EXPECT_TRUE(finishers("").empty());
}

TEST(Speed, StrokesPerMinuteTruncated) {
  EXPECT_EQ(typing_speed(30, 12), 150);
  EXPECT_EQ(typing_speed(30, 7), 257);
  // Within the first second counts as one second; a finish before the wait began (a
  // clock step) is no record speed but what the unsigned division gives.
  EXPECT_EQ(typing_speed(30, 0), 1800);
  EXPECT_EQ(typing_speed(30, -10), 0);
  EXPECT_EQ(typing_speed(1 << 25, -2), static_cast<std::int32_t>((1u << 25) * 60u / 0xFFFFFFFEu));
  // Unsigned 32-bit arithmetic, as the ledger has always had it.
  EXPECT_EQ(typing_speed(-1, 60), static_cast<std::int32_t>(0xFFFFFFFFu * 60u / 60u));
}

TEST(Speed, ElapsedSecondsSaturateInsteadOfOverflowing) {
  EXPECT_EQ(elapsed_since(1765200012, 1765200000), 12);
  EXPECT_EQ(elapsed_since(1765199990, 1765200000), -10);
  EXPECT_EQ(elapsed_since(999999999999999LL, 0), INT32_MAX);
  EXPECT_EQ(elapsed_since(-99999999999999LL, 0), INT32_MIN);
  // A clock at the end of its range must not overflow the subtraction itself.
  EXPECT_EQ(elapsed_since(-9999999299LL, std::numeric_limits<std::time_t>::max()), INT32_MIN);
  EXPECT_EQ(elapsed_since(9999999299LL, std::numeric_limits<std::time_t>::min()), INT32_MAX);
}

TEST(Ledger, MonthlyFileNamesHaveNoPadding) {
  std::array<char, 64> p;
  std::tm t{};
  t.tm_year = 101, t.tm_mon = 4;
  ledger_path(t, p);
  EXPECT_STREQ(p.data(), "user/score/type15.dat");
  t.tm_year = 199, t.tm_mon = 11;
  ledger_path(t, p);
  EXPECT_STREQ(p.data(), "user/score/type9912.dat");
  // Two months share one file: year 01 with month 11, year 11 with month 1.
  t.tm_year = 101, t.tm_mon = 10;
  ledger_path(t, p);
  EXPECT_STREQ(p.data(), "user/score/type111.dat");
  t.tm_year = 111, t.tm_mon = 0;
  ledger_path(t, p);
  EXPECT_STREQ(p.data(), "user/score/type111.dat");
}

using harness::InDir;

TEST(Ledger, LinesAppendInTheirFixedWidths) {
  harness::Scratch dir;
  InDir in(dir.path());
  std::tm t{};
  t.tm_year = 126, t.tm_mon = 11, t.tm_mday = 8, t.tm_hour = 9, t.tm_min = 5;
  jumsu_save("alice", 2, t, "short", 3, 12, 1, 150);
  jumsu_save("verylong", 123, t, std::string(25, 't').c_str(), 1, 1234, 10, 12345);
  EXPECT_EQ(dir.read("user/score/type2612.dat").value_or(""),
            "     alice   2 26 12  8  9  5                short   3  12  1  150\n"
            "  verylong 123 26 12  8  9  5 " +
                std::string(25, 't') + "   1 1234 10 12345\n");
}

TEST(Ledger, UnwritableLedgerLosesTheLineQuietly) {
  harness::Scratch dir;
  InDir in(dir.path());
  dir.remove("user/score/x");
  rmdir(dir.file("user/score").c_str());
  std::tm t{};
  jumsu_save("alice", 2, t, "short", 3, 12, 1, 150);
  EXPECT_FALSE(dir.exists("user/score"));
}
