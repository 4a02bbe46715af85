#include "stamp.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

// The first line as makenum writes it.
std::string line_for(int n) {
  char buf[200];
  std::snprintf(buf, sizeof buf, "#define MAKENUM             \"%d\"                      \n", n);
  return buf;
}

TEST(ParseMakenumLine, ReadsBackEveryNumberItWrites) {
  for (int n : {0, 41, -1, 29, 1000000, INT_MAX, INT_MIN})
    EXPECT_EQ(parse_makenum_line(line_for(n)), n);
}

TEST(ParseMakenumLine, OddFirstLines) {
  const std::string spaces20(20, ' ');
  const struct {
    std::string line;
    int want;
  } cases[] = {
      // Digits before byte 20 of the cleaned line are lost.
      {"#define MAKENUM \"123456\"\n", 56},
      // Digits from byte 40 of the raw line on are lost.
      {"#define MAKENUM" + spaces20 + "\"12345\"\n", 1234},
      // Quotes go wherever they are, also before byte 20, before the number is read.
      {"\"#define\"   \"MAKENUM\"   \"88\"\n", 88},
      {"#define MAKENUM     \"\"\"\"-7\"\"\n", -7},
      // Too short to reach byte 20: nothing to read.
      {"", 0},
      {"x\n", 0},
      {"#define MAKENUM     \n", 0},
      {"#define MAKENUM     5", 5},
      {"#define MAKENUM      +12abc", 12},
      // Beyond 32 bits the number stops at the end of the range.
      {"#define MAKENUM     99999999999999999999", INT_MAX},
      {"#define MAKENUM     -9999999999999999999", INT_MIN},
      // A line longer than fgets would ever hand over.
      {"#define MAKENUM     77" + std::string(400, 'x'), 77},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(parse_makenum_line(c.line), c.want);
  }
}

TEST(SnapshotName, TwoDigitYearIsNeverNegative) {
  EXPECT_EQ(two_digit_year(126), 26);
  EXPECT_EQ(two_digit_year(2000), 0);
  EXPECT_EQ(two_digit_year(-1), 99);     // 1899
  EXPECT_EQ(two_digit_year(-1011), 89);  // 889
}

}  // namespace
