// typescore: the typing race's hall of fame, read from the monthly score ledgers.
//   typescore [--month YYMM | --all] [--type TYPE] [--by ORDER] [--top N] [--user ID]
//             [--csv] [--utf8] [--check]
// Started by the server in its working directory (standard output on the user's
// terminal) or by the operator by hand.

#include <cstdio>

#include "cli.h"
#include "confine.h"
#include "options.h"
#include "score.h"

int main(int argc, char** argv) {
  if (answer_help_or_version(argc, argv, "typescore", SCORE_HELP)) return 0;
  confine({});
  static char block[1 << 16];
  std::setvbuf(stdout, block, _IOFBF, sizeof block);
  return run_typescore(argc, argv, stdout, stderr);
}
