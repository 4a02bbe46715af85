// makenum run in a scratch source directory, at fixed dates where the date matters.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "harness.h"

namespace fs = std::filesystem;

namespace {

const std::string kCredit = "\xB0\xB3\xB9\xDF:\xB5\xB5\xB4\xE3\xBC\xD6";

std::string header(int n, const std::string& date) {
  char line1[100];
  std::snprintf(line1, sizeof line1, "#define MAKENUM             \"%d\"                      \n",
                n);
  return line1 + ("#define MAKEDATE            " + date + "\n//TAVRO 5.22d\n//" + kCredit + "\n");
}

std::string report(int n, const std::string& date) {
  return "make_num=" + std::to_string(n) + "  make_date=" + date + "\n";
}

// The clock standing at `when` (UTC), for makenum and the commands it starts.
std::vector<std::string> fake_env(const std::string& when, std::vector<std::string> extra = {}) {
  std::tm tm{};
  if (!strptime(when.c_str(), "%Y-%m-%d %H:%M:%S", &tm)) ADD_FAILURE() << "no time: " << when;
  extra.push_back("TZ=UTC");
  return harness::both_env(harness::fixed_clock(timegm(&tm)), extra);
}

class Makenum : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.write("main.c", "int main(void) { return 0; }\n");
    dir.write("bbs.h", "#include \"makenum.h\"\n");
    dir.write("notes.txt", "not a source\n");
  }

  // Runs `bin` at `when` (UTC) with `args`.
  harness::Result stamp_at(const std::string& when, std::vector<std::string> args = {},
                           std::vector<std::string> env = {}) {
    return harness::run(bin, args, dir.path(), fake_env(when, env));
  }

  void write_number(int n) { dir.write("makenum.h", header(n, "\"1999-01-01 00:00\"")); }

  ino_t inode_of(const std::string& rel) {
    struct stat st {};
    stat(dir.file(rel).c_str(), &st);
    return st.st_ino;
  }

  // `n` runs of `cmd` at once in the subdirectory `sub`, from build `from`: each ends in
  // time with a number of its own, together the n after `from`, and the header holds the
  // last.
  void take_turns(const harness::Command& cmd, const std::string& sub, int from, int n) {
    SCOPED_TRACE("in ./" + sub + " from " + std::to_string(from));
    const std::string cwd = sub.empty() ? dir.path() : dir.file(sub);
    std::vector<std::unique_ptr<harness::Proc>> runs;
    for (int i = 0; i < n; ++i)
      runs.push_back(std::make_unique<harness::Proc>(cmd.bin, cmd.args, cwd));
    // All of them within one minute: one that waits for ever must not hold the rest up.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    std::vector<int> numbers;
    for (auto& p : runs) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      auto r = p->wait(static_cast<int>(std::max<long long>(left.count(), 0)));
      EXPECT_EQ(r.status, 0) << r.err;
      numbers.push_back(std::atoi(r.out.c_str() + std::string("make_num=").size()));
    }
    std::sort(numbers.begin(), numbers.end());
    for (int i = 0; i < n; ++i) EXPECT_EQ(numbers[i], from + 1 + i);
    const auto now = dir.read(sub.empty() ? "makenum.h" : sub + "/makenum.h");
    EXPECT_EQ(now.value_or("").substr(0, 33), header(from + n, "").substr(0, 33));
  }

  std::string bin = harness::program("makenum");
  harness::Scratch dir;
};

TEST_F(Makenum, FromNoFileStartsAtZeroAndSnapshotsTheSources) {
  auto r = stamp_at("2026-12-07 10:20:00");
  const std::string date = "\"2026-12-07 10:20\"";
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, report(0, date));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(dir.read("makenum.h"), header(0, date));

  std::vector<std::string> copied;
  for (const auto& e : fs::directory_iterator(dir.file("bk261207")))
    copied.push_back(e.path().filename().string());
  std::sort(copied.begin(), copied.end());
  EXPECT_EQ(copied, (std::vector<std::string>{"bbs.h", "main.c", "makenum.h"}));
  for (const auto& f : copied) EXPECT_EQ(dir.read("bk261207/" + f), dir.read(f)) << f;
}

TEST_F(Makenum, CountsOnAndSnapshotsAtMultiplesOfThirty) {
  const std::string date = "\"2026-12-07 23:59\"";
  const struct {
    int from, to;
    bool snapshot;
  } steps[] = {{41, 42, false}, {29, 30, true},   {30, 31, false},
               {-1, 0, true},   {-31, -30, true}, {INT_MAX, INT_MIN, false}};
  for (const auto& s : steps) {
    SCOPED_TRACE(s.from);
    write_number(s.from);
    auto r = stamp_at("2026-12-07 23:59:00", {"ignored", "args"});
    EXPECT_EQ(r.out, report(s.to, date));
    EXPECT_EQ(dir.read("makenum.h"), header(s.to, date));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(dir.exists("bk261207"), s.snapshot);
    fs::remove_all(dir.file("bk261207"));
  }
  // The wrapped number is read back like any other.
  EXPECT_EQ(stamp_at("2026-12-07 23:59:00").out, report(-2147483647, date));
}

TEST_F(Makenum, ReadsTheNumberFromTheCleanedFirstLineOnly) {
  const struct {
    std::string first_line;
    int to;
  } cases[] = {
      {"#define MAKENUM \"123456\"\n", 57},
      {"#define MAKENUM" + std::string(20, ' ') + "\"12345\"\n", 1235},
      {"\"#define\"   \"MAKENUM\"   \"88\"\n", 89},
      {"", 0},  // an empty file is as good as none
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first_line);
    dir.write("makenum.h", c.first_line + (c.first_line.empty() ? "" : "#define MAKENUM \"7\"\n"));
    auto r = stamp_at("2026-01-02 03:04:00");
    EXPECT_EQ(r.out, report(c.to, "\"2026-01-02 03:04\""));
    EXPECT_EQ(dir.read("makenum.h"), header(c.to, "\"2026-01-02 03:04\""));
    fs::remove_all(dir.file("bk260102"));
  }
}

TEST_F(Makenum, YearCountsAbove2000AreWrittenAsTheyAre) {
  write_number(29);
  EXPECT_EQ(stamp_at("3900-05-06 07:08:00").out, report(30, "\"3900-05-06 07:08\""));
  EXPECT_TRUE(dir.exists("bk000506/main.c"));
  write_number(29);
  EXPECT_EQ(stamp_at("3901-05-06 07:08:00").out, report(30, "\"2001-05-06 07:08\""));
  EXPECT_TRUE(dir.exists("bk010506/main.c"));
}

TEST_F(Makenum, ReportIsOutBeforeTheSnapshotCommandsRun) {
  // Stand-ins that show on standard output when, and with what, they were run.
  dir.write("fakebin/mkdir", "#!/bin/sh\necho \"mkdir $*\"\n");
  dir.write("fakebin/cp", "#!/bin/sh\necho \"cp $*\"\n");
  chmod(dir.file("fakebin/mkdir").c_str(), 0755);
  chmod(dir.file("fakebin/cp").c_str(), 0755);
  write_number(59);
  auto r = stamp_at("2026-12-07 10:20:00", {},
                    {"PATH=" + dir.file("fakebin") + ":" + std::getenv("PATH")});
  EXPECT_EQ(r.out, report(60, "\"2026-12-07 10:20\"") + "mkdir bk261207\n" +
                       "cp -f -- main.c bbs.h makenum.h bk261207/\n");
}

TEST_F(Makenum, SourcesNamedLikeOptionsAreCopiedLikeAnyOther) {
  dir.write("-r.c", "int r;\n");
  dir.write("--target-directory=x.c", "int x;\n");
  write_number(29);
  auto r = stamp_at("2026-12-07 10:20:00");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  for (const char* f : {"-r.c", "--target-directory=x.c", "main.c", "bbs.h", "makenum.h"})
    EXPECT_EQ(dir.read(std::string("bk261207/") + f), dir.read(f)) << f;
  EXPECT_FALSE(dir.exists("x.c"));
}

TEST_F(Makenum, SecondSnapshotOfTheDayCopiesOverTheFirst) {
  dir.write("bk261207/main.c", "old\n");
  write_number(89);
  auto r = stamp_at("2026-12-07 10:20:00");
  EXPECT_EQ(r.out, report(90, "\"2026-12-07 10:20\""));
  // mkdir's complaint reaches stderr in its own words; the copy goes ahead.
  EXPECT_EQ(r.err, harness::run("/bin/sh", {"-c", "mkdir bk261207"}, dir.path()).err);
  EXPECT_EQ(dir.read("bk261207/main.c"), dir.read("main.c"));
}

TEST_F(Makenum, UnwritableHeaderPrintsNothingButStillSnapshots) {
  // Something that is no file in makenum.h's place, a directory or a link to a FIFO, is
  // never opened (a FIFO would never answer) and nothing at all is done.
  auto nothing_done = [&] {
    auto r = stamp_at("2026-12-07 10:20:00");
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(dir.exists("bk261207"));
  };
  fs::create_directory(dir.file("makenum.h"));
  nothing_done();
  fs::remove(dir.file("makenum.h"));
  ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0644), 0);
  ASSERT_EQ(symlink("fifo", dir.file("makenum.h").c_str()), 0);
  nothing_done();
  fs::remove(dir.file("makenum.h"));

  // A readable header that can't be written: its number still decides the snapshot.
  // Root writes anything, so the run drops to the user nobody, with a copy of the program
  // in the scratch directory, which that user can reach.
  write_number(29);
  chmod(dir.file("makenum.h").c_str(), 0444);
  chmod(dir.path().c_str(), 0777);
  const auto nobody = harness::as_other_user(dir, bin);
  if (!nobody) GTEST_SKIP() << "needs setpriv to drop root";
  bin = nobody->bin;
  const auto before = dir.read("makenum.h");
  auto r = stamp_at("2026-12-07 10:20:00", nobody->args);
  EXPECT_NE(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(dir.read("makenum.h"), before);
  EXPECT_TRUE(dir.exists("bk261207/main.c"));
}

TEST_F(Makenum, FailedWriteKeepsTheNumberAndALinkStaysALink) {
  // makenum.h links to the real header elsewhere: the real one is updated in its place.
  fs::create_directory(dir.file("inc"));
  dir.write("inc/real.h", header(41, "\"1999-01-01 00:00\""));
  ASSERT_EQ(symlink("inc/real.h", dir.file("makenum.h").c_str()), 0);
  const std::string date = "\"2026-12-07 10:20\"";
  EXPECT_EQ(stamp_at("2026-12-07 10:20:00").out, report(42, date));
  EXPECT_TRUE(fs::is_symlink(dir.file("makenum.h")));
  EXPECT_EQ(dir.read("inc/real.h"), header(42, date));

  // A disk that takes no more than a few bytes: the header stays whole, nothing is
  // reported and nothing is left beside it.
  auto r = harness::run(bin, {}, dir.path(), {}, 120000, harness::file_size_limit(20));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(dir.read("inc/real.h"), header(42, date));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("inc")), fs::directory_iterator()), 1);
}

TEST_F(Makenum, RunsAtOnceEachTakeANumberOfTheirOwn) {
  write_number(100);
  take_turns({bin, {}}, "", 100, 40);
}

TEST_F(Makenum, RunsTakeTurnsWhereTheDirectoryCannotBeTheLock) {
  // A build run under flock on its directory, or on the header, holds those for as long
  // as it runs, makenum included.
  write_number(200);
  const int here = open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
  const int file = open(dir.file("makenum.h").c_str(), O_RDONLY);
  ASSERT_EQ(flock(here, LOCK_EX), 0);
  ASSERT_EQ(flock(file, LOCK_EX), 0);
  take_turns({bin, {}}, "", 200, 16);
  close(here);
  close(file);

  // A directory that may be written and searched but not read, for a user that is not
  // root, whose header it is.
  const auto nobody = harness::as_other_user(dir, bin);
  if (!nobody) GTEST_SKIP() << "needs setpriv to drop root";
  dir.write("wx/makenum.h", header(300, "\"1999-01-01 00:00\""));
  if (geteuid() == 0) {
    ASSERT_EQ(chown(dir.file("wx/makenum.h").c_str(), harness::kNobody, harness::kNobody), 0);
  }
  chmod(dir.file("wx/makenum.h").c_str(), 0640);
  chmod(dir.file("wx").c_str(), 0333);
  take_turns(*nobody, "wx", 300, 16);
  EXPECT_EQ(fs::status(dir.file("wx/makenum.h")).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  chmod(dir.file("wx").c_str(), 0755);
}

TEST_F(Makenum, AHeaderThatARenameWouldChangeIsRewrittenInPlace) {
  // A directory that may not be written, holding a header that may, as a user that is
  // not root: stamped in place, the same file.
  const auto nobody = harness::as_other_user(dir, bin);
  if (!nobody) GTEST_SKIP() << "needs setpriv to drop root";
  dir.write("ro/makenum.h", header(400, "\"1999-01-01 00:00\""));
  chmod(dir.file("ro/makenum.h").c_str(), 0666);
  chmod(dir.file("ro").c_str(), 0555);
  const ino_t inode = inode_of("ro/makenum.h");
  take_turns(*nobody, "ro", 400, 16);
  EXPECT_EQ(inode_of("ro/makenum.h"), inode);

  // A header with a second link, and one of another user's: both stay as they are.
  write_number(500);
  ASSERT_EQ(link(dir.file("makenum.h").c_str(), dir.file("alias.h").c_str()), 0);
  const bool other_owner = geteuid() == 0 && chown(dir.file("makenum.h").c_str(), harness::kNobody,
                                                   harness::kNobody) == 0;
  take_turns({bin, {}}, "", 500, 16);
  EXPECT_EQ(inode_of("alias.h"), inode_of("makenum.h"));
  EXPECT_EQ(dir.read("alias.h"), dir.read("makenum.h"));
  struct stat st;
  ASSERT_EQ(stat(dir.file("makenum.h").c_str(), &st), 0);
  EXPECT_EQ(st.st_nlink, 2u);
  if (other_owner) {
    EXPECT_EQ(st.st_uid, harness::kNobody);
    EXPECT_EQ(st.st_gid, harness::kNobody);
    // Another user's, with no second link.
    fs::remove(dir.file("alias.h"));
    const ino_t own = inode_of("makenum.h");
    take_turns({bin, {}}, "", 516, 4);
    ASSERT_EQ(stat(dir.file("makenum.h").c_str(), &st), 0);
    EXPECT_EQ(st.st_ino, own);
    EXPECT_EQ(st.st_uid, harness::kNobody);
  }
  chmod(dir.file("ro").c_str(), 0755);
}

TEST_F(Makenum, AFailedRunLeavesTheHeaderAsItWas) {
  // Rewritten in place, the file-size limit stops the new text part of the way, inside
  // the number (which begins at byte 29): the old bytes go back.
  const auto nobody = harness::as_other_user(dir, bin);
  if (!nobody) GTEST_SKIP() << "needs setpriv to drop root";
  const std::string old = header(41, "\"1999-01-01 00:00\"");
  dir.write("ro/makenum.h", old);
  chmod(dir.file("ro/makenum.h").c_str(), 0666);
  chmod(dir.file("ro").c_str(), 0555);
  auto r = harness::run(nobody->bin, nobody->args, dir.file("ro"), {}, 120000,
                        harness::file_size_limit(31));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(dir.read("ro/makenum.h"), old);
  chmod(dir.file("ro").c_str(), 0755);

  // A header created to have something to lock goes again.
  fs::create_directory(dir.file("new"));
  r = harness::run(bin, {}, dir.file("new"), {}, 120000, harness::file_size_limit(20));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(dir.exists("new/makenum.h"));
  for (const auto& e : fs::directory_iterator(dir.file("new")))
    EXPECT_TRUE(e.is_directory()) << e.path();  // the snapshot of build 0 only

  // One that is made whole, under any umask, stays usable by its owner.
  r = harness::run(bin, {}, dir.file("new"), {}, 120000, [] { umask(0277); });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(fs::status(dir.file("new/makenum.h")).permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
}

// Without a fixed clock: the date is the run's own, read before or after it.
TEST(MakenumClock, StampsTheLocalTimeOfTheRun) {
  harness::Scratch dir;
  auto stamp = [] {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char s[32];
    std::strftime(s, sizeof s, "\"%Y-%m-%d %H:%M\"", &tm);
    return std::string(s);
  };
  const std::string before = stamp();
  auto r = harness::run(harness::program("makenum"), {}, dir.path());
  const std::string after = stamp();
  EXPECT_TRUE(r.out == report(0, before) || r.out == report(0, after)) << r.out;
}

}  // namespace

TEST_F(Makenum, ConfinedToItsDirectoryAndTheSnapshotCommands) {
  if (!harness::landlock_available()) GTEST_SKIP() << "this kernel has no Landlock";
  write_number(29);
  harness::Probe probe(dir.path());
  auto r = harness::run(bin, {}, dir.path(), fake_env("2026-12-07 10:20:00", probe.env()), 120000,
                        probe.setup());
  EXPECT_EQ(r.out, report(30, "\"2026-12-07 10:20\""));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(dir.read("bk261207/main.c"), dir.read("main.c"));
  for (const char* name : {"makenum", "mkdir", "cp"})
    EXPECT_EQ(probe.report(name), "outside=refused inside=made run=refused") << name;
}
