// The relay's conversions and the line the person types.

#include <gtest/gtest.h>

#include <clocale>
#include <string>

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

TEST(FrameLog, KeepsWholeFramesWhereverTheReadsSplitThem) {
  const std::string a = "\x1b[s\x1b[21;1H\n\t<5>\x1b[u", b = "\x1b[s\x1b[21;1H\n\t<4>\x1b[u";
  const std::string wire = "noise" + a + "\x1b[2K" + b + "\x1b[s";
  for (std::size_t cut = 0; cut <= wire.size(); ++cut) {
    play::FrameLog log;
    log.feed(wire.substr(0, cut));
    log.feed(wire.substr(cut));
    ASSERT_EQ(log.frames().size(), 2u) << "cut at " << cut;
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
