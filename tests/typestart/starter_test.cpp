#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "broadcast.h"
#include "dir_helpers.h"
#include "harness.h"
#include "starter.h"

namespace {

// Seeds the generator so that the program's pick number comes out as `want`.
void seed_for_pick(int want) {
  for (unsigned seed = 1;; ++seed) {
    std::srand(seed);
    if (std::rand() % 3 == want) {
      std::srand(seed);
      return;
    }
  }
}

}  // namespace

class PrintTaja : public ::testing::Test {
 protected:
  harness::Scratch dir;
  InDir in{dir.path()};

  void SetUp() override {
    dir.write("frm/typegame/data.txt",
              "five 30 five.lst\none 40 one.lst\nlong 50 long.lst\nlast 45 five.lst\n");
    dir.write("frm/typegame/five.lst", "11 w1\n12 w2\n13 w3\n14 w4\n15 w5\n");
    dir.write("frm/typegame/one.lst", "7 only\n");
    room_sec = 0;
    read_tty(2, 7);
  }

  std::string play(const char* type, int pick, std::int32_t* strokes = nullptr) {
    seed_for_pick(pick);
    std::int32_t s = 0;
    print_taja(2, 7, type, s);
    if (strokes) *strokes = s;
    return dir.read("frm/typegame/taja.72").value_or("<none>");
  }
};

TEST_F(PrintTaja, PickNumberChoosesFirstSecondOrLastRecord) {
  std::int32_t strokes = 0;
  EXPECT_EQ(play("five", 1, &strokes), "w1");
  EXPECT_EQ(strokes, 11);
  EXPECT_EQ(play("five", 2, &strokes), "w2");
  EXPECT_EQ(strokes, 12);
  EXPECT_EQ(play("five", 0, &strokes), "w5");
  EXPECT_EQ(strokes, 15);
  for (int n = 0; n < 3; ++n) EXPECT_EQ(play("one", n), "only") << n;
}

TEST_F(PrintTaja, LimitComesFromTheRecordFound) {
  play("one", 1);
  EXPECT_EQ(ftime, 40);
  EXPECT_EQ(play("nosuch", 1), "w1");  // the index's last record
  EXPECT_EQ(ftime, 45);
}

TEST_F(PrintTaja, AnswerFileIsReplacedWithTheBareWord) {
  dir.write("frm/typegame/taja.72", "an older and longer word\n");
  EXPECT_EQ(play("one", 1), "only");
}

TEST_F(PrintTaja, OverlongWordIsCutOnACharacterBoundary) {
  std::string word;
  for (int i = 0; i < 125; ++i) word += "\xB0\xA1";
  dir.write("frm/typegame/long.lst", "3 " + word + "\n");
  EXPECT_EQ(play("long", 1), word.substr(0, 198));
  dir.write("frm/typegame/long.lst", "3 " + std::string(250, 'a') + "\n");
  EXPECT_EQ(play("long", 1), std::string(199, 'a'));
}
