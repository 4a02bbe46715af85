// The confinement in a child process of its own, which then says what it could still do.
#include "confine.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "harness.h"

namespace {

namespace fs = std::filesystem;

// What `body` returns, run in a child process.
std::string in_child(const std::function<std::string()>& body) {
  int out[2];
  if (pipe(out) != 0) return "no pipe";
  const pid_t pid = fork();
  if (pid == 0) {
    close(out[0]);
    const std::string said = body();
    _exit(write(out[1], said.data(), said.size()) == static_cast<ssize_t>(said.size()) ? 0 : 1);
  }
  close(out[1]);
  std::string said;
  char buf[256];
  for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) said.append(buf, n);
  close(out[0]);
  waitpid(pid, nullptr, 0);
  return said;
}

std::string outcome(bool ok) { return ok ? "ok" : errno == EACCES ? "refused" : "error"; }

std::string make(const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd >= 0) close(fd);
  return outcome(fd >= 0);
}

std::string write_existing(const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd >= 0) close(fd);
  return outcome(fd >= 0);
}

// The exit status of the program, or why it could not start.
std::string run(std::vector<const char*> argv) {
  argv.push_back(nullptr);
  pid_t pid;
  const int err =
      posix_spawnp(&pid, argv[0], nullptr, nullptr, const_cast<char**>(argv.data()), environ);
  int status = 0;
  if (err == 0) waitpid(pid, &status, 0);
  errno = err;
  return err == 0 ? std::to_string(WEXITSTATUS(status)) : outcome(false);
}

void script(const harness::Scratch& dir, const std::string& rel, const std::string& text) {
  dir.write(rel, text);
  chmod(dir.file(rel).c_str(), 0755);
}

class Confine : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!harness::landlock_available()) GTEST_SKIP() << "this kernel has no Landlock";
  }
  harness::Scratch dir;
};

}  // namespace

TEST_F(Confine, WritesOnlyInItsTreesAndRunsOnlyItsProgramsAndTheirInterpreters) {
  const std::string tree = dir.file("frm/typegame"), devices = dir.file("user/chat");
  dir.write("frm/typegame/old", "old");
  dir.write("user/chat/tty", "");
  script(dir, "bin/tool", "#!/bin/sh\nexit 7\n");
  script(dir, "bin/bare", "exit 4\n");  // no interpreter named: the shell reads it itself
  const std::string tool = dir.file("bin/tool"), bare = dir.file("bin/bare");
  EXPECT_EQ(
      in_child([&] {
        const bool confined = confine({.trees = {tree.c_str()},
                                       .devices = {devices.c_str()},
                                       .programs = {"/bin/sh", tool.c_str(), bare.c_str()}});
        fs::create_directory(tree + "/sub");
        const bool moved = rename((tree + "/old").c_str(), (tree + "/sub/old").c_str()) == 0;
        return std::to_string(confined) + std::to_string(prctl(PR_GET_NO_NEW_PRIVS, 0, 0, 0, 0)) +
               " tree: " + make(tree + "/new") + " " + outcome(moved) + " " +
               outcome(truncate((tree + "/sub/old").c_str(), 1) == 0) +
               " outside: " + make(dir.file("user/score/new")) +
               " devices: " + write_existing(devices + "/tty") + " " + make(devices + "/new") +
               " " + outcome(unlink((devices + "/tty").c_str()) == 0) +
               " run: " + run({"/bin/sh", "-c", "exit 3"}) + " " + run({tool.c_str()}) + " " +
               run({"/bin/sh", "-c", bare.c_str()}) + " " + run({"/usr/bin/true"});
      }),
      "11 tree: ok ok ok outside: refused devices: ok refused refused run: 3 7 4 refused");
}

TEST_F(Confine, WhatCannotBeAllowedWhollyIsNotRestrictedAtAll) {
  const std::string tree = dir.file("frm/typegame");
  const std::string missing = dir.file("missing");
  auto unconfined = [&](const Confinement& allowed) {
    return in_child([&] {
      errno = EDOM;
      const bool confined = confine(allowed);
      const bool kept = errno == EDOM;
      return std::to_string(confined) + " " + std::to_string(kept) + " " +
             make(dir.file("user/score/" + std::to_string(getpid()))) + " " +
             run({"/bin/sh", "-c", "exit 2"});
    });
  };
  EXPECT_EQ(unconfined({.trees = {tree.c_str(), missing.c_str()}}), "0 1 ok 2");
  EXPECT_EQ(unconfined({.trees = {tree.c_str()}, .programs = {"no-such-program"}}), "0 1 ok 2");
  EXPECT_EQ(unconfined({.programs = {missing.c_str()}}), "0 1 ok 2");
  EXPECT_EQ(in_child([&] {
              errno = EDOM;
              return std::to_string(confine({})) + " " + std::to_string(errno == EDOM);
            }),
            "1 1");
}
