// typescore: the typing race's hall of fame, read from the monthly score ledgers.
//   typescore [--month YYMM | --all | --since YYMMDD --until YYMMDD | --today | --week]
//             [--type TYPE] [--by ORDER] [--top N] [--rank ID]
//             [--user ID [--trend | --last N]] [--csv] [--utf8] [--check]
// Started by the server in its working directory (standard output on the user's
// terminal) or by the operator by hand. SIGPIPE keeps its default, so in a pipeline
// whose reader stops early the program ends by it, as pipeline tools do.

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli.h"
#include "confine.h"
#include "options.h"
#include "score.h"

int main(int argc, char** argv) {
  if (answer_help_or_version(argc, argv, "typescore", SCORE_HELP)) {
    // Help that never arrived is a failure like a table that never did.
    if (!std::ferror(stdout)) return 0;
    std::fprintf(stderr, "typescore: standard output: %s\n", std::strerror(errno));
    return 1;
  }
  confine({});
  static char block[1 << 16];
  std::setvbuf(stdout, block, _IOFBF, sizeof block);
  return run_typescore(argc, argv, stdout, stderr);
}
