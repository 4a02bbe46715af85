// What typescore says when its score directory is missing or in the way, when memory or
// its output fail it, and how it cuts what it shows to fit a terminal.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "harness.h"
#include "score_run.h"

namespace {

using harness::Scratch;
using score_test::ledger_of;
using score_test::lines_of;
using score_test::round_line;
using score_test::score;

const std::vector<std::vector<std::string>> kPeriods = {
    {"--month", "2612"}, {"--all"}, {"--since", "261201", "--until", "261231"}, {"--week"}};

}  // namespace

TEST(TypescoreMends, TheScoreDirectoryMissingOrInTheWayIsSaidTheSameForEveryPeriod) {
  Scratch dir;
  std::filesystem::remove(dir.file("user/score"));
  for (std::vector<std::string> args : kPeriods) {
    args.push_back("--csv");
    // Missing: no rounds yet, unless asked to check.
    auto none = score(dir, args);
    EXPECT_EQ(none.status, 0) << args[0];
    EXPECT_EQ(none.err, "");
    EXPECT_EQ(none.out, "rank,user,rounds,wins,best,average\n");
    args.push_back("--check");
    auto checked = score(dir, args);
    EXPECT_EQ(checked.status, 1) << args[0];
    EXPECT_EQ(checked.err, "typescore: user/score: No such file or directory\n");
    args.pop_back();
    dir.write("user/score", "");
    auto file = score(dir, args);
    EXPECT_EQ(file.status, 1) << args[0];
    EXPECT_EQ(file.err, "typescore: user/score: Not a directory\n");
    EXPECT_EQ(file.out, "rank,user,rounds,wins,best,average\n");
    dir.remove("user/score");
  }
  // One that cannot be read, as a user other than root finds it.
  ASSERT_EQ(mkdir(dir.file("user/score").c_str(), 0), 0);
  const auto nobody = harness::as_other_user(dir, harness::program("typescore"));
  if (!nobody) GTEST_SKIP() << "needs setpriv to drop root";
  for (std::vector<std::string> args : kPeriods) {
    args.insert(args.begin(), nobody->args.begin(), nobody->args.end());
    auto r = harness::run(nobody->bin, args, dir.path(), {}, 120000);
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_EQ(r.err, "typescore: user/score: Permission denied\n");
  }
}

TEST(TypescoreMends, RunningOutOfMemoryIsOneLineAndStatus1) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer maps more than the limit allows";
#endif
  Scratch dir;
  std::string many;
  for (int u = 0; u < 100000; ++u)
    many += round_line("u" + std::to_string(u), 26, 12, 1, 0, 0, "short", 1, 100);
  dir.write(ledger_of(26, 12), many);
  const long limit = 24L << 20;
  auto r = score(dir, {"--month", "2612"}, {}, harness::address_space_limit(limit));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "typescore: out of memory\n");
  // The same limit holds a few users well.
  dir.write(ledger_of(26, 12), round_line("alice", 26, 12, 1, 0, 0, "short", 1, 100));
  EXPECT_EQ(score(dir, {"--month", "2612"}, {}, harness::address_space_limit(limit)).status, 0);
}

TEST(TypescoreMends, OutputThatCannotBeWrittenFailsAndAStoppedPipelineEndsItBySigpipe) {
  Scratch dir;
  dir.write(ledger_of(26, 12), round_line("alice", 26, 12, 1, 0, 0, "short", 1, 100));
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--help"}, {"--version"}, {"--month", "2612"}}) {
    auto full = score(dir, args, {}, harness::stdout_full());
    EXPECT_EQ(full.status, 1) << args[0];
    EXPECT_EQ(full.err, "typescore: standard output: No space left on device\n");
  }
  // As pipeline tools do; a caller that ignores SIGPIPE gets the error instead.
  EXPECT_EQ(score(dir, {"--month", "2612"}, {}, harness::stdout_unread()).status, 128 + SIGPIPE);
  auto ignored = score(dir, {"--month", "2612"}, {}, [] {
    harness::stdout_unread()();
    signal(SIGPIPE, SIG_IGN);
  });
  EXPECT_EQ(ignored.status, 1);
  EXPECT_EQ(ignored.err, "typescore: standard output: Broken pipe\n");
}

TEST(TypescoreMends, CheckShowsControlBytesInFileNamesAsQuestionMarks) {
  Scratch dir;
  dir.write("user/score/type\x1b[2J\n.dat", "not a round\n");
  auto r = score(dir, {"--all", "--check", "--csv"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "user/score/type?[2J?.dat:1: fewer than 11 fields\n");
  dir.write("user/score/type\x1b.dat/x", "");
  EXPECT_EQ(score(dir, {"--all", "--csv"}).err,
            "typescore: user/score/type?.dat: Is a directory\n");
}

TEST(TypescoreMends, ACutUserTitleKeepsItsEndAndTheUserColumnsNeverCutANumber) {
  Scratch dir;
  const std::string id(60, 'i'), type(60, 't');
  std::array<char, kLedgerLineSize> wide;
  const std::size_t n = format_ledger_line(
      wide, {id, 1, 2147483647, 12, 7, 10, 20, type, 1, -2147483647, -2147483647, -2147483647});
  dir.write(ledger_of(26, 12),
            round_line(id, 26, 12, 7, 10, 20, type, 1, 412) + std::string(wide.data(), n));
  const auto title = lines_of(score(dir, {"--user", id, "--type", type, "--month", "2612"}).out);
  ASSERT_FALSE(title.empty());
  // "== " id " 님의 타자 기록: 26년 12월 (유형: " type ") ==": 41 fixed bytes, 38 for
  // the two, each of them cut with '~'.
  EXPECT_EQ(title[0], "== " + std::string(18, 'i') +
                          "~ \xB4\xD4\xC0\xC7 \xC5\xB8\xC0\xDA "
                          "\xB1\xE2\xB7\xCF: 26\xB3\xE2 12\xBF\xF9 (\xC0\xAF\xC7\xFC: " +
                          std::string(18, 't') + "~) ==");
  EXPECT_EQ(title[0].size(), 79u);
  // A year wider than two digits widens the date, and the numbers theirs: the word type
  // gives up the room, so every number stays whole and the line within 79 columns.
  const auto all = lines_of(score(dir, {"--user", id, "--all"}).out);
  ASSERT_EQ(all.size(), 6u);
  EXPECT_EQ(all[5].substr(0, 16), "2147483647/12/07");
  EXPECT_TRUE(all[5].ends_with("-2147483647  -2147483647  -2147483647")) << all[5];
  for (const std::string& l : all) EXPECT_LE(l.size(), 79u) << l;
}
