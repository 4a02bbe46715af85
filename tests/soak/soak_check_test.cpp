// What the soak run judges: terminal frames, countdowns and ledger lines.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ledger_format.h"
#include "soak_check.h"

namespace {

using soak::Frame;

const std::string kHead = "\x1b[s\x1b[21;1H\n";
std::string race(const std::string& text) { return kHead + "\t" + text + "\x1b[u"; }
// Built by appending: GCC 12 at -O3 mistakes a string added before a temporary for an
// overlapping copy.
std::string start(const std::string& text) {
  std::string s = kHead;
  s.append(14, ' ');
  return s + text + "\x1b[u";
}

std::vector<Frame> read_all(const std::vector<std::string>& pieces) {
  soak::FrameReader r;
  std::vector<Frame> out;
  for (const auto& p : pieces) r.feed(p, out);
  r.finish(out);
  return out;
}

TEST(FrameReader, WholeFramesArriveWhateverTheSplit) {
  std::string wire = race("<3>");
  wire += start("\xC5\xB8\xC0\xDA");
  wire += race("\x1b[7mhello\x1b[m\n");
  for (std::size_t cut = 0; cut <= wire.size(); ++cut) {
    auto got = read_all({wire.substr(0, cut), wire.substr(cut)});
    ASSERT_EQ(got.size(), 3u) << "split at " << cut;
    EXPECT_EQ(got[0].kind, Frame::Whole);
    EXPECT_EQ(got[0].text, "<3>");
    EXPECT_EQ(got[1].text, "\xC5\xB8\xC0\xDA");
    EXPECT_EQ(got[2].text, "\x1b[7mhello\x1b[m\n");
  }
}

TEST(FrameReader, CutStrayAndForeignBytesAreNamed) {
  // A frame the next one broke into.
  std::string cut = kHead + "\t<2";
  auto got = read_all({cut + race("<1>")});
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].kind, Frame::Cut);
  EXPECT_EQ(got[0].text, cut);
  EXPECT_EQ(got[1].kind, Frame::Whole);

  got = read_all({"\x1b[s\x1b[2" + race("<1>")});  // cut inside the head
  EXPECT_EQ(got[0].kind, Frame::Cut);

  got = read_all({"junk" + race("<1>") + kHead + "\t<0"});  // stray bytes; cut by the end
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].kind, Frame::Stray);
  EXPECT_EQ(got[2].kind, Frame::Cut);

  EXPECT_EQ(read_all({race("1 \x07user")})[0].kind, Frame::Garbled);  // a control byte
  EXPECT_EQ(read_all({race("\x1b[2J")})[0].kind, Frame::Garbled);
  EXPECT_EQ(read_all({kHead + "<1>\x1b[u"})[0].kind, Frame::Garbled);  // no indent
}

TEST(Countdown, FallsStrictlyWithinFiveToZero) {
  EXPECT_TRUE(soak::countdown_ok({"<5>", "<4>", "<3>", "<2>", "<1>", "<0>"}, true));
  EXPECT_TRUE(soak::countdown_ok({"<5>", "<3>", "<0>"}, true));  // a stall skips values
  EXPECT_TRUE(soak::countdown_ok({"<5>", "<4>"}, false));        // a round cut short
  EXPECT_FALSE(soak::countdown_ok({"<5>", "<4>"}, true));
  EXPECT_FALSE(soak::countdown_ok({"<5>", "<5>", "<0>"}, true));
  EXPECT_FALSE(soak::countdown_ok({"<3602>", "<1>", "<0>"}, true));
  EXPECT_FALSE(soak::countdown_ok({"<5>", "<-5>"}, false));
  EXPECT_FALSE(soak::countdown_ok({"<5>", "<4x>"}, false));
  EXPECT_FALSE(soak::countdown_value("hello"));
}

TEST(LedgerLine, OnlyWhatTheFormatPrintsIsWellFormed) {
  char line[256];
  std::snprintf(line, sizeof line, LEDGER_FORMAT, "p0000120", 2, 26, 12, 8, 21, 5, "sa", 3, 2, 1,
                150);
  std::string good(line, std::strlen(line) - 1);
  EXPECT_EQ(soak::ledger_line_user(good), "p0000120");
  // A clock step widens the elapsed field; still the format's own line.
  std::snprintf(line, sizeof line, LEDGER_FORMAT, "?h000012", 2, 26, 12, 8, 21, 5, "sa", 3, -3598,
                2, 0);
  EXPECT_EQ(soak::ledger_line_user(std::string(line, std::strlen(line) - 1)), "?h000012");

  EXPECT_FALSE(soak::ledger_line_user(good.substr(0, 30)));         // torn
  EXPECT_FALSE(soak::ledger_line_user(good.substr(0, 30) + good));  // glued to a fragment
  EXPECT_FALSE(soak::ledger_line_user(" " + good));                 // misaligned
  std::string ctrl = good;
  ctrl[3] = '\x1b';
  EXPECT_FALSE(soak::ledger_line_user(ctrl));
}

TEST(Stderr, OnlyTheProgramsOwnMessageCounts) {
  // The commands a round starts meet the same failing calls and say so themselves.
  EXPECT_EQ(soak::own_stderr("touch: cannot touch 'x': Interrupted system call\n"
                             "msg: Bad address\nsh: 1: Cannot fork\n"),
            "msg: Bad address\n");
  EXPECT_EQ(soak::own_stderr("touch: x\n"), "");
  EXPECT_EQ(soak::own_stderr("a touch: x\nno end"), "a touch: x\nno end");

  const std::vector<std::string> messages = {"\xB9\xAE msg", "other"};
  EXPECT_TRUE(soak::failure_line("\xB9\xAE msg: Input/output error\n", messages));
  EXPECT_TRUE(soak::failure_line("other: x\n", messages));
  EXPECT_FALSE(soak::failure_line("", messages));
  EXPECT_FALSE(soak::failure_line("other: \n", messages));  // no reason
  EXPECT_FALSE(soak::failure_line("other: x", messages));   // no line end
  EXPECT_FALSE(soak::failure_line("other: x\nother: y\n", messages));
  EXPECT_FALSE(soak::failure_line("another: x\n", messages));
  EXPECT_FALSE(soak::failure_line("other x\n", messages));
}

}  // namespace
