#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>

#include "harness.h"
#include "roster.h"
#include "text_cut.h"
#include "tty.h"

TEST(Roster, RecordsDecodeAndTrailingPieceIsIgnored) {
  std::string bytes = harness::roster_bytes(
      {{2, "pts/3", "server data here"}, {-1, "ttyp1"}, {0x01020304, std::string(21, 'x')}});
  bytes += std::string(30, 'z');  // a record the server is half-way through writing
  std::FILE* f = fmemopen(bytes.data(), bytes.size(), "rb");
  RoomRosterRecord rec;
  ASSERT_TRUE(read_roster_record(f, rec));
  EXPECT_EQ(rec.group, 2);
  EXPECT_EQ(roster_tty(rec), "pts/3");
  ASSERT_TRUE(read_roster_record(f, rec));
  EXPECT_EQ(rec.group, -1);
  EXPECT_EQ(roster_tty(rec), "ttyp1");
  ASSERT_TRUE(read_roster_record(f, rec));
  EXPECT_EQ(rec.group, 0x01020304);
  EXPECT_EQ(roster_tty(rec).size(), 21u);  // an unterminated field never reads past it
  EXPECT_FALSE(read_roster_record(f, rec));
  std::fclose(f);
}

TEST(Roster, RoomFileNameIsZeroPadded) {
  set_roomfile(7);
  EXPECT_STREQ(ROOM_ALL.data(), "user/chat/rm_07.all");
  set_roomfile(123);
  EXPECT_STREQ(ROOM_ALL.data(), "user/chat/rm_123.all");
}

TEST(Roster, OnlySafeShortNamesTakeASlot) {
  for (const char* ok : {"pts/7", "ttyp3", "pts/1234", "./x"}) EXPECT_TRUE(tty_name_ok(ok)) << ok;
  for (const char* bad : {"", "pts/12345", "..", "../x", "a/../b", "x/..", "shm/../../"})
    EXPECT_FALSE(tty_name_ok(bad)) << bad;

  TtySlot slot;
  fill_slot(slot, "pts/7");
  EXPECT_STREQ(slot.data(), "pts/7");
  // A long name is not cut into what may be another user's terminal.
  fill_slot(slot, "pts/10000");
  EXPECT_STREQ(slot.data(), "");
}

TEST(TerminalWrite, WholeTextArrivesInOneWrite) {
  harness::Pty pty;
  const std::string text = "\x1b[s hello \xC7\xD1\xB1\xDB \x1b[u";
  EXPECT_EQ(to_tty2(pty.name().c_str(), text.c_str()), 1);
  EXPECT_EQ(pty.drain(), text);
}

TEST(TerminalWrite, NeverWritesAPlainFile) {
  // /dev/shm is a directory anybody can create files in; a roster naming one of them
  // must not turn an announcement into a file write.
  char name[16];
  int fd = -1;
  for (int i = 0; fd < 0 && i < 100; ++i) {
    std::snprintf(name, sizeof name, "shm/%04d", (getpid() + i) % 10000);
    fd = open((std::string("/dev/") + name).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  }
  ASSERT_GE(fd, 0);
  close(fd);
  std::string path = std::string("/dev/") + name;
  ASSERT_TRUE(tty_name_ok(name));
  EXPECT_EQ(to_tty2(name, "overwritten"), 1);
  EXPECT_EQ(to_tty2("shm/../../tmp/x", "overwritten"), 1);
  std::FILE* f = std::fopen(path.c_str(), "r");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(std::fgetc(f), EOF);
  std::fclose(f);
  unlink(path.c_str());
  EXPECT_EQ(to_tty2("nosuch9", "x"), 1);  // a missing device is simply skipped
}

TEST(TerminalWrite, OnlyTerminalsAreWritten) {
  harness::Pty pty;
  int fd = open(("/dev/" + pty.name()).c_str(), O_WRONLY | O_NOCTTY);
  ASSERT_GE(fd, 0);
  EXPECT_TRUE(tty_device_ok(fd));
  close(fd);
  // Character devices that are no terminals: a roster naming them reaches nothing.
  for (const char* dev : {"/dev/null", "/dev/zero"}) {
    fd = open(dev, O_WRONLY);
    ASSERT_GE(fd, 0) << dev;
    EXPECT_FALSE(tty_device_ok(fd)) << dev;
    close(fd);
  }
  // Judged before opening: the multiplexer would make a new terminal at every look, and
  // the alias would be whatever terminal the program has.
  struct stat st;
  for (const char* dev : {"/dev/ptmx", "/dev/tty"}) {
    ASSERT_EQ(stat(dev, &st), 0) << dev;
    EXPECT_FALSE(tty_node_ok(st)) << dev;
  }
  ASSERT_EQ(stat(("/dev/" + pty.name()).c_str(), &st), 0);
  EXPECT_TRUE(tty_node_ok(st));
}

TEST(TerminalWrite, AFullTerminalDoesNotStall) {
  harness::Pty pty;  // nobody reads the master side
  std::string block(4096, 'x');
  auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < 200; ++i) to_tty2(pty.name().c_str(), block.c_str());
  auto spent = std::chrono::steady_clock::now() - t0;
  // Blocking on a full buffer would never return; generous bound for slow machines.
  EXPECT_LT(spent, std::chrono::seconds(20));
}

TEST(TerminalWrite, AFullTerminalGetsWholeTextsOrNone) {
  harness::Pty pty;
  // A reader that takes a few bytes now and then keeps the terminal all but full.
  const std::string text = std::string(199, 'x') + "\n";
  std::string got;
  char buf[64];
  for (int i = 0; i < 3000; ++i) {
    to_tty2(pty.name().c_str(), text.c_str());
    if (i % 3 == 0) {
      ssize_t n = read(pty.master(), buf, 1 + i % 60);
      if (n > 0) got.append(buf, static_cast<std::size_t>(n));
    }
  }
  got += pty.drain();
  EXPECT_EQ(got.size() % text.size(), 0u);
  EXPECT_EQ(got.find_first_not_of(text), std::string::npos);
}

TEST(FitText, CutsOnlyBetweenCharacters) {
  EXPECT_EQ(fit_text("abcdef", 4), 4u);
  EXPECT_EQ(fit_text("ab", 4), 2u);
  const std::string k = "a\xC7\xD1\xB1\xDB";  // one ASCII byte, two Korean characters
  EXPECT_EQ(fit_text(k, 5), 5u);
  EXPECT_EQ(fit_text(k, 4), 3u);
  EXPECT_EQ(fit_text(k, 2), 1u);
}
