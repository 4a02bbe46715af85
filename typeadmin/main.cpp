// typeadmin: the operator's look at the typing race's files.
//   typeadmin check | rooms | wordlist [--join] [FILE]
// Run by hand in the server's working directory; every path here is relative to it.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "check.h"
#include "cli.h"
#include "confine.h"
#include "handles.h"
#include "rooms.h"
#include "terminal_text.h"
#include "usage.h"
#include "wordlist.h"

namespace {

int usage_error(const char* what, std::string_view arg = {}) {
  std::fprintf(stderr, "typeadmin: %s%.*s\n", what, static_cast<int>(arg.size()), arg.data());
  std::fputs(TYPEADMIN_USAGE_LINE, stderr);
  return 2;
}

int wordlist(int argc, char** argv, TerminalText& shown) {
  bool join = false;
  const char* name = nullptr;
  for (int i = 2; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--join" && !join)
      join = true;
    else if (arg == "--join")
      return usage_error("--join given twice");
    else if (arg.size() > 1 && arg[0] == '-')
      return usage_error("unknown option for wordlist: ", controls_masked(arg));
    else if (name)
      return usage_error("wordlist takes one file at most; a second: ", controls_masked(arg));
    else
      name = argv[i];
  }
  if (!name || std::strcmp(name, "-") == 0)
    return make_word_list(stdin, "-", join, stdout, stderr, shown);
  const File in{std::fopen(name, "r")};
  if (!in) {
    std::fprintf(stderr, "typeadmin: %s: %s\n", controls_masked(name).c_str(),
                 std::strerror(errno));
    return 1;
  }
  return make_word_list(in.get(), name, join, stdout, stderr, shown);
}

}  // namespace

int main(int argc, char** argv) {
  if (answer_help_or_version(argc, argv, "typeadmin", TYPEADMIN_USAGE)) return 0;
  // It reads and never writes: nothing to write, nothing to run.
  confine({});
  if (argc < 2) return usage_error("no subcommand given");
  TerminalText shown(operator_uses_utf8());
  const std::string_view command = argv[1];
  if (command == "wordlist") return wordlist(argc, argv, shown);
  if (command != "check" && command != "rooms")
    return usage_error("unknown subcommand: ", controls_masked(command));
  if (argc > 2)
    return usage_error(command == "check" ? "check takes no arguments; given: "
                                          : "rooms takes no arguments; given: ",
                       controls_masked(argv[2]));
  return command == "check" ? check_setup(stdout, stderr, shown)
                            : list_rooms(stdout, stderr, shown);
}
