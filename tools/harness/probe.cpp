// Preloaded into a program by the tests, and so into everything it starts: at each
// process's exit, when whatever the program forbade itself is in force, tries what it
// should no longer be able to do and what it should, and reports on a descriptor the
// test opened before the program started (writes to a descriptor already open are never
// checked again). Nothing is tried without BBS_PROBE_FD.
//   BBS_PROBE_FD       the report's descriptor
//   BBS_PROBE_OUTSIDE  a file to create outside the trees the program may write
//   BBS_PROBE_INSIDE   a directory inside them, where a file is made and removed again
//   BBS_PROBE_RUN      a program it may not start
// One line per process: "<name> outside=<r> inside=<r> run=<r>", each part only when
// asked for; <r> is "made" or "ran", "refused" (EACCES), or the error's number.
#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Appends " <what>=<result of making the file at path>", removing what it made.
void try_make(char* line, std::size_t size, const char* what, const char* path) {
  const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  const int err = errno;
  char result[16];
  if (fd >= 0) {
    close(fd);
    unlink(path);
    std::snprintf(result, sizeof result, "made");
  } else {
    std::snprintf(result, sizeof result, err == EACCES ? "refused" : "%d", err);
  }
  const std::size_t used = std::strlen(line);
  std::snprintf(line + used, size - used, " %s=%s", what, result);
}

void try_run(char* line, std::size_t size, const char* program) {
  // An empty environment, so the program started does not probe in its turn.
  char* argv[] = {const_cast<char*>(program), nullptr};
  char* envp[] = {nullptr};
  pid_t pid;
  const int err = posix_spawn(&pid, program, nullptr, nullptr, argv, envp);
  if (err == 0) waitpid(pid, nullptr, 0);
  const std::size_t used = std::strlen(line);
  if (err == 0 || err == EACCES)
    std::snprintf(line + used, size - used, " run=%s", err == 0 ? "ran" : "refused");
  else
    std::snprintf(line + used, size - used, " run=%d", err);
}

__attribute__((destructor)) void probe_at_exit() {
  const char* fd = std::getenv("BBS_PROBE_FD");
  if (!fd) return;
  const int saved = errno;
  char line[512];
  std::snprintf(line, sizeof line, "%s", program_invocation_short_name);
  if (const char* outside = std::getenv("BBS_PROBE_OUTSIDE"))
    try_make(line, sizeof line, "outside", outside);
  if (const char* inside = std::getenv("BBS_PROBE_INSIDE")) {
    char path[400];
    std::snprintf(path, sizeof path, "%s/probe.%d", inside, static_cast<int>(getpid()));
    try_make(line, sizeof line, "inside", path);
  }
  if (const char* run = std::getenv("BBS_PROBE_RUN")) try_run(line, sizeof line, run);
  const std::size_t used = std::strlen(line);
  std::snprintf(line + used, sizeof line - used, "\n");
  if (write(std::atoi(fd), line, std::strlen(line)) < 0) {
    // Nobody to tell.
  }
  errno = saved;
}

}  // namespace
