// makenum: moves the build number in makenum.h on by one, stamps the build date and
// the banner into it, and every thirtieth build copies the sources into bkYYMMDD/.
#include <array>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "cli.h"
#include "stamp.h"
#include "usage.h"

namespace {

constexpr const char* HEADER = "makenum.h";
constexpr const char* BANNER = "TAVRO 5.22d";
// "개발:도담솔" in EUC-KR.
constexpr const char* CREDIT = "\xB0\xB3\xB9\xDF:\xB5\xB5\xB4\xE3\xBC\xD6";

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The command's own messages reach the user; its status changes nothing here.
void shell(const char* command) {
  const int status = std::system(command);
  static_cast<void>(status);
}

}  // namespace

int main(int argc, char** argv) {
  if (answer_help_or_version(argc, argv, "makenum", MAKENUM_USAGE)) return 0;
  // One reading of the clock, so the stamp and the snapshot name agree.
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);

  // Without a readable first line the count starts again at 0.
  int num = 0;
  if (File in{std::fopen(HEADER, "r")}) num = read_makenum(in.get());

  int status = 1;
  if (File out{std::fopen(HEADER, "w")}) {
    std::array<char, 64> date{};
    std::snprintf(date.data(), date.size(), "\"%04d-%02d-%02d %02d:%02d\"",
                  makenum_year(tm.tm_year), tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min);
    std::fprintf(out.get(), "#define MAKENUM             \"%d\"                      \n", num);
    std::fprintf(out.get(), "#define MAKEDATE            %s\n", date.data());
    std::fprintf(out.get(), "//%s\n", BANNER);
    std::fprintf(out.get(), "//%s\n", CREDIT);
    out.reset();
    // Flushed now, so the report comes before anything the snapshot commands print.
    std::printf("make_num=%d  make_date=%s\n", num, date.data());
    std::fflush(stdout);
    status = 0;
  }

  if (snapshot_due(num)) {
    // tm_year and the calendar year differ by 1900, so either gives the same two digits.
    const int yy = tm.tm_year % 100;
    std::array<char, 64> command{};
    std::snprintf(command.data(), command.size(), "mkdir bk%02d%02d%02d", yy, tm.tm_mon + 1,
                  tm.tm_mday);
    shell(command.data());
    std::snprintf(command.data(), command.size(), "cp -f *.c *.h bk%02d%02d%02d/", yy,
                  tm.tm_mon + 1, tm.tm_mday);
    shell(command.data());
  }
  return status;
}
