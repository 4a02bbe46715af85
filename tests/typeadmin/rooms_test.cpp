// The readings of an answer file's name, and seeing a round's lock without touching it.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "lock_probe.h"
#include "rooms.h"

using Readings = std::vector<std::pair<int, int>>;

TEST(RoomReadings, EveryCutThatDecimalNumbersCanHaveWritten) {
  EXPECT_EQ(room_readings("123"), (Readings{{1, 23}, {12, 3}}));
  EXPECT_EQ(room_readings("105"), (Readings{{10, 5}}));  // "05" is no group
  EXPECT_EQ(room_readings("100"), (Readings{{10, 0}}));
  EXPECT_EQ(room_readings("3-1"), (Readings{{3, -1}}));
  EXPECT_TRUE(room_readings("30000000000").empty());  // every cut leaves no 32-bit pair
  EXPECT_TRUE(room_readings("7").empty());
  EXPECT_TRUE(room_readings("1x").empty());
}

TEST(LockProbe, ProcLocksLinesCountOnlyFlocksHeldOnTheFile) {
  const dev_t dev = makedev(0xfe, 0x01);
  const ino_t ino = 10953041;
  EXPECT_TRUE(locks_line_holds("1: FLOCK  ADVISORY  WRITE 15850 fe:01:10953041 0 EOF\n", dev, ino));
  EXPECT_TRUE(locks_line_holds("7: FLOCK  ADVISORY  READ 1 fe:01:10953041 0 EOF", dev, ino));
  EXPECT_FALSE(locks_line_holds("1:  -> FLOCK  ADVISORY  WRITE 2 fe:01:10953041 0 EOF", dev, ino));
  EXPECT_FALSE(locks_line_holds("2: POSIX  ADVISORY  WRITE 3 fe:01:10953041 0 EOF", dev, ino));
  EXPECT_FALSE(locks_line_holds("3: FLOCK  ADVISORY  WRITE 4 fe:01:10953042 0 EOF", dev, ino));
  EXPECT_FALSE(locks_line_holds("4: FLOCK  ADVISORY  WRITE 5 fe:00:10953041 0 EOF", dev, ino));
  EXPECT_FALSE(locks_line_holds("garbage", dev, ino));
}

TEST(LockProbe, ARealFlockIsSeenAndNothingIsLeftHeld) {
  std::string path = testing::TempDir() + "typeadmin-lock-XXXXXX";
  const int holder = mkstemp(path.data());
  ASSERT_GE(holder, 0);
  const int other = open(path.c_str(), O_RDONLY);
  struct stat st;
  ASSERT_EQ(fstat(holder, &st), 0);
  if (flock_listed("/proc/locks", st.st_dev, st.st_ino) == LockSeen::unknown)
    GTEST_SKIP() << "no /proc/locks here";
  EXPECT_EQ(flock_listed("/nonexistent/locks", st.st_dev, st.st_ino), LockSeen::unknown);

  ASSERT_EQ(flock(holder, LOCK_EX), 0);
  EXPECT_EQ(flock_listed("/proc/locks", st.st_dev, st.st_ino), LockSeen::held);
  EXPECT_EQ(flock_tried(other), LockSeen::held);
  ASSERT_EQ(flock(holder, LOCK_UN), 0);
  EXPECT_EQ(flock_listed("/proc/locks", st.st_dev, st.st_ino), LockSeen::free);
  EXPECT_EQ(flock_tried(other), LockSeen::free);
  // The try let go: a takeover's one exclusive try succeeds right after it.
  EXPECT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
  close(other);
  close(holder);
  unlink(path.c_str());
}
