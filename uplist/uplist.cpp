// uplist: the long listing of one user's auto-upload directory,
// user/autoup/<area code>/data/<user id>/, as ls -l prints it.
//   uplist <user id> <unused> <unused> <unused> <area code>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>

#include "cli.h"
#include "confine.h"
#include "lscmd.h"
#include "usage.h"

namespace {

// The parts of the server's user and area records that the listing needs. A field
// holds any single name that can fit the command.
struct UserRecord {
  std::array<char, NAMES_MAX + 1> id;
};
struct AreaRecord {
  std::array<char, NAMES_MAX + 1> code;
};

UserRecord pf;
AreaRecord go;

// False when the value is too long for the field: a cut name would list some other
// user's directory.
template <std::size_t N>
bool copy_field(std::array<char, N>& field, const char* value) {
  const int n = std::snprintf(field.data(), field.size(), "%s", value);
  return n >= 0 && static_cast<std::size_t>(n) < field.size();
}

}  // namespace

int main(int argc, char** argv) {
  if (answer_help_or_version(argc, argv, "uplist", UPLIST_USAGE)) return 0;
  confine({.programs = {"/bin/sh", "ls"}});
  if (argc < 6) return 1;
  // Arguments 2 to 4 are part of the server's calling convention and mean nothing here.
  if (!copy_field(pf.id, argv[1]) || !copy_field(go.code, argv[5])) return 1;

  std::array<char, LS_COMMAND_SIZE> command{};
  if (!make_ls_command(command, go.code.data(), pf.id.data())) return 1;

  // ls reports a missing or unreadable directory itself, on the server's stderr, and the
  // shell an ls it cannot find; the status says whether a listing came out at all. A
  // command that could not be started at all is 127, as the shell has it for an ls that
  // is not there (and the C library for a shell without a process).
  const int status = std::system(command.data());
  if (status == -1) return 127;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : 1;
}
