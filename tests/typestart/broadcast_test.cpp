#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "broadcast.h"
#include "dir_helpers.h"
#include "harness.h"

namespace {

std::string frame(const std::string& text) {
  return "\x1b[s\x1b[21;1H\n" + std::string(14, ' ') + text + "\x1b[u";
}

void fill_with_junk() {
  for (TtySlot& slot : usertty) slot.fill('j');
}

// Replaces the roster in one step, already stamped with `when`, so no reader can catch
// it half-written or with the wrong time.
void replace_roster(const harness::Scratch& dir, int room,
                    const std::vector<harness::RosterEntry>& entries, std::time_t when) {
  dir.write("user/chat/new.tmp", harness::roster_bytes(entries));
  set_mtime(dir.file("user/chat/new.tmp"), when);
  char rel[64];
  std::snprintf(rel, sizeof rel, "user/chat/rm_%02d.all", room);
  ASSERT_EQ(rename(dir.file("user/chat/new.tmp").c_str(), dir.file(rel).c_str()), 0);
}

}  // namespace

TEST(DelSpace, DropsBlanksAndLineEndsOnly) {
  char name[] = " pts/1 \r\n";
  del_space(name);
  EXPECT_STREQ(name, "pts/1");
  char tabbed[] = "\tp t\ts\r";
  del_space(tabbed);
  EXPECT_STREQ(tabbed, "\tpt\ts");
  char korean[] = "\xC7\xD1 \xB1\xDB\n";
  del_space(korean);
  EXPECT_STREQ(korean, "\xC7\xD1\xB1\xDB");
  char blanks[] = "  \r\n ";
  del_space(blanks);
  EXPECT_STREQ(blanks, "");
  std::string big;
  for (int i = 0; i < 3000; ++i) big += "a ";
  del_space(big.data());
  EXPECT_EQ(std::string(big.c_str()), std::string(3000, 'a'));
}

TEST(FileTime, ModificationTimeOrZero) {
  harness::Scratch dir;
  EXPECT_EQ(file_time(dir.file("missing").c_str()), 0);
  EXPECT_EQ(file_time(""), 0);
  dir.write("f", "x");
  set_mtime(dir.file("f"), 1234567890);
  EXPECT_EQ(file_time(dir.file("f").c_str()), 1234567890);
}

TEST(ReadTty, TakesTheGroupsNamedRecordsCleanedInOrder) {
  harness::Scratch dir;
  InDir in(dir.path());
  harness::write_roster(dir, 7,
                        {{2, " pts/1 "},
                         {3, "pts/2"},  // another group
                         {2, ""},       // nobody's terminal: takes no slot
                         {2, "   "},    // cleans to nothing: takes an empty slot
                         {2, "ttyp1\r\n"},
                         {2, "pts/3\t"},      // tabs stay
                         {2, "p t s / 4 5"},  // longer than a slot until cleaned
                         {2, "pts/12345"},    // too long even when clean
                         {2, "../ttyp9"},
                         {2, std::string(21, 'x')}});
  fill_with_junk();
  EXPECT_EQ(read_tty(2, 7), 8);
  EXPECT_STREQ(ROOM_ALL.data(), "user/chat/rm_07.all");
  const char* want[] = {"pts/1", "", "ttyp1", "pts/3\t", "pts/45", "", "", ""};
  for (int i = 0; i < 8; ++i) EXPECT_STREQ(usertty[i].data(), want[i]) << i;
  for (std::size_t i = 8; i < usertty.size(); ++i) EXPECT_STREQ(usertty[i].data(), "") << i;
}

TEST(ReadTty, AHundredSlotsAtMost) {
  harness::Scratch dir;
  InDir in(dir.path());
  std::vector<harness::RosterEntry> roster;
  for (int i = 0; i < 150; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "n%d", i);
    roster.push_back({1, name});
  }
  harness::write_roster(dir, 123, roster);
  EXPECT_EQ(read_tty(1, 123), 100);
  EXPECT_STREQ(ROOM_ALL.data(), "user/chat/rm_123.all");
  EXPECT_STREQ(usertty[0].data(), "n0");
  EXPECT_STREQ(usertty[99].data(), "n99");
}

TEST(ReadTty, MissingRosterEmptiesTheTableAndIsNotCreated) {
  harness::Scratch dir;
  InDir in(dir.path());
  fill_with_junk();
  EXPECT_EQ(read_tty(2, 7), 0);
  for (const TtySlot& slot : usertty) EXPECT_STREQ(slot.data(), "");
  EXPECT_FALSE(dir.exists("user/chat/rm_07.all"));
}

TEST(ChatSay2, OneFramedWritePerTerminal) {
  harness::Pty pty;
  chat_say2(pty.name().c_str(), "<5>");
  chat_say2("", "nobody");
  EXPECT_EQ(pty.drain(), frame("<5>"));

  const std::string fits(271, 'w');
  chat_say2(pty.name().c_str(), fits.c_str());
  EXPECT_EQ(pty.drain(), frame(fits));
  // Too long for the frame: cut whole characters, and the frame stays whole.
  std::string korean;
  for (int i = 0; i < 136; ++i) korean += "\xC7\xD1";
  chat_say2(pty.name().c_str(), korean.c_str());
  EXPECT_EQ(pty.drain(), frame(korean.substr(0, 270)));
}

TEST(ChatSay, FirstBroadcastReloadsThenOnlyWhenTheTimeMoves) {
  harness::Scratch dir;
  InDir in(dir.path());
  harness::Pty a, b;
  const std::time_t t = 1000000000;
  room_sec = 0;
  replace_roster(dir, 7, {{2, a.name()}}, t);
  read_tty(2, 7);
  // Rewritten between the start-up load and the first line, within the same second.
  replace_roster(dir, 7, {{2, b.name()}}, t);
  chat_say(2, 7, "one");
  EXPECT_EQ(room_sec, t);
  EXPECT_EQ(a.drain(), "");
  EXPECT_EQ(b.drain(), frame("one"));

  replace_roster(dir, 7, {{2, a.name()}}, t);
  chat_say(2, 7, "two");
  EXPECT_EQ(a.drain(), "");
  EXPECT_EQ(b.drain(), frame("two"));

  // Any change counts, back in time too; who left hears nothing more.
  replace_roster(dir, 7, {{2, a.name()}}, t - 1);
  chat_say(2, 7, "three");
  EXPECT_EQ(room_sec, t - 1);
  EXPECT_EQ(a.drain(), frame("three"));
  EXPECT_EQ(b.drain(), "");

  dir.remove("user/chat/rm_07.all");
  chat_say(2, 7, "four");
  EXPECT_EQ(room_sec, 0);
  EXPECT_EQ(a.drain(), "");
  EXPECT_FALSE(dir.exists("user/chat/rm_07.all"));

  replace_roster(dir, 7, {{2, b.name()}, {2, a.name()}}, t + 5);
  chat_say(2, 7, "five");
  EXPECT_EQ(a.drain(), frame("five"));
  EXPECT_EQ(b.drain(), frame("five"));
}
