// The built typeadmin in scratch working directories: a broken setup and clean ones, the
// rooms while real rounds run, and a word list made from UTF-8 that typerace then plays.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "harness.h"

#ifndef BBS_SOURCE_DIR
#error "BBS_SOURCE_DIR must name the source tree"
#endif

namespace {

using harness::Scratch;
namespace fs = std::filesystem;

harness::Result admin(const Scratch& dir, const std::vector<std::string>& args, bool utf8 = true,
                      const harness::ChildSetup& setup = {}) {
  return harness::run(harness::program("typeadmin"), args, dir.path(),
                      {utf8 ? "LC_ALL=C.UTF-8" : "LC_ALL=C"}, 60000, setup);
}

std::string k(const char* utf8) { return harness::utf8_to_euckr(utf8); }

const std::string kIndexGone = "typerace plays a fallback list, typestart stops without a word";
const std::string kFallback =
    ": missing; with no index typerace picks one of the ten fallback lists at random and stops "
    "when it picks this one\n";

}  // namespace

TEST(TypeadminCheck, NamesEachProblemOnceWhereItLies) {
  Scratch dir;
  rmdir(dir.file("user/chat").c_str());
  rmdir(dir.file("bin").c_str());
  const std::string long_type(120, 't'), long_list(90, 'l');
  dir.write("frm/typegame/data.txt", "short 5 short.lst\n" + long_type +
                                         " 5 short.lst\nzero 0 tail.lst\nlong 5 " + long_list +
                                         ".lst\ngone 5 gone.lst\nshort 9 tail.lst\n"
                                         "empty 5 empty.lst\nhuge 5 " +
                                         std::string(130, 'h') + "\nbad x\n");
  dir.write("frm/typegame/short.lst", k("7 사랑해\n5 안녕\n") + "4 \xB0\n4 \xC9\xA1\n177 " +
                                          std::string(177, 'a') + "\n" + k("4 닭\n") +
                                          "3 a\x01"
                                          "b\n1 \x80\nx\x1b[2J\n");
  dir.write("frm/typegame/tail.lst", "5 hello\n6\n");
  dir.write("frm/typegame/" + long_list + ".lst", "5 hello\n");
  dir.write("frm/typegame/empty.lst", "hello\n");
  fs::create_directory(dir.file("frm/typegame/data 3,dat"));
  dir.write("user/score/type2612.dat",
            "     alice   1 26 12  7 10 20                short   2   3  1  250\n"
            "     alice   1 26 13  7 10 20                short   2   3  1  250\n");

  const harness::Result r = admin(dir, {"check"});
  EXPECT_EQ(r.out,
            "user/chat/: missing; the rooms' rosters live there, so no announcement reaches "
            "anyone\n"
            "bin/: bigclock cannot list it, so it leaves the time blank\n"
            "frm/typegame/data.txt:2: word type is over 99 bytes; the round programs compare "
            "only its first 99\n"
            "frm/typegame/data.txt:3: time limit 0 is not a positive whole number; typerace "
            "does not wait for anyone to type the word\n"
            "frm/typegame/data.txt:4: list name \"" +
                long_list +
                ".lst\" is over 86 bytes; typerace cannot open it\n"
                "frm/typegame/data.txt:5: list \"gone.lst\" cannot be read (No such file or "
                "directory); a round of this type stops\n"
                "frm/typegame/data.txt:6: word type \"short\" is listed before, on line 1; only "
                "that record is ever found\n"
                "frm/typegame/data.txt:8: list name is over 99 bytes; it names no file, and a "
                "round of this type stops\n"
                "frm/typegame/data.txt:9: time limit \"x\" is not a whole number; the round "
                "programs read it as the next word type\n"
                "frm/typegame/data.txt:9: record cut short: nothing after the word type\n"
                "frm/typegame/short.lst:2: \"안녕\" takes 6 strokes, not 5\n"
                "frm/typegame/short.lst:3: word is not valid EUC-KR: byte 1 (0xB0) lacks the "
                "second byte of its pair\n"
                "frm/typegame/short.lst:4: records 4 to 7 are never played: typerace plays one "
                "of the first three records, typestart one of the first two or the last\n"
                "frm/typegame/short.lst:4: word is not valid EUC-KR: bytes 1-2 (0xC9 0xA1) are "
                "outside its character set\n"
                "frm/typegame/short.lst:5: word is over 176 bytes; typerace plays it cut short\n"
                "frm/typegame/short.lst:7: word is not valid EUC-KR: a control byte (0x01) at "
                "byte 2\n"
                "frm/typegame/short.lst:8: word is not valid EUC-KR: byte 1 (0x80) is no EUC-KR "
                "byte\n"
                "frm/typegame/short.lst:9: \"x?[2J\" is no stroke count; the round programs "
                "read no further\n"
                "frm/typegame/tail.lst:2: stroke count without a word; a round that picks this "
                "record plays the word before it\n"
                "frm/typegame/empty.lst: no whole record; a round that picks this list stops "
                "without a word\n"
                "frm/typegame/data 3,dat: cannot be read (Is a directory)\n"
                "user/score/type2612.dat:2: month is not 1 to 12\n"
                "22 problems\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "");

  // A terminal that is not UTF-8 gets the EUC-KR bytes as they are.
  const harness::Result euckr = admin(dir, {"check"}, false);
  EXPECT_NE(euckr.out.find("short.lst:2: \"" + k("안녕") + "\" takes 6"), std::string::npos);
}

TEST(TypeadminCheck, AnEmptyDirectoryLacksEverythingTheRoundsNeed) {
  Scratch dir;
  for (const char* d : {"frm", "user", "bin"}) fs::remove_all(dir.file(d));
  std::string want =
      "frm/typegame/: missing; no round can claim a room or read a word list\n"
      "user/: bigclock cannot list it, so it leaves the date blank\n"
      "user/chat/: missing; the rooms' rosters live there, so no announcement reaches anyone\n"
      "user/score/: missing; typerace keeps the score ledgers there, so no score is kept\n"
      "bin/: bigclock cannot list it, so it leaves the time blank\n"
      "frm/typegame/data.txt: cannot be read (No such file or directory); " +
      kIndexGone + "\n";
  for (const char* n : {" 1", " 2", " 3", " 4", " 5", " 6", " 7", " 8", " 9", "10"})
    want += std::string("frm/typegame/data") + n + ",dat" + kFallback;
  const harness::Result r = admin(dir, {"check"});
  EXPECT_EQ(r.out, want + "16 problems\n");
  EXPECT_EQ(r.status, 1);
}

TEST(TypeadminCheck, TheSampleFilesHaveNoProblems) {
  Scratch dir;
  for (const auto& f : fs::directory_iterator(BBS_SOURCE_DIR "/sample/frm/typegame"))
    fs::copy_file(f.path(), dir.file("frm/typegame/" + f.path().filename().string()));
  const harness::Result r = admin(dir, {"check"});
  EXPECT_EQ(r.out, "no problems\n");
  EXPECT_EQ(r.status, 0);

  // An index with no record needs every fallback list.
  dir.write("frm/typegame/data.txt", "\n");
  const harness::Result empty = admin(dir, {"check"});
  EXPECT_EQ(empty.out.substr(0, empty.out.find('\n')),
            "frm/typegame/data.txt: no record; " + kIndexGone);
  EXPECT_NE(empty.out.find("data10,dat" + kFallback + "11 problems\n"), std::string::npos);
}

TEST(TypeadminRooms, TellsARunningRoundFromTypestartsAndStaleFiles) {
  Scratch dir;
  dir.write("frm/typegame/data.txt", "slow 60 slow.lst\n");
  dir.write("frm/typegame/slow.lst", "5 hello\n");
  EXPECT_EQ(admin(dir, {"rooms"}).out, "no answer file in frm/typegame/: every room is free\n");

  harness::ChatEngine engine(dir, 12, 3, {{0, "alice"}, {0, "bob"}});
  harness::Proc round(harness::program("typerace"), {"x", "3", "12", "slow"}, dir.path());
  const harness::Result start =
      harness::run(harness::program("typestart"), {"x", "1", "7", "slow"}, dir.path());
  ASSERT_EQ(start.status, 0) << start.err;
  ASSERT_EQ(engine.join(), "hello");
  dir.write("frm/typegame/taja.52", "old");
  harness::set_mtime(dir.file("frm/typegame/taja.52"), std::time(nullptr) - 600);
  dir.write("frm/typegame/taja.52.Ab12Cd", "half");
  fs::create_symlink("slow.lst", dir.file("frm/typegame/taja.99"));

  const harness::Result r = admin(dir, {"rooms"});
  round.signal(SIGTERM);
  round.wait();
  EXPECT_EQ(r.status, 0);
  // The longest round: 5 s of countdown, the 60 s limit and 60 s of slack.
  EXPECT_TRUE(std::regex_match(
      r.out, std::regex("ANSWER FILE +ROOM/GROUP +AGE +STATE +RESULTS +WORD\n"
                        "taja\\.123 +1/23 12/3 +[0-9] +running +2  hello\n"
                        "taja\\.52 +5/2 +60[0-9] +stale +0  old\n"
                        "taja\\.52\\.Ab12Cd +5/2 +[0-9] +leftover +-  half\n"
                        "taja\\.71 +7/1 +[0-9] +waiting, stale in 12[0-9] s +0  hello\n"
                        "taja\\.99 +9/9 +[0-9] +stuck +0  -\n")))
      << r.out;
}

TEST(TypeadminWordlist, AListMadeFromUtf8IsPlayedAsWritten) {
  Scratch dir;
  dir.write("words.txt", "\xEF\xBB\xBF사랑해\n  안녕\t\r\n\n가는 말이　고와야\n");
  const harness::Result made = admin(dir, {"wordlist", "--join", "words.txt"});
  EXPECT_EQ(made.status, 0) << made.err;
  EXPECT_EQ(made.out, k("7 사랑해\n6 안녕\n17 가는말이고와야\n"));

  dir.write("frm/typegame/data.txt", "made 1 made.lst\n");
  dir.write("frm/typegame/made.lst", made.out);
  EXPECT_EQ(admin(dir, {"check"}).out, "no problems\n");
  harness::ChatEngine engine(dir, 2, 1, {{0, "alice"}});
  EXPECT_EQ(harness::run(harness::program("typerace"), {"x", "1", "2", "made"}, dir.path()).status,
            0);
  const std::string played = engine.join();
  EXPECT_NE(made.out.find(" " + played + "\n"), std::string::npos) << played;
}

TEST(TypeadminWordlist, BadLinesAreNamedAndNothingIsWritten) {
  Scratch dir;
  dir.write("words.txt", "똠\n가 나\n\xFF\n" + std::string(177, 'a') + "\n\x01\n좋은\n");
  const harness::Result r =
      admin(dir, {"wordlist", "-"}, true, harness::stdin_from(dir.file("words.txt")));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "-:1: a character EUC-KR cannot hold: 똠 (U+B620)\n"
                   "-:2: a blank inside the word (a word is one token; --join removes the blanks)\n"
                   "-:3: not UTF-8 (byte 1)\n"
                   "-:4: the word is 177 bytes in EUC-KR, over 176\n"
                   "-:5: a control character (U+0001)\n");
  EXPECT_EQ(admin(dir, {"wordlist", "words.txt"}, false)
                .err.rfind("words.txt:1: a character EUC-KR cannot hold: U+B620\n", 0),
            0u);

  // A call it cannot understand: what was wrong, then the usage line.
  const std::string usage = "Usage: typeadmin check | rooms | wordlist [--join] [FILE]\n";
  for (const auto& [args, what] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{}, "no subcommand given"},
           {{"play"}, "unknown subcommand: play"},
           {{"rooms", "now"}, "rooms takes no arguments; given: now"},
           {{"wordlist", "--split"}, "unknown option for wordlist: --split"},
           {{"wordlist", "a", "b"}, "wordlist takes one file at most; a second: b"}}) {
    const harness::Result bad = admin(dir, args);
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err, "typeadmin: " + what + "\n" + usage);
    EXPECT_EQ(bad.out, "");
  }
}

TEST(TypeadminCheck, ConfinedItReadsTheGameFilesAndWritesNothing) {
  if (!harness::landlock_available()) GTEST_SKIP() << "this kernel has no Landlock";
  Scratch dir;
  for (const auto& f : fs::directory_iterator(BBS_SOURCE_DIR "/sample/frm/typegame"))
    fs::copy_file(f.path(), dir.file("frm/typegame/" + f.path().filename().string()));
  harness::Probe probe;
  std::vector<std::string> env = probe.env();
  env.push_back("LC_ALL=C.UTF-8");
  const harness::Result r =
      harness::run(harness::program("typeadmin"), {"check"}, dir.path(), env, 60000, probe.setup());
  EXPECT_EQ(r.out, "no problems\n");
  EXPECT_EQ(probe.report("typeadmin"), "outside=refused run=refused");
}
