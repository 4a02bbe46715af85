// Reading ledger lines back: what typerace writes reads as it was written, every other
// line is refused with its reason, and no line, however long, takes more than its block.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <tuple>
#include <vector>

#include "harness.h"
#include "ledger_fixed.h"
#include "ledger_reader.h"
#include "ledger_scan.h"

namespace {

auto fields(const LedgerLine& l) {
  return std::tuple(l.user, l.group, l.year, l.month, l.day, l.hour, l.minute, l.type, l.pick,
                    l.elapsed, l.rank, l.speed);
}

std::string why(std::string text) {
  LedgerLine l;
  std::array<char, 64> reason;
  describe_ledger_fault(parse_ledger_line(text, l), reason);
  return reason.data();
}

}  // namespace

TEST(LedgerRead, WhatTyperaceWritesReadsBack) {
  const LedgerLine written[] = {
      {"alice", 1, 26, 12, 7, 10, 20, "short", 2, 3, 1, 412},
      // Every field wider than its place, and the ends of 32 bits.
      {"averyveryverylongid", -2147483648, 2147483647, 1, 31, 23, 59, "a_type_longer_than_twenty",
       2147483647, -7, 0, -2147483648},
      {"\xB1\xE8", 0, 0, 5, 1, 0, 0, "\xC5\xB8\xC0\xDA", 3, 0, 99, 0},
  };
  for (const LedgerLine& want : written) {
    std::array<char, kLedgerLineSize> buf;
    std::string text(buf.data(), format_ledger_line(buf, want));
    ASSERT_EQ(text.back(), '\n');
    text.pop_back();
    LedgerLine got{};
    ASSERT_TRUE(parse_ledger_line(text, got)) << text;
    EXPECT_EQ(fields(got), fields(want));
  }
}

TEST(LedgerRead, AWordTypeOfSeveralTokensIsJoinedByOneBlank) {
  std::string text = " \tbob 1 26 12 7 10 20 \t two \t  words  here 1 2 3 +4 \t";
  LedgerLine got{};
  ASSERT_TRUE(parse_ledger_line(text, got));
  EXPECT_EQ(fields(got), fields({"bob", 1, 26, 12, 7, 10, 20, "two words here", 1, 2, 3, 4}));
}

TEST(LedgerRead, AnEmptyWordTypeIsARoundOfEleven) {
  // typerace started with an empty word type writes twenty blanks in its place.
  const LedgerLine want{"carol", 1, 26, 12, 7, 10, 20, "", 2, 3, 1, 412};
  std::array<char, kLedgerLineSize> buf;
  std::string text(buf.data(), format_ledger_line(buf, want) - 1);
  LedgerLine got{};
  ASSERT_TRUE(parse_ledger_line(text, got)) << text;
  EXPECT_EQ(fields(got), fields(want));
  // Eleven fields that are no such round still say what is wrong with them.
  EXPECT_EQ(why("a 1 26 12 7 10 20 short 3 1 412"), "pick is not a whole number");
}

TEST(LedgerRead, RefusedLinesSayWhyAndTheFirstFaultCounts) {
  const std::string tail = " 1 2 3 4";
  EXPECT_EQ(why(""), "fewer than 11 fields");
  EXPECT_EQ(why("a 1 26 12 7 10" + tail), "fewer than 11 fields");
  EXPECT_EQ(why("a 1 26 12 7 10    " + tail), "fewer than 11 fields");
  EXPECT_EQ(why("a x 26 13 7 10 20 t" + tail), "group is not a whole number");
  EXPECT_EQ(why("a 1 26 12 7 10 20 t - 2 3 4"), "pick is not a whole number");
  EXPECT_EQ(why("a 1 26 12 7 10 20 t 1 2 3 4x"), "speed is not a whole number");
  EXPECT_EQ(why("a 1 26 12 7 10 20 t 1 99999999999x 3 4"), "elapsed is not a whole number");
  EXPECT_EQ(why("a 1 26 12 7 10 20 t 1 2147483648 3 4"), "elapsed is beyond 32 bits");
  EXPECT_EQ(why("a 1 26 12 7 10 20 t 1 2 -2147483649 4"), "rank is beyond 32 bits");
  EXPECT_EQ(why("a 1 26 0 7 10 20 t" + tail), "month is not 1 to 12");
  EXPECT_EQ(why("a 1 26 13 7 10 20 t" + tail), "month is not 1 to 12");
  EXPECT_EQ(why("a 1 26 12 32 10 20 t" + tail), "day is not 1 to 31");
  EXPECT_EQ(why("a 1 26 12 7 24 20 t" + tail), "hour is not 0 to 23");
  EXPECT_EQ(why("a 1 26 12 7 10 60 t" + tail), "minute is not 0 to 59");

  // 4096 bytes still read; one more does not.
  std::string longest = "a 1 26 12 7 10 20 " + tail;
  longest.insert(18, std::string(kLedgerLineMax - longest.size(), 't'));
  ASSERT_EQ(longest.size(), kLedgerLineMax);
  EXPECT_EQ(why(longest), "reads");
  EXPECT_EQ(why(longest + " "), "longer than 4096 bytes");
}

TEST(LedgerRead, LinesComeWholeAcrossBlocksAndAnOverlongOneOnceCut) {
  harness::Scratch dir;
  std::string file, want_last = "no line feed at the end";
  std::vector<std::string> want;
  for (int i = 0; i < 30000; ++i) want.push_back("line " + std::to_string(i));  // several blocks
  want.insert(want.begin() + 2, std::string(1'000'000, 'x'));
  want.push_back(want_last);
  for (const auto& w : want) file += w + "\n";
  file.pop_back();
  dir.write("ledger", file);

  const int fd = open(dir.file("ledger").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  LineReader reader(fd);
  std::span<char> line;
  std::size_t n = 0;
  for (; reader.next(line); ++n) {
    ASSERT_LT(n, want.size());
    const std::string got(line.data(), line.size());
    if (n == 2)
      EXPECT_EQ(got, std::string(kLedgerLineMax + 1, 'x'));
    else
      EXPECT_EQ(got, want[n]);
  }
  EXPECT_EQ(n, want.size());
  EXPECT_EQ(reader.error(), 0);
  close(fd);
}

TEST(LedgerRead, AFileReadInTwoPartsGivesEveryLineOnceWhereverItIsCut) {
  harness::Scratch dir;
  std::vector<std::string> want = {"", "a short one", std::string(kLedgerLineMax + 3, 'x'), ""};
  for (int i = 0; i < 40; ++i) {
    std::array<char, kLedgerLineSize> buf;
    const std::size_t n =
        format_ledger_line(buf, {"alice", 1, 26, 12, 7, 10, 20, "short", 2, 3, 1, 400 + i});
    want.emplace_back(buf.data(), n - 1);  // typerace's fixed layout, read at once
  }
  want.push_back("and no line feed at the end");
  std::string file;
  for (const auto& w : want) file += w + "\n";
  file.pop_back();
  dir.write("ledger", file);
  const int fd = open(dir.file("ledger").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  std::size_t at_once = 0;
  auto lines = [fd, &at_once](off_t from, off_t to) {
    LineReader reader(fd, 0);  // the smallest block, so lines cross its ends
    reader.reset(fd, from, to);
    std::vector<std::string> got;
    LedgerLine fixed;
    std::span<char> line;
    for (;;) {
      if (reader.next_fixed(fixed))
        ++at_once, got.push_back(std::string(fixed.user.data() - 5, kLedgerFixedSize));
      else if (reader.next(line))
        got.emplace_back(line.data(), line.size());
      else
        return got;
    }
  };
  for (std::size_t i = 0; i < want.size(); ++i)
    if (want[i].size() > kLedgerLineMax) want[i].resize(kLedgerLineMax + 1);
  for (off_t cut = 0; cut <= static_cast<off_t>(file.size()); ++cut) {
    std::vector<std::string> got = lines(0, cut);
    for (std::string& l : lines(cut, LineReader::kToTheEnd)) got.push_back(std::move(l));
    ASSERT_EQ(got, want) << "cut at " << cut;
  }
  EXPECT_GT(at_once, 0u);
  close(fd);
}
