// A touch that takes its time, for a round's shell to run while a signal lands: it marks
// its start in the file SLOW_TOUCH_STARTED names, waits two seconds, then stamps its
// files itself, so that it starts nothing a confined round could not run.
//   touch FILE...
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

int main(int argc, char** argv) {
  if (const char* mark = std::getenv("SLOW_TOUCH_STARTED"))
    close(open(mark, O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
  sleep(2);
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    const int fd = open(argv[i], O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd >= 0 ? futimens(fd, nullptr) != 0 : utimensat(AT_FDCWD, argv[i], nullptr, 0) != 0)
      status = 1;
    if (fd >= 0) close(fd);
  }
  return status;
}
