// makenum run in a scratch source directory, at fixed dates where the date matters.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "harness.h"

namespace fs = std::filesystem;

namespace {

const std::string kFaketime = "/usr/bin/faketime";
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

// libfaketime is preloaded; a sanitized build must be told that it may come first.
std::vector<std::string> fake_env(std::vector<std::string> extra = {}) {
  const char* asan = std::getenv("ASAN_OPTIONS");
  extra.push_back("TZ=UTC");
  extra.push_back(std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":verify_asan_link_order=0");
  return extra;
}

class Makenum : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(kFaketime.c_str(), X_OK) != 0) FAIL() << "faketime is not installed";
    dir.write("main.c", "int main(void) { return 0; }\n");
    dir.write("bbs.h", "#include \"makenum.h\"\n");
    dir.write("notes.txt", "not a source\n");
  }

  // Runs `bin` at `when` (UTC) with `args`.
  harness::Result stamp_at(const std::string& when, std::vector<std::string> args = {},
                           std::vector<std::string> env = {}) {
    args.insert(args.begin(), {when, bin});
    return harness::run(kFaketime, args, dir.path(), fake_env(env));
  }

  void write_number(int n) { dir.write("makenum.h", header(n, "\"1999-01-01 00:00\"")); }

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
                       "cp -f main.c bbs.h makenum.h bk261207/\n");
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
  // makenum.h as a directory: no first line to read, so the number is 0, and it can't be
  // written over.
  fs::create_directory(dir.file("makenum.h"));
  auto r = stamp_at("2026-12-07 10:20:00");
  EXPECT_NE(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(dir.exists("bk261207/main.c"));
  fs::remove_all(dir.file("bk261207"));
  fs::remove(dir.file("makenum.h"));

  // A readable header that can't be written: its number still decides the snapshot.
  // Root writes anything, so the run drops to the user nobody, with a copy of the program
  // in the scratch directory, which that user can reach.
  write_number(29);
  chmod(dir.file("makenum.h").c_str(), 0444);
  chmod(dir.path().c_str(), 0777);
  std::vector<std::string> prefix;
  if (geteuid() == 0) {
    if (access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "needs setpriv to drop root";
    fs::copy_file(bin, dir.file("makenum"));
    bin = "/usr/bin/setpriv";
    prefix = {"--reuid=65534", "--regid=65534", "--clear-groups", dir.file("makenum")};
  }
  const auto before = dir.read("makenum.h");
  r = stamp_at("2026-12-07 10:20:00", prefix);
  EXPECT_NE(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(dir.read("makenum.h"), before);
  EXPECT_TRUE(dir.exists("bk261207/main.c"));
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
