// makenum: moves the build number in makenum.h on by one, stamps the build date and
// the banner into it, and every thirtieth build copies the sources into bkYYMMDD/.
#include <array>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "cli.h"
#include "confine.h"
#include "endings.h"
#include "header.h"
#include "stamp.h"
#include "usage.h"

namespace {

constexpr const char* HEADER = "makenum.h";
constexpr const char* BANNER = "TAVRO 5.22d";
// "개발:도담솔" in EUC-KR.
constexpr const char* CREDIT = "\xB0\xB3\xB9\xDF:\xB5\xB5\xB4\xE3\xBC\xD6";

// The command's own messages reach the user; its status changes nothing here.
void shell(const char* command) {
  const int status = std::system(command);
  static_cast<void>(status);
}

}  // namespace

int main(int argc, char** argv) {
  if (answer_help_or_version(argc, argv, "makenum", MAKENUM_USAGE)) return 0;
  // A report to a closed pipe, or a header over the size limit, fails with an error
  // instead of ending the run half-way. Nothing needs cleaning up after the other ending
  // signals: the header's update holds them off until it is whole or undone, and a header
  // created for the turn that a signal leaves empty reads as 0, as a missing one.
  catch_endings(nullptr);

  // One reading of the clock, so the stamp and the snapshot name agree.
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);

  // A FIFO, a device or a directory in makenum.h's place is never opened, never waited on.
  HeaderPath target;
  if (!header_target(HEADER, target) || header_kind(target.data()) == HeaderKind::other) return 1;
  HeaderPath target_dir;
  directory_of(target.data(), target_dir);
  confine({.trees = {".", target_dir.data()}, .programs = {"/bin/sh", "mkdir", "cp"}});

  std::array<char, 64> date{};
  std::snprintf(date.data(), date.size(), "\"%04d-%02d-%02d %02d:%02d\"", makenum_year(tm.tm_year),
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min);
  int num = 0;
  bool written = false;
  {
    LockedHeader header(target.data());
    if (header.refused()) return 1;
    // Without a readable first line the count starts again at 0.
    num = header.next_number();
    std::array<char, 256> text{};
    const int len = std::snprintf(text.data(), text.size(),
                                  "#define MAKENUM             \"%d\"                      \n"
                                  "#define MAKEDATE            %s\n"
                                  "//%s\n"
                                  "//%s\n",
                                  num, date.data(), BANNER, CREDIT);
    written = len > 0 && len < static_cast<int>(text.size()) &&
              header.rewrite({text.data(), static_cast<std::size_t>(len)});
  }
  if (written) {
    // Flushed now, so the report comes before anything the snapshot commands print.
    std::printf("make_num=%d  make_date=%s\n", num, date.data());
    std::fflush(stdout);
  }

  if (snapshot_due(num)) {
    const int yy = two_digit_year(tm.tm_year);
    std::array<char, 64> command{};
    std::snprintf(command.data(), command.size(), "mkdir bk%02d%02d%02d", yy, tm.tm_mon + 1,
                  tm.tm_mday);
    shell(command.data());
    // The options end before the names, so a source called -r.c or
    // --target-directory=x.c is copied like any other.
    std::snprintf(command.data(), command.size(), "cp -f -- *.c *.h bk%02d%02d%02d/", yy,
                  tm.tm_mon + 1, tm.tm_mday);
    shell(command.data());
  }
  return written ? 0 : 1;
}
