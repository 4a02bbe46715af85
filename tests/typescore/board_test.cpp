// The leaderboard's totals and orders, and what the output does with raw bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report.h"
#include "tally.h"

namespace {

std::vector<std::string> users_in(Order by, std::size_t top = 99) {
  std::vector<BoardRow> rows = {{"b", 1, 0, 400, 300},        {"a", 1, 0, 400, 300},
                                {"c", 5, 5, 400, 350},        {"d", 9, 1, 100, 100},
                                {"\xB1\xE8", 9, 1, 100, 100}, {"e", 2, 9, 90, 80}};
  order_board(rows, by, top);
  std::vector<std::string> users;
  for (const auto& r : rows) users.push_back(r.user);
  return users;
}

using Names = std::vector<std::string>;

}  // namespace

TEST(Board, EachOrderBreaksTiesByTheNextKeyThenTheIdByteWise) {
  EXPECT_EQ(users_in(Order::best), (Names{"c", "a", "b", "d", "\xB1\xE8", "e"}));
  EXPECT_EQ(users_in(Order::average), (Names{"c", "a", "b", "d", "\xB1\xE8", "e"}));
  EXPECT_EQ(users_in(Order::rounds), (Names{"d", "\xB1\xE8", "c", "e", "a", "b"}));
  EXPECT_EQ(users_in(Order::wins), (Names{"e", "c", "d", "\xB1\xE8", "a", "b"}));
  EXPECT_EQ(users_in(Order::rounds, 2), (Names{"d", "\xB1\xE8"}));
}

TEST(Board, TotalsCountWinsAndFloorTheMean) {
  Board board;
  auto add = [&](const char* user, int rank, int speed) {
    board.add({user, 1, 26, 12, 1, 0, 0, "short", 1, 1, rank, speed});
  };
  add("neg", 2, -5), add("neg", 1, -2);  // a best below zero is still the best
  add("pos", 1, 3), add("pos", 1, 4);
  const std::vector<BoardRow> rows = board.ranking(Order::best, 10);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(std::tie(rows[0].user, rows[0].rounds, rows[0].wins, rows[0].best, rows[0].average),
            std::tuple("pos", 2, 2, 4, 3));
  EXPECT_EQ(std::tie(rows[1].user, rows[1].wins, rows[1].best, rows[1].average),
            std::tuple("neg", 1, -2, -4));  // -3.5 rounded toward minus infinity
  EXPECT_EQ(floor_mean(static_cast<__int128>(INT32_MIN) * 3, 3), INT32_MIN);
}

TEST(Board, IdsSharingTheirFirstBytesStayApartAsTheTableGrowsAndPlacesFollowTheOrder) {
  Board board;
  const std::vector<std::string> alike = {"abcdefgh", "abcdefgh1", "abcdefgh2", "abc",
                                          std::string("abc\0", 4)};
  for (int round = 0; round < 3; ++round) {
    for (std::size_t i = 0; i < alike.size(); ++i)
      board.add({alike[i], 1, 26, 12, 1, 0, 0, "short", 1, 1, 2, 100 + static_cast<int>(i)});
    // Enough others, met again and again, for the table to grow several times between.
    for (int u = 0; u < 3000; ++u)
      board.add({"u" + std::to_string(u), 1, 26, 12, 1, 0, 0, "short", 1, 1, 1, 50});
  }
  const std::vector<BoardRow> rows = board.ranking(Order::best, 5);
  ASSERT_EQ(rows.size(), 5u);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].user, alike[alike.size() - 1 - i]);
    EXPECT_EQ(rows[i].rounds, 3);
  }
  EXPECT_EQ(board.ranking(Order::wins, 1)[0].user, "u0");
  const auto place = board.place_of("abcdefgh1", Order::best);
  ASSERT_TRUE(place);
  EXPECT_EQ(place->first, 4u);
  EXPECT_EQ(board.place_of("abcdefgh1", Order::wins)->first, 3004u);  // behind 3000 winners
  EXPECT_FALSE(board.place_of("abcdefgh3", Order::best));
}

TEST(Report, RawBytesCannotMoveTheCursorAndCutsKeepKoreanWhole) {
  EXPECT_EQ(shown("ab\x1b[2J\x9b"
                  "1m",
                  40),
            "ab?[2J?1m");
  EXPECT_EQ(shown("\xB1"
                  "a\xB1\xE8",
                  40),
            "?a\xB1\xE8");
  EXPECT_EQ(shown("abcdefgh", 5), "abcd~");
  EXPECT_EQ(shown("\xB0\xA1\xB0\xA1\xB0\xA1", 5), "\xB0\xA1\xB0\xA1~");
  EXPECT_EQ(shown("\xB0\xA1\xB0\xA1\xB0\xA1", 4), "\xB0\xA1~");

  std::string csv;
  for (const char* f : {"plain", "a,b", "say \"hi\"", "cr\rhere"})
    append_csv_field(csv, f), csv += ';';
  EXPECT_EQ(csv, "plain;\"a,b\";\"say \"\"hi\"\"\";\"cr\rhere\";");

  // What iconv cannot take keeps its columns: a pair becomes two '?', a stray byte one.
  iconv_t cd = iconv_open("UTF-8", "EUC-KR");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  std::string out;
  to_utf8(cd, "\xB0\xA1|\xAD\xA1|\xA0|\xB0", out);
  EXPECT_EQ(out, "\xEA\xB0\x80|??|?|?");
  iconv_close(cd);
}
