// uplist run the way the server runs it, in a scratch BBS working directory.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "harness.h"

namespace {

class Uplist : public ::testing::Test {
 protected:
  harness::Result uplist(const std::string& id, const std::string& code,
                         const std::vector<std::string>& env = {}) {
    return harness::run(harness::program("uplist"), {id, "a", "b", "c", code}, dir.path(), env);
  }
  // ls itself on the same path, with no shell between.
  harness::Result ls_l(const std::string& path) {
    return harness::run("/bin/sh", {"-c", "exec ls -l \"$1\"", "sh", path}, dir.path());
  }
  // An ls that prints each argument it got, one per line in brackets.
  std::vector<std::string> fake_ls() {
    dir.write("fakebin/ls", "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]\\n' \"$a\"; done\n");
    chmod(dir.file("fakebin/ls").c_str(), 0755);
    return {"PATH=" + dir.file("fakebin") + ":" + std::getenv("PATH")};
  }

  harness::Scratch dir;
};

TEST_F(Uplist, PrintsExactlyWhatLsPrints) {
  dir.write("user/autoup/pds/data/guest/readme.txt", "hello\n");
  dir.write("user/autoup/pds/data/guest/\xC0\xDA\xB7\xE1.zip", std::string(3000, 'z'));
  dir.write("user/autoup/pds/data/guest/sub/inner", "");
  dir.write("user/autoup/pds/data/other/secret", "");
  const auto want = ls_l("user/autoup/pds/data/guest/");
  ASSERT_NE(want.out, "");

  auto r = uplist("guest", "pds");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, want.out);
  EXPECT_EQ(r.err, "");

  // The three middle arguments change nothing, whatever they hold.
  const std::string odd(500, ';');
  r = harness::run(harness::program("uplist"), {"guest", odd, "$(touch PWNED)", "", "pds"},
                   dir.path());
  EXPECT_EQ(r.out, want.out);
  EXPECT_FALSE(dir.exists("PWNED"));
}

TEST_F(Uplist, MissingDirectoryIsReportedByLs) {
  const auto want = ls_l("user/autoup/pds/data/nobody/");
  auto r = uplist("nobody", "pds");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, want.err);
  EXPECT_NE(r.err, "");
  EXPECT_NE(r.status, 0);
  EXPECT_EQ(r.status, want.status);
}

TEST_F(Uplist, StatusIsZeroOnlyWhenLsRanAndSucceeded) {
  dir.write("user/autoup/pds/data/guest/readme.txt", "hello\n");
  EXPECT_EQ(uplist("guest", "pds").status, 0);

  // No ls to start: only the shell's own word about it, and a status that says so.
  const std::vector<std::string> no_ls = {"PATH=" + dir.file("nowhere")};
  auto r = uplist("guest", "pds", no_ls);
  EXPECT_EQ(r.status, 127);
  EXPECT_EQ(r.out, "");
  // system() names its shell "sh".
  const auto shell =
      harness::run("/bin/sh", {"-c", "ls -l user/autoup/'pds'/data/'guest'/"}, dir.path(), no_ls);
  EXPECT_EQ("/bin/" + r.err, shell.err);

  // An ls that is there but fails, or is ended by a signal: that comes through.
  dir.write("fakebin/ls", "#!/bin/sh\nexit 3\n");
  chmod(dir.file("fakebin/ls").c_str(), 0755);
  EXPECT_EQ(uplist("guest", "pds", {"PATH=" + dir.file("fakebin")}).status, 3);
  dir.write("fakebin/ls", "#!/bin/sh\nkill -TERM $$\n");
  EXPECT_EQ(uplist("guest", "pds", {"PATH=" + dir.file("fakebin")}).status, 128 + SIGTERM);

  // No process left to the user for the shell. A user id of its own, so that no other
  // process counts against the limit of one.
  const auto alone = harness::as_other_user(dir, harness::program("uplist"),
                                            static_cast<uid_t>(61000 + getpid() % 4000));
  if (!alone) GTEST_SKIP() << "needs setpriv to drop root";
  auto args = alone->args;
  args.insert(args.end(), {"guest", "a", "b", "c", "pds"});
  r = harness::run(alone->bin, args, dir.path(), {"ASAN_OPTIONS=detect_leaks=0"}, 120000, [] {
    rlimit one{1, 1};
    setrlimit(RLIMIT_NPROC, &one);
  });
  EXPECT_EQ(r.status, 127);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
}

TEST_F(Uplist, AUserDirectoryThatIsALinkIsListedWhereItPoints) {
  // An upload area moved to another disk, left behind as a link.
  harness::Scratch disk;
  disk.write("guest/moved.zip", "zip\n");
  std::filesystem::create_directories(dir.file("user/autoup/pds/data"));
  ASSERT_EQ(symlink(disk.file("guest").c_str(), dir.file("user/autoup/pds/data/guest").c_str()), 0);
  auto r = uplist("guest", "pds");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, ls_l(disk.file("guest/")).out);
  EXPECT_NE(r.out.find("moved.zip"), std::string::npos);
}

TEST_F(Uplist, ShellTakesNoByteOfTheNamesAsSyntax) {
  const std::string path = "user/autoup/a b/data/it's $(x) `y` \"*\"/";
  dir.write(path + "f", "1\n");
  const auto want = ls_l(path);
  EXPECT_EQ(uplist("it's $(x) `y` \"*\"", "a b").out, want.out);

  const auto env = fake_ls();
  const std::pair<std::string, std::string> names[] = {{"x;touch PWNED", "$(touch PWNED)"},
                                                       {"`touch PWNED`", "a\nb|touch PWNED&"},
                                                       {"'; touch PWNED; '", "\\'*?[a]~${HOME}"},
                                                       {"\xC0\xDA\xB7\xE1", "-l"}};
  for (const auto& [id, code] : names) {
    SCOPED_TRACE(id + " / " + code);
    auto r = uplist(id, code, env);
    EXPECT_EQ(r.out, "[-l]\n[user/autoup/" + code + "/data/" + id + "/]\n");
    EXPECT_FALSE(dir.exists("PWNED"));
  }
}

TEST_F(Uplist, RefusedArgumentsRunNothing) {
  const auto env = fake_ls();
  const std::vector<std::vector<std::string>> refused = {
      {"guest", "a", "b", "pds"},
      {"", "a", "b", "c", "pds"},
      {"guest", "a", "b", "c", ""},
      {".", "a", "b", "c", "pds"},
      {"..", "a", "b", "c", "pds"},
      {"guest", "a", "b", "c", ".."},
      {"../other", "a", "b", "c", "pds"},
      {"guest", "a", "b", "c", "../../.."},
      {std::string(138, 'u'), "a", "b", "c", std::string(137, 'c')},
      {std::string(5000, 'u'), "a", "b", "c", "pds"},
  };
  for (const auto& args : refused) {
    auto r = harness::run(harness::program("uplist"), args, dir.path(), env);
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
  }
  // The longest names the server may pass still list.
  const std::string id(137, 'u'), code(137, 'c');
  EXPECT_EQ(uplist(id, code, env).out, "[-l]\n[user/autoup/" + code + "/data/" + id + "/]\n");
}

}  // namespace

TEST_F(Uplist, ConfinedToRunningLsAndWithoutLandlockAsBefore) {
  if (!harness::landlock_available()) GTEST_SKIP() << "this kernel has no Landlock";
  dir.write("user/autoup/pds/data/guest/readme.txt", "hello\n");
  const auto want = ls_l("user/autoup/pds/data/guest/");
  for (bool landlock : {true, false}) {
    harness::Probe probe;
    auto r = harness::run(
        harness::program("uplist"), {"guest", "a", "b", "c", "pds"}, dir.path(), probe.env(),
        120000, harness::both(probe.setup(), landlock ? nullptr : harness::without_landlock()));
    EXPECT_EQ(r.out, want.out);
    EXPECT_EQ(r.err, "");
    const std::string found = landlock ? "outside=refused run=refused" : "outside=made run=ran";
    EXPECT_EQ(probe.report("uplist"), found);
    EXPECT_EQ(probe.report("ls"), found);
  }
}
