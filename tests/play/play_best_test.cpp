// Where the person's best is kept, and how it is kept.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "harness.h"
#include "play_best.h"

namespace {

// The environment variables of a test, put back afterwards.
class Env {
 public:
  Env(const char* name, const char* value) : name_(name) {
    if (const char* was = std::getenv(name)) was_ = was;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~Env() { was_.empty() ? unsetenv(name_) : setenv(name_, was_.c_str(), 1); }

 private:
  const char* name_;
  std::string was_;
};

TEST(BestPath, StateHomeElseHomeElseNone) {
  {
    Env state("XDG_STATE_HOME", "/st"), home("HOME", "/h");
    EXPECT_EQ(play::best_path(), "/st/bbs-tools/play-best");
  }
  for (const char* not_absolute : {"", "rel/dir"}) {
    Env state("XDG_STATE_HOME", not_absolute), home("HOME", "/h");
    EXPECT_EQ(play::best_path(), "/h/.local/state/bbs-tools/play-best");
  }
  Env state("XDG_STATE_HOME", nullptr), home("HOME", nullptr);
  EXPECT_EQ(play::best_path(), "");
}

TEST(RecordBest, KeptPerTypeOnlyWhenBeatenOtherLinesAsTheyWere) {
  harness::Scratch dir;
  const std::string path = dir.file("new/state/bbs-tools/play-best");
  auto first = play::record_best(path, "short", 120);
  EXPECT_TRUE(first.is_new);
  EXPECT_EQ(first.before, 0);
  EXPECT_EQ(dir.read("new/state/bbs-tools/play-best"), "short 120\n");

  auto slower = play::record_best(path, "short", 120);
  EXPECT_FALSE(slower.is_new);
  EXPECT_EQ(slower.before, 120);
  EXPECT_EQ(play::record_best(path, "english", 300).before, 0);
  auto faster = play::record_best(path, "short", 200);
  EXPECT_TRUE(faster.is_new);
  EXPECT_EQ(faster.before, 120);
  EXPECT_EQ(dir.read("new/state/bbs-tools/play-best"), "short 200\nenglish 300\n");
}

TEST(RecordBest, LinesNotOursAreLeftOutAndAFileInTheWayIsAnError) {
  harness::Scratch dir;
  dir.write("play-best", "garbage\nshort -5\nshort 50\nshort 900\nproverb 99999999999\n");
  EXPECT_EQ(play::record_best(dir.file("play-best"), "short", 60).before, 50);
  EXPECT_EQ(dir.read("play-best"), "short 60\n");

  dir.fifo("fifo");  // never waited on
  EXPECT_NE(play::record_best(dir.file("fifo"), "short", 60).error, 0);
  dir.write("file", "");
  auto blocked = play::record_best(dir.file("file") + "/play-best", "short", 60);
  EXPECT_EQ(blocked.error, ENOTDIR);
  EXPECT_FALSE(blocked.is_new);
}

}  // namespace
