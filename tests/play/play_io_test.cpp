// The relay's conversions and the line the person types.

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "harness.h"
#include "play_io.h"

namespace {

using play::LineEditor;
using play::Recoder;

const std::string kTaja = harness::utf8_to_euckr("타자");

TEST(Recoder, CharacterSplitBetweenReadsArrivesWhole) {
  Recoder r("EUC-KR", "UTF-8");
  std::string wire = "\x1b[7m" + kTaja + "\x1b[m";
  std::string got;
  // Every split point, including the one inside the first Korean character.
  for (std::size_t cut = 0; cut <= wire.size(); ++cut) {
    got = r.feed(wire.substr(0, cut));
    got += r.feed(wire.substr(cut));
    EXPECT_EQ(got, "\x1b[7m타자\x1b[m") << "cut at " << cut;
  }
}

TEST(Recoder, ByteOfNoCharacterShowsAsQuestionMarkAndTheRestGoesOn) {
  Recoder r("EUC-KR", "UTF-8");
  EXPECT_EQ(r.feed("a\xFF" + kTaja), "a?타자");
  // A lead byte followed by a byte that cannot finish it is not held back forever.
  EXPECT_EQ(r.feed(std::string("\xB0") + 'A'), "?A");
}

TEST(Recoder, SameEncodingPassesBytesUnchanged) {
  Recoder r("EUC-KR", "EUC-KR");
  EXPECT_FALSE(r.converts());
  EXPECT_EQ(r.feed("\xB0"), "\xB0");
  EXPECT_EQ(r.whole("\xFF\xFE"), "\xFF\xFE");
}

TEST(Recoder, TypedLineConvertsWholeOrNotAtAll) {
  Recoder r("UTF-8", "EUC-KR");
  EXPECT_EQ(r.whole("사랑해"), harness::utf8_to_euckr("사랑해"));
  EXPECT_EQ(r.whole("hello"), "hello");
  EXPECT_EQ(r.whole("가\xF0\x9F\x98\x80"), std::nullopt);      // no place in EUC-KR
  EXPECT_EQ(r.whole("\xEA\xB0"), std::nullopt);                // a character cut short
  EXPECT_EQ(r.whole("안녕"), harness::utf8_to_euckr("안녕"));  // nothing left over from before
}

class LineEditorTest : public ::testing::Test {
 protected:
  void SetUp() override { std::setlocale(LC_ALL, "C.UTF-8"); }
  void TearDown() override { std::setlocale(LC_ALL, "C"); }
  LineEditor::Event type(const std::string& keys) {
    LineEditor::Event last = LineEditor::Event::None;
    for (char c : keys) last = ed.feed(static_cast<unsigned char>(c));
    return last;
  }
  LineEditor ed;
};

TEST_F(LineEditorTest, BackspaceTakesAWholeKoreanCharacter) {
  EXPECT_EQ(type("a사랑"), LineEditor::Event::Changed);
  EXPECT_EQ(type("\x7f"), LineEditor::Event::Changed);
  EXPECT_EQ(ed.text(), "a사");
  type("\x08\x7f");
  EXPECT_EQ(ed.text(), "");
  EXPECT_EQ(type("\x7f"), LineEditor::Event::None);
}

TEST_F(LineEditorTest, KeysThatSendSequencesOrControlsLeaveTheLineAlone) {
  type(std::string("ab\x1b[D\x1b[1;5C\x1bOA\x1b") + 'x' + "\t\x01" + 'c');
  EXPECT_EQ(ed.text(), "abc");
  type("\x15");  // Ctrl-U
  EXPECT_EQ(ed.text(), "");
}

TEST_F(LineEditorTest, EnterEndsTheLineAndStartsAnother) {
  type("hello");
  EXPECT_EQ(type("\r"), LineEditor::Event::Line);
  EXPECT_EQ(ed.take(), "hello");
  EXPECT_EQ(ed.text(), "");
  EXPECT_EQ(type("\n"), LineEditor::Event::Line);
  EXPECT_EQ(ed.take(), "");
}

TEST_F(LineEditorTest, CtrlCInterruptsAlwaysCtrlDLeavesOnlyFromAnEmptyLine) {
  EXPECT_EQ(type("x\x04"), LineEditor::Event::None);
  EXPECT_EQ(type("\x03"), LineEditor::Event::Interrupt);
  ed.take();
  EXPECT_EQ(type("\x04"), LineEditor::Event::Quit);
}

TEST_F(LineEditorTest, LineStopsGrowingAtItsLimit) {
  type(std::string(LineEditor::kMax + 10, 'a'));
  EXPECT_EQ(ed.text().size(), LineEditor::kMax);
}

class WidthTest : public ::testing::Test {
 protected:
  void SetUp() override { std::setlocale(LC_ALL, "C.UTF-8"); }
  void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

TEST_F(WidthTest, ColumnsOfHangulAsciiEscapesAndTabs) {
  EXPECT_EQ(play::display_width("ab"), 2);
  EXPECT_EQ(play::display_width("사랑해"), 6);
  EXPECT_EQ(play::display_width("\x1b[7ma\x1b[m\x1b[21;1H\n"), 1);
  EXPECT_EQ(play::display_width("a\tb"), 9);
}

TEST_F(WidthTest, CutKeepsEscapesAndNeverSplitsACharacter) {
  const std::string frame = "\x1b[s\x1b[21;1H\n\t\x1b[7m사랑해요\x1b[m\n\x1b[u";
  // The tab takes 8 columns; of the word, what fits whole.
  EXPECT_EQ(play::cut_to_width(frame, 13), "\x1b[s\x1b[21;1H\n\t\x1b[7m사랑\x1b[m\n\x1b[u");
  EXPECT_EQ(play::cut_to_width(frame, 16), frame);
  EXPECT_EQ(play::cut_to_width(frame, 0), frame);  // width unknown
  // Each row has the width anew: after a line end and after a move of the cursor.
  EXPECT_EQ(play::cut_to_width("abcd\r\nefgh\x1b[3;1Hijkl\x1b[3;3Hmnop", 2),
            "ab\r\nef\x1b[3;1Hij\x1b[3;3H");
  // Once a wide character does not fit, a narrow one after it does not slip in.
  EXPECT_EQ(play::cut_to_width("a사b", 2), "a");
  // A tab stops at the last column, so a character still fits there.
  EXPECT_EQ(play::cut_to_width("\txyz", 5), "\tx");
}

TEST(Width, RawEucKrOutsideAUtf8LocaleCountsTwoColumnsAPair) {
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(play::display_width(kTaja), 4);
  EXPECT_EQ(play::cut_to_width(kTaja + "x", 3), kTaja.substr(0, 2));
  EXPECT_EQ(play::last_columns(kTaja, 2), kTaja.substr(2));
}

TEST_F(WidthTest, LineBeingTypedShowsItsEnd) {
  EXPECT_EQ(play::last_columns("hello", 3), "llo");
  EXPECT_EQ(play::last_columns("a사랑", 3), "랑");
  EXPECT_EQ(play::last_columns("ab", 5), "ab");
}

TEST_F(WidthTest, WrapBreaksBetweenWordsAndBreaksAWordTooLong) {
  using V = std::vector<std::string>;
  EXPECT_EQ(play::wrap_to_width("Round over: you placed 1st of 4", 12),
            (V{"Round over:", "you placed", "1st of 4"}));
  EXPECT_EQ(play::wrap_to_width("abcdefgh ij", 3), (V{"abc", "def", "gh", "ij"}));
  EXPECT_EQ(play::wrap_to_width("사랑해 x", 4), (V{"사랑", "해 x"}));
  EXPECT_EQ(play::wrap_to_width("", 5), (V{""}));
  EXPECT_EQ(play::wrap_to_width("as it is", 0), (V{"as it is"}));
}

TEST(FrameText, WhatAFrameShowsAndWhereItStarts) {
  std::size_t start = 0;
  const std::string frame = "\x1b[s\x1b[21;1H\n  \t1 a\n\x1b[u";
  EXPECT_EQ(play::frame_text(frame, &start), "1 a");
  EXPECT_EQ(start, frame.find("1 a"));
}

TEST(FrameLog, KeepsWholeFramesWhereverTheReadsSplitThem) {
  const std::string a = "\x1b[s\x1b[21;1H\n\t<5>\x1b[u", b = "\x1b[s\x1b[21;1H\n\t<4>\x1b[u";
  const std::string wire = "noise" + a + "\x1b[2K" + b + "\x1b[s";
  for (std::size_t cut = 0; cut <= wire.size(); ++cut) {
    play::FrameLog log;
    auto done = log.feed(wire.substr(0, cut));
    for (auto& f : log.feed(wire.substr(cut))) done.push_back(f);
    ASSERT_EQ(log.frames().size(), 2u) << "cut at " << cut;
    EXPECT_EQ(done, (std::vector<std::string>{a, b})) << "cut at " << cut;
    EXPECT_EQ(log.frames()[0], a);
    EXPECT_EQ(log.frames()[1], b);
  }
}

TEST(FrameLog, ForgetsTheOldestAndAnOpeningNeverClosed) {
  play::FrameLog log;
  for (std::size_t i = 0; i < play::FrameLog::kKeep + 5; ++i)
    log.feed("\x1b[s" + std::to_string(i) + "\x1b[u");
  ASSERT_EQ(log.frames().size(), play::FrameLog::kKeep);
  EXPECT_EQ(log.frames().front(), "\x1b[s5\x1b[u");
  log.feed("\x1b[s" + std::string(play::FrameLog::kLongest + 1, 'x'));
  log.feed("\x1b[u\x1b[snext\x1b[u");
  EXPECT_EQ(log.frames().back(), "\x1b[snext\x1b[u");
  const std::size_t last = play::FrameLog::kKeep + 4;
  EXPECT_EQ(log.frames()[log.frames().size() - 2], "\x1b[s" + std::to_string(last) + "\x1b[u");
}

}  // namespace
