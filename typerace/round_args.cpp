#include "round_args.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

std::int32_t arg_number(const char* text) {
  long long v = std::strtoll(text, nullptr, 10);
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(v);
}

bool read_round_call(int argc, char** argv, RoundCall& out) {
  if (argc < kRoundArgc) {
    errno = EINVAL;
    std::perror(MSG_NO_ARGS);
    return false;
  }
  out.group = arg_number(argv[2]);
  out.room = arg_number(argv[3]);
  out.type = argv[4];
  return true;
}
