#include "targets.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace bench {

namespace {

bool strict = false;
int missed = 0;

}  // namespace

bool parse_options(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--strict") == 0) {
      strict = true;
    } else {
      std::fprintf(stderr, "%s: unknown option %s (only --strict: a missed target fails)\n",
                   argv[0], argv[i]);
      return false;
    }
  }
  return true;
}

bool figure(bool met, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::printf("%s\n", met ? "" : "  MISSED");
  if (!met) ++missed;
  return met;
}

int finish(const char* name) {
  if (missed == 0) {
    std::printf("%s: every target met\n", name);
    return 0;
  }
  std::printf("%s: %d target%s MISSED%s\n", name, missed, missed == 1 ? "" : "s",
              strict ? "" : " (a report only; --strict makes it a failure)");
  std::fflush(stdout);
  return strict ? 1 : 0;
}

}  // namespace bench
