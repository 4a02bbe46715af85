// The server stand-in of play mode: its chat engine, the rivals, and the ranking it
// announces after a typestart round.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness.h"
#include "play_room.h"

namespace {

using play::ChatStandIn;
using Typed = play::ChatStandIn::Typed;

const char kAnswer[] = "frm/typegame/taja.31";
const char kResults[] = "frm/typegame/chatmess.31";

TEST(ChatStandIn, RecordsFinishersInFinishingOrderWhileTheWordIsOut) {
  harness::Scratch dir;
  ChatStandIn engine(dir.path(), 3, 1, "you", {{"fast", 1}, {"slow", 4}});

  engine.tick(1000);
  EXPECT_FALSE(engine.word_out());
  EXPECT_EQ(engine.typed("hello", 1000), Typed::NotYet);
  dir.write(kAnswer, "");  // claimed by the round, word not yet published
  EXPECT_EQ(engine.typed("hello", 1000), Typed::NotYet);

  dir.write(kAnswer, "hello");
  engine.tick(1000);
  ASSERT_TRUE(engine.word_out());
  EXPECT_EQ(engine.word(), "hello");
  EXPECT_EQ(engine.word_time(), 1000);
  EXPECT_FALSE(dir.exists(kResults));

  EXPECT_EQ(engine.typed("hell", 1001), Typed::Missed);
  EXPECT_EQ(engine.typed("hello ", 1001), Typed::Missed);
  // The rival due at 1001 is recorded before the person who typed the word then.
  EXPECT_EQ(engine.typed("hello", 1001), Typed::Finished);
  EXPECT_EQ(engine.typed("hello", 1002), Typed::AlreadyFinished);
  EXPECT_EQ(engine.take_finished(), std::vector<std::string>{"fast"});
  engine.tick(1003);
  EXPECT_TRUE(engine.take_finished().empty());
  engine.tick(1004);
  engine.tick(1005);
  EXPECT_EQ(engine.take_finished(), std::vector<std::string>{"slow"});
  EXPECT_EQ(dir.read(kResults), "1001 fast typed\n1001 you typed\n1004 slow typed\n");
}

TEST(ChatStandIn, NobodyFinishesOnceTheRoundHasRemovedItsAnswerFile) {
  harness::Scratch dir;
  ChatStandIn engine(dir.path(), 3, 1, "you", {{"late", 5}});
  dir.write(kAnswer, harness::utf8_to_euckr("사랑해"));
  engine.tick(50);
  dir.remove(kAnswer);
  engine.tick(60);
  EXPECT_EQ(engine.typed(harness::utf8_to_euckr("사랑해"), 60), Typed::NotYet);
  EXPECT_FALSE(dir.exists(kResults));
}

TEST(Rivals, FinishWithinTheLimitAndNeverAtOnce) {
  auto r = play::rivals_for(10);
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].delay_s, 4);
  EXPECT_EQ(r[1].delay_s, 6);
  EXPECT_EQ(r[2].delay_s, 8);
  for (std::int32_t limit : {0, 1, -5})
    for (const auto& rival : play::rivals_for(limit)) EXPECT_EQ(rival.delay_s, 1);
}

TEST(RoundPlan, LimitAndStrokesComeFromTheIndexAndList) {
  harness::Scratch dir;
  EXPECT_EQ(play::plan_round(dir.path(), "short").limit, 30);  // no index: the fallback's
  EXPECT_EQ(play::plan_round(dir.path(), "short").list, "");
  dir.write("frm/typegame/data.txt", "short 5 short.lst\nlong 20 long.lst\n");
  dir.write("frm/typegame/long.lst", "7 one\n12 two\n");
  auto plan = play::plan_round(dir.path(), "zzz");  // unknown: the index's last record
  EXPECT_EQ(plan.limit, 20);
  EXPECT_EQ(plan.list, "frm/typegame/long.lst");
  EXPECT_EQ(play::strokes_of(dir.path(), plan, "two"), 12);
  EXPECT_EQ(play::strokes_of(dir.path(), plan, "three"), 0);
  EXPECT_EQ(play::strokes_of(dir.path(), play::plan_round(dir.path(), "short"), "one"), 0);
}

TEST(Ranking, InFileOrderWithTypeRacesWordsAndNoDivisionByZero) {
  harness::Scratch dir;
  std::string path = dir.file(kResults);
  auto none = play::ranking(path, 1000, 10);
  ASSERT_EQ(none.size(), 1u);
  EXPECT_EQ(harness::euckr_to_utf8(none[0]), "결과가 없습니다.TT");

  dir.write(kResults, "1004 slow typed\nnot a line\n1000 instant typed\n1002 longername9 x\n");
  auto lines = play::ranking(path, 1000, 10);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(harness::euckr_to_utf8(lines[0]), "결과를 출력합니다");
  EXPECT_EQ(harness::euckr_to_utf8(lines[1]), "1 등   4 초   slow   150 타/분");
  EXPECT_EQ(harness::euckr_to_utf8(lines[2]), "2 등   0 초   instant   600 타/분");
  EXPECT_EQ(harness::euckr_to_utf8(lines[3]), "3 등   2 초   longerna   300 타/분");
}

TEST(Ranking, LineReadBackInAnyEncodingAndNothingElse) {
  auto r = play::parse_rank("2 등   3 초   minsu   140 타/분");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->rank, 2);
  EXPECT_EQ(r->seconds, 3);
  EXPECT_EQ(r->user, "minsu");
  EXPECT_EQ(r->speed, 140);
  EXPECT_TRUE(play::parse_rank(harness::utf8_to_euckr("1 등   0 초   you   420 타/분")));
  for (const char* other :
       {"<you> 1 등   0 초   you   420 타/분", "1 등   0 초   you   420 타/분 x",
        "결과를 출력합니다", "<5>", "1 등   0 초   ninechars   4 타/분", ""})
    EXPECT_FALSE(play::parse_rank(other)) << other;
}

TEST(Ranking, Ordinals) {
  EXPECT_EQ(play::ordinal(1), "1st");
  EXPECT_EQ(play::ordinal(2), "2nd");
  EXPECT_EQ(play::ordinal(3), "3rd");
  EXPECT_EQ(play::ordinal(4), "4th");
  EXPECT_EQ(play::ordinal(11), "11th");
  EXPECT_EQ(play::ordinal(13), "13th");
  EXPECT_EQ(play::ordinal(22), "22nd");
}

}  // namespace
