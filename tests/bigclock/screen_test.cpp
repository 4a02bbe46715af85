// Runs the built program at fixed moments. faketime pins the clock (given in seconds
// since the epoch, so the time zone under test decides the local date and time).
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "compose.h"
#include "harness.h"
#include "picture.h"

namespace {

void remove_dir(const harness::Scratch& dir, const char* name) {
  std::filesystem::remove_all(dir.file(name));
}

const char* const faketime_bin = "/usr/bin/faketime";

// Twelve cursor moves and twelve composed rows, as the terminal should receive them.
std::string screen(std::string_view date, std::string_view time) {
  load_font();
  std::string out;
  for (const auto& [text, first_row] : {std::pair{date, 5}, std::pair{time, 13}}) {
    make_big(text);
    for (int r = 0; r < 6; ++r)
      out += "\x1b[" + std::to_string(first_row + r) + ";5H" + big_line[r].data();
  }
  return out;
}

// `fake` is a faketime setting such as "@978307199", optionally with "i1.0" to step the
// clock one second at every reading.
harness::Result run_at(const harness::Scratch& dir, const std::string& fake, const std::string& tz,
                       const std::vector<std::string>& args = {}) {
  if (access(faketime_bin, X_OK) != 0) ADD_FAILURE() << "faketime is not installed";
  // faketime preloads its library ahead of the sanitizer runtime; that order is fine here.
  const char* asan = std::getenv("ASAN_OPTIONS");
  std::vector<std::string> env = {
      "TZ=" + tz,
      "FAKETIME_FMT=%s",
      std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":verify_asan_link_order=0",
  };
  std::vector<std::string> argv = {"-f", fake, harness::program("bigclock")};
  argv.insert(argv.end(), args.begin(), args.end());
  return harness::run(faketime_bin, argv, dir.path(), env, 30000);
}

TEST(Screen, DrawsDateAndTimeAtTheirPlaces) {
  harness::Scratch dir;
  const auto r = run_at(dir, "@983795696", "UTC0");  // 2001-03-05 12:34:56 UTC
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  ASSERT_EQ(r.out.size(), 943u);
  EXPECT_EQ(r.out, screen("01/03/05", "12:34:56"));
  // The first time row, byte for byte, without the composer's help.
  const std::size_t at = r.out.find("\x1b[13;5H");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(r.out.substr(at + 7, 72),
            picture("....##.....####............########.....##............########.....##..."));
  EXPECT_EQ(r.out.substr(0, 6), "\x1b[5;5H");
}

TEST(Screen, FieldsAreZeroPadded) {
  harness::Scratch dir;
  // 2000-01-01 09:05:03 UTC: a year ending in 00, one-digit month, day, hour, minute, second.
  EXPECT_EQ(run_at(dir, "@946717503", "UTC0").out, screen("00/01/01", "09:05:03"));
  // 1999-12-31 23:59:59 UTC
  EXPECT_EQ(run_at(dir, "@946684799", "UTC0").out, screen("99/12/31", "23:59:59"));
}

TEST(Screen, LocalTimeZoneDecidesDateAndTime) {
  harness::Scratch dir;
  // One moment, 2000-12-31 23:59:59 UTC, seen from three zones.
  EXPECT_EQ(run_at(dir, "@978307199", "UTC0").out, screen("00/12/31", "23:59:59"));
  EXPECT_EQ(run_at(dir, "@978307199", "KST-9").out, screen("01/01/01", "08:59:59"));
  EXPECT_EQ(run_at(dir, "@978307199", "EST5").out, screen("00/12/31", "18:59:59"));
}

TEST(Screen, DateAndTimeComeFromOneReading) {
  harness::Scratch dir;
  // Every reading of this clock is one second later than the one before; a second
  // reading would put the 31st of December beside 00:00:00.
  const auto r = run_at(dir, "@978307199 i1.0", "UTC0");
  EXPECT_EQ(r.out, screen("00/12/31", "23:59:59"));
}

TEST(Screen, UnreadableDirectoryBlanksItsText) {
  const std::string blank(8, ' ');
  {
    harness::Scratch dir;
    remove_dir(dir, "user");
    EXPECT_EQ(run_at(dir, "@983795696", "UTC0").out, screen(blank, "12:34:56"));
  }
  {
    harness::Scratch dir;
    remove_dir(dir, "bin");
    const auto r = run_at(dir, "@983795696", "UTC0");
    EXPECT_EQ(r.out, screen("01/03/05", blank));
    EXPECT_EQ(r.err, "");
  }
  {
    harness::Scratch dir;  // a plain file where a directory belongs
    remove_dir(dir, "user");
    remove_dir(dir, "bin");
    dir.write("user", "not a directory");
    const auto r = run_at(dir, "@983795696", "UTC0");
    EXPECT_EQ(r.out, screen(blank, blank));
    EXPECT_EQ(r.out.size(), 943u);
  }
}

TEST(Screen, ArgumentsAreIgnored) {
  harness::Scratch dir;
  EXPECT_EQ(run_at(dir, "@983795696", "UTC0", {"--help", "x", ""}).out,
            screen("01/03/05", "12:34:56"));
}

}  // namespace

TEST(Screen, ConfinedItDrawsTheSameAndWritesNothing) {
  if (!harness::landlock_available()) GTEST_SKIP() << "this kernel has no Landlock";
  harness::Scratch dir;
  harness::Probe probe;
  std::vector<std::string> env = harness::both_env(harness::fixed_clock(983795696), probe.env());
  env.push_back("TZ=UTC0");
  const auto r =
      harness::run(harness::program("bigclock"), {}, dir.path(), env, 30000, probe.setup());
  EXPECT_EQ(r.out, screen("01/03/05", "12:34:56"));
  EXPECT_EQ(probe.report("bigclock"), "outside=refused run=refused");
}

TEST(Screen, StatusIsZeroEvenWhenTheScreenCannotBeWrittenButAStoppedPipelineEndsIt) {
  harness::Scratch dir;
  EXPECT_EQ(
      harness::run(harness::program("bigclock"), {}, dir.path(), {}, 30000, harness::stdout_full())
          .status,
      0);
  // As pipeline tools do: the reader gone, SIGPIPE ends it.
  EXPECT_EQ(harness::run(harness::program("bigclock"), {}, dir.path(), {}, 30000,
                         harness::stdout_unread())
                .status,
            128 + SIGPIPE);
}
