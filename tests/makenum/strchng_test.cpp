#include "strchng.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace {

struct Case {
  const char* pat;
  const char* rep;
  const char* text;
  const char* want;
  int flag;
};

// Both operations must agree on every case: strchng2 is strchng through a scratch area.
TEST(Strchng, ReplacesLeftmostOccurrencesInOneScan) {
  const Case cases[] = {
      {"ab", "X", "abcab", "XcX", 1},
      {"aa", "b", "aaa", "ba", 1},  // no overlapping second match
      {"a", "aa", "a", "aa", 1},    // the replacement is not scanned again
      {"ab", "X", "xa", "xa", 0},   // partial match at the end is copied
      {"-", "", "a-b-c", "abc", 1},
      {"", "X", "abc", "abc", 0},  // empty pattern matches nothing
      {"ab", "X", "", "", 0},
      {"\"", "", "\"a\"\"b\"", "ab", 1},  // adjacent quotes both go
      {":", "-", "\xB0\xB3\xB9\xDF:\xB5\xB5", "\xB0\xB3\xB9\xDF-\xB5\xB5", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("pattern '") + c.pat + "' text '" + c.text + "'");
    std::array<char, 64> out{};
    EXPECT_EQ(strchng(out, c.text, c.pat, c.rep), c.flag);
    EXPECT_STREQ(out.data(), c.want);

    std::array<char, 64> text{};
    std::string(c.text).copy(text.data(), text.size() - 1);
    EXPECT_EQ(strchng2(text, c.pat, c.rep), c.flag);
    EXPECT_STREQ(text.data(), c.want);
  }
}

TEST(Strchng, ClearsTheOldTextOfTheOutputArea) {
  std::array<char, 12> out{};
  std::string("zzzzzzzzz").copy(out.data(), 9);
  out[10] = 'k';  // beyond the old text's zero: not part of it, left alone
  EXPECT_EQ(strchng(out, "abc", "b", ""), 1);
  EXPECT_EQ(std::string(out.data(), out.size()), std::string("ac\0\0\0\0\0\0\0\0k\0", 12));
}

TEST(Strchng, CutsItsOutputToTheArea) {
  std::array<char, 4> out{};
  EXPECT_EQ(strchng(out, "abcdef", "x", "y"), 0);
  EXPECT_STREQ(out.data(), "abc");
  EXPECT_EQ(strchng(out, "abc", "b", "XYZ"), 1);
  EXPECT_STREQ(out.data(), "aXY");
  EXPECT_EQ(strchng(std::span<char>(), "abc", "b", "X"), 1);  // nothing to write into
}

TEST(Strchng2, LeavesTheTextAloneWhenTheResultWouldNotFitItsBuffer) {
  std::array<char, 6> text{'a', 'a', 'a', 'a', '\0', 'q'};
  EXPECT_EQ(strchng2(text, "a", "bb"), 0);
  EXPECT_EQ(std::string(text.data(), text.size()), std::string("aaaa\0q", 6));

  std::array<char, 9> roomy{"aaaa"};
  EXPECT_EQ(strchng2(roomy, "a", "bb"), 1);
  EXPECT_STREQ(roomy.data(), "bbbbbbbb");

  // A buffer without a zero holds a text as long as itself; the result still needs one.
  std::array<char, 3> bare{'a', 'b', 'c'};
  EXPECT_EQ(strchng2(bare, "x", "y"), 0);
  EXPECT_EQ(std::string(bare.data(), 3), "abc");
  EXPECT_EQ(strchng2(bare, "b", ""), 1);
  EXPECT_STREQ(bare.data(), "ac");
}

TEST(Strchng2, ResultIsBoundByTheScratchArea) {
  std::array<char, 1000> text{};
  const std::string fits = std::string(249, 'a') + "c";  // becomes 499 bytes
  fits.copy(text.data(), fits.size());
  EXPECT_EQ(strchng2(text, "a", "bb"), 1);
  EXPECT_EQ(std::string(text.data()), std::string(498, 'b') + "c");

  text.fill('\0');
  const std::string too_long(250, 'a');  // would become 500 bytes
  too_long.copy(text.data(), too_long.size());
  EXPECT_EQ(strchng2(text, "a", "bb"), 0);
  EXPECT_EQ(std::string(text.data()), too_long);
}

}  // namespace
