// The server's side of a round, stood in for: a scratch BBS working directory, real
// pseudo-terminals as the players' terminals, the server's roster and chat engine, and
// running a built program the way the server does. The tests and the tools (demo, play
// mode, the benchmarks, the soak) all stand on it; it needs no GoogleTest.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "chat_engine.h"

namespace harness {

// Path of a built program of this project, e.g. program("typerace").
std::string program(std::string_view name);

// A fresh working directory laid out as the server's: frm/typegame, user/chat,
// user/score, user/autoup and bin. Removed with everything in it on destruction.
class Scratch {
 public:
  Scratch();
  ~Scratch();
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  const std::string& path() const { return root_; }
  std::string file(std::string_view rel) const;
  void write(std::string_view rel, std::string_view bytes) const;
  void append(std::string_view rel, std::string_view bytes) const;
  std::optional<std::string> read(std::string_view rel) const;
  bool exists(std::string_view rel) const;
  void remove(std::string_view rel) const;
  // What a hostile machine may put in a file's place: a FIFO nobody writes, a link.
  void fifo(std::string_view rel) const;
  void symlink(std::string_view rel, const std::string& target) const;

 private:
  std::string root_;
};

// The working directory for its lifetime: code that works on paths relative to the
// server's directory runs inside a scratch one. Throws when it cannot be entered.
class InDir {
 public:
  explicit InDir(const std::string& dir);
  ~InDir();
  InDir(const InDir&) = delete;
  InDir& operator=(const InDir&) = delete;

 private:
  std::string back_;
};

// Sets a file's modification (and access) time, to the second.
void set_mtime(const std::string& path, std::time_t when);

// user/score/type<yy><m>.dat for the local month now: the ledger a round started now writes.
std::string this_months_ledger();

// One pseudo-terminal pair. The slave side is raw, so every byte a program writes to
// /dev/<name> arrives at the master untranslated.
class Pty {
 public:
  Pty();
  ~Pty();
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  const std::string& name() const { return name_; }  // like "pts/7"
  int master() const { return master_; }
  // Reads what has arrived until `quiet_ms` pass with nothing new, or `max_ms` in all.
  std::string drain(int quiet_ms = 100, int max_ms = 2000);
  // Reads until `needle` has arrived (true) or `timeout_ms` passed (false); the bytes
  // read are appended to `got`.
  bool read_until(std::string& got, std::string_view needle, int timeout_ms);

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string name_;
};

struct RosterEntry {
  std::int32_t group;
  std::string tty;         // copied into the 21-byte name field, cut if longer
  std::string other = {};  // the server's own 27 bytes, zero when empty
};

// The 52-byte records of a room roster: group (LE int32), 27 bytes of the server's,
// 21 bytes of terminal name.
std::string roster_bytes(const std::vector<RosterEntry>& entries);
void write_roster(const Scratch& dir, int room, const std::vector<RosterEntry>& entries);

struct Result {
  int status = -1;  // exit code, or 128 + signal number
  std::string out;
  std::string err;
};

// Runs in the child just before the program is started: a resource limit, a stream
// put somewhere else.
using ChildSetup = std::function<void()>;

// A running program, started in `cwd` with its standard streams captured.
class Proc {
 public:
  Proc(const std::string& bin, const std::vector<std::string>& args, const std::string& cwd,
       const std::vector<std::string>& env = {}, const ChildSetup& setup = {});
  ~Proc();
  Proc(const Proc&) = delete;
  Proc& operator=(const Proc&) = delete;

  pid_t pid() const { return pid_; }
  void signal(int sig) const;
  // Waits for the end; after `timeout_ms` the program is killed and status is -1.
  Result wait(int timeout_ms = 120000);

 private:
  pid_t pid_ = -1;
  std::string out_path_, err_path_;
  bool done_ = false;
};

Result run(const std::string& bin, const std::vector<std::string>& args, const std::string& cwd,
           const std::vector<std::string>& env = {}, int timeout_ms = 120000,
           const ChildSetup& setup = {});

// A built program run as a user other than root, for cases that root's powers would
// hide: a directory or a file that may not be read or written, a limit on processes.
// When the tests run as root, `bin` is copied into the scratch directory, whose top any
// user may then search, and started through setpriv as `uid` (user and group; nobody
// unless told); otherwise `bin` runs as the user running the tests. Empty when root has
// no setpriv.
struct Command {
  std::string bin;
  std::vector<std::string> args;  // the arguments that lead to the program's own
};
inline constexpr uid_t kNobody = 65534;
std::optional<Command> as_other_user(const Scratch& dir, const std::string& bin,
                                     uid_t uid = kNobody);

// Child setups: the file-size limit, which a program meets as it would a full disk; a
// standard error that is a pipe nobody reads any more; standard input read from a file.
ChildSetup file_size_limit(long bytes);
ChildSetup stderr_unread();
// Signals the program starts with ignored, as a server run under nohup, or started in the
// background by a script, hands them on; and the umask it starts with.
ChildSetup ignoring(std::vector<int> signals);
ChildSetup with_umask(mode_t mask);
// Both setups, one after the other.
ChildSetup both(ChildSetup first, ChildSetup second);
ChildSetup stdin_from(const std::string& path);
// Standard output a pipe whose reader is already gone, SIGPIPE left as the test has it
// (its default, as a shell leaves it for a pipeline); or the full device /dev/full.
ChildSetup stdout_unread();
ChildSetup stdout_full();
// An address-space limit, which a program meets as memory running out. (Not under
// AddressSanitizer, which maps far more than any such limit.)
ChildSetup address_space_limit(long bytes);

// The environment that has a program's system calls fail (libfiu's preload, Debian
// package fiu-utils): `commands` are libfiu's, one a line, such as
// "enable name=posix/io/dir/unlink,failinfo=13" (always, with EACCES),
// "enable name=posix/io/oc/open,failinfo=17,onetime" (the first call only) or
// "enable_random name=posix/io/*,probability=0.02". Programs the program starts inherit it.
std::vector<std::string> failing_calls(const std::string& commands);
// Whether libfiu is installed; without it failing_calls() fails nothing.
bool can_fail_calls();

// A wall clock that a test sets while the program runs (libfaketime, which reads the
// offset from a file at every look); the monotonic clock stays real. Pass env() to the
// program.
class SteppedClock {
 public:
  explicit SteppedClock(const Scratch& dir);
  std::vector<std::string> env() const;
  void set_offset(long seconds) const;  // from the real wall clock

 private:
  std::string file_;
};

// A wall clock that stands at `when` for the program and all it starts, unlike
// SteppedClock's, which the programs a confined program starts cannot read. Pass to the
// program as its environment.
std::vector<std::string> fixed_clock(std::time_t when);

// Both environments for one program, every library either preloads preloaded.
std::vector<std::string> both_env(std::vector<std::string> first,
                                  const std::vector<std::string>& second);

// Whether this kernel confines programs (Landlock); the programs run unconfined elsewhere.
bool landlock_available();
// A child setup: the program finds no Landlock in the kernel, as on an older machine.
ChildSetup without_landlock();

// What a program, and everything it starts, can still do once it runs, seen from inside:
// a preloaded library tries, at each process's exit, to create a file outside every tree
// the programs may write, to create one in `inside` (when given), and to start a program
// none of them may run. Pass env() and setup() to the program.
class Probe {
 public:
  explicit Probe(std::string inside = {});
  ~Probe();
  Probe(const Probe&) = delete;
  Probe& operator=(const Probe&) = delete;

  std::vector<std::string> env() const;
  ChildSetup setup() const;
  // What the processes of program `name` found, each different line once, in the order
  // first reported: "outside=refused inside=made run=refused" ("made", "ran", "refused" or
  // an error number); empty when none of them reported.
  std::string report(std::string_view name) const;

 private:
  std::string dir_, inside_;
  int fd_ = -1;
};

// EUC-KR bytes to UTF-8, for test messages and the demonstration; invalid bytes as '?'.
std::string euckr_to_utf8(std::string_view bytes);
// UTF-8 to EUC-KR; used to write Korean test data readably in the sources.
std::string utf8_to_euckr(std::string_view text);

// Whether the current C locale is UTF-8, so Korean can be shown converted; and when it
// is not, the one line the tools give on how to read it: run `command` (how the person
// started the tool, "make demo") again in a UTF-8 locale.
bool utf8_locale();
std::string raw_korean_hint(std::string_view command);

}  // namespace harness
