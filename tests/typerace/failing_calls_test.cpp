// System calls that fail where nobody expected it, made to fail on purpose (libfiu): a call
// that fails for a moment is made again, and a round that could not clean up says so by
// its status, stays silent, and leaves a room that the stale rule frees.

#include <dirent.h>

#include <gtest/gtest.h>

#include <ctime>
#include <set>
#include <string>

#include "harness.h"
#include "round_view.h"

namespace {

using harness::Pty;
using harness::Scratch;
using namespace round_view;

#define NEED_FIU()                                                                    \
  if (!harness::can_fail_calls())                                                     \
  GTEST_SKIP() << "libfiu is not installed (Debian package fiu-utils), so no system " \
                  "call can be made to fail"

const std::string kCannotMake =  // typestart: the file the question needs cannot be made
    "\xB9\xAE\xC1\xA6\xC7\xCA\xBF\xE4\xC6\xC4\xC0\xCF\xC0\xBB \xB8\xB8\xB5\xE9\xBC\xF6 "
    "\xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.";

void short_round(const Scratch& dir) {
  dir.write("frm/typegame/data.txt", "short 1 short.lst\n");
  dir.write("frm/typegame/short.lst", "5 hello\n");
}

harness::Proc start(const std::string& prog, const Scratch& dir, const std::string& failing,
                    const harness::ChildSetup& setup = {}) {
  return harness::Proc(harness::program(prog), {"x", "2", "7", "short"}, dir.path(),
                       harness::failing_calls(failing), setup);
}

// What the round programs left in frm/typegame: nothing, when all went well.
std::string left_over(const Scratch& dir) {
  std::set<std::string> names;
  if (DIR* d = opendir(dir.file("frm/typegame").c_str())) {
    while (dirent* e = readdir(d)) names.insert(e->d_name);
    closedir(d);
  }
  std::string left;
  for (const auto& n : names)
    if (n != "." && n != ".." && n != "data.txt" && n != "short.lst") left += n + " ";
  return left;
}

}  // namespace

TEST(FailingCalls, ARoundThatCannotCleanUpEndsNonZeroAndTheStaleRuleFreesItsRoom) {
  NEED_FIU();
  Scratch dir;
  Pty a;
  harness::write_roster(dir, 7, {{2, a.name()}});
  short_round(dir);
  {
    harness::ChatEngine engine(dir, 7, 2, {{0, "alice"}});
    // No file can be removed, ever (EACCES).
    harness::Proc round = start("typerace", dir, "enable name=posix/io/dir/unlink,failinfo=13");
    const harness::Result r = round.wait(30000);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "");  // silent, as every failure during a round
    EXPECT_EQ(engine.join(), "hello");
  }
  EXPECT_NE(a.drain().find("   alice   "), std::string::npos);  // the round was played
  EXPECT_EQ(left_over(dir), "chatmess.72 taja.72 ");
  // The next round takes the room over once the answer file is stale, and does not rank
  // the results left behind again.
  harness::set_mtime(dir.file("frm/typegame/taja.72"), std::time(nullptr) - 3600);
  EXPECT_EQ(harness::run(harness::program("typerace"), {"x", "2", "7", "short"}, dir.path()).status,
            0);
  EXPECT_EQ(ledger_lines(dir).size(), 1u);
  EXPECT_EQ(left_over(dir), "");
}

TEST(FailingCalls, ACallThatFailsOnceIsMadeAgain) {
  NEED_FIU();
  // The claim's create says the file exists although it does not.
  Scratch claim;
  short_round(claim);
  harness::ChatEngine claim_engine(claim, 7, 2, {}, 20000);
  harness::Proc claim_round =
      start("typerace", claim, "enable name=posix/io/oc/open,failinfo=17,onetime");
  // The first write to a terminal, the title's, takes only part of it.
  Scratch frame;
  Pty player;
  harness::write_roster(frame, 7, {{2, player.name()}});
  short_round(frame);
  harness::Proc frame_round =
      start("typerace", frame, "enable name=posix/io/rw/write/reduce,onetime");
  // A results file of an earlier round, whose removal fails once with EIO.
  Scratch stale;
  short_round(stale);
  stale.write("frm/typegame/chatmess.72", "1000000000 bob typed\n");
  harness::ChatEngine stale_engine(stale, 7, 2, {{0, "alice"}}, 20000);
  harness::Proc stale_round =
      start("typerace", stale, "enable name=posix/io/dir/unlink,failinfo=5,onetime");
  // A ledger line cut by the file-size limit, whose taking back fails once.
  Scratch cut;
  short_round(cut);
  const std::string before(200, 'x');
  cut.write(harness::this_months_ledger(), before + "\n");
  harness::ChatEngine cut_engine(cut, 7, 2, {{0, "carol"}}, 20000);
  harness::Proc cut_round =
      start("typerace", cut, "enable name=posix/io/rw/ftruncate,failinfo=5,onetime",
            harness::file_size_limit(static_cast<long>(before.size()) + 11));
  // typestart's new answer file can never be renamed into place, and its first removal
  // fails: it is still removed.
  Scratch left;
  short_round(left);
  harness::Proc left_round = start("typestart", left,
                                   "enable name=posix/io/dir/rename,failinfo=5\n"
                                   "enable name=posix/io/dir/unlink,failinfo=5,onetime");

  EXPECT_EQ(claim_round.wait(30000).status, 0);
  EXPECT_EQ(claim_engine.join(), "hello");
  EXPECT_EQ(left_over(claim), "");

  EXPECT_EQ(frame_round.wait(30000).status, 0);
  std::size_t rest = 0;
  const std::string got = player.drain();
  EXPECT_TRUE(opens_round(got, "short", "hello", &rest)) << harness::euckr_to_utf8(got);

  EXPECT_EQ(stale_round.wait(30000).status, 0);
  stale_engine.join();
  const auto lines = ledger_lines(stale);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("alice"), std::string::npos);
  EXPECT_EQ(left_over(stale), "");

  EXPECT_EQ(cut_round.wait(30000).status, 0);
  cut_engine.join();
  EXPECT_EQ(cut.read(harness::this_months_ledger()), before + "\n");  // only whole lines

  const harness::Result r = left_round.wait(30000);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, kCannotMake + ": Input/output error\n");
  EXPECT_EQ(left_over(left), "");
}
