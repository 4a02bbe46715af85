// typestart: starts one typing race in a chat room and leaves the rest to the server.
//   typestart <unused> <group> <room> <word type>
// Started by the server in its working directory; every path here is relative to it.

#include <cstdint>
#include <cstdio>

#include "broadcast.h"
#include "cli.h"
#include "confine.h"
#include "endings.h"
#include "round_args.h"
#include "starter.h"
#include "usage.h"

int main(int argc, char** argv) {
  if (answer_help_or_version(argc, argv, "typestart", TYPESTART_USAGE)) return 0;
  confine({.trees = {"frm/typegame"}, .devices = {kTerminalDevices}});
  // A message to a stderr nobody reads, or an answer file over the size limit, fails
  // with an error instead of ending the program half-way. Nothing here needs cleaning
  // up: the answer file is replaced whole, with the ending signals held off meanwhile.
  catch_endings(nullptr);
  RoundCall call;
  if (!read_round_call(argc, argv, call)) return 1;
  std::int32_t strokes = 0;

  read_tty(call.group, call.room);  // also names the roster every broadcast watches
  print_title(call.group, call.room);
  print_taja(call.group, call.room, call.type, strokes);
  return 0;
}
