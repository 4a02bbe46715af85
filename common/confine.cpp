#include "confine.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "handles.h"

#if __has_include(<linux/landlock.h>)
#include <linux/landlock.h>
#endif

// What older kernel headers lack; the numbers are the kernel's, the same on every
// architecture this suite builds for.
#ifndef LANDLOCK_CREATE_RULESET_VERSION
struct landlock_ruleset_attr {
  std::uint64_t handled_access_fs;
};
struct __attribute__((packed)) landlock_path_beneath_attr {
  std::uint64_t allowed_access;
  std::int32_t parent_fd;
};
#define LANDLOCK_RULE_PATH_BENEATH 1
#define LANDLOCK_CREATE_RULESET_VERSION (1U << 0)
#define LANDLOCK_ACCESS_FS_EXECUTE (1ULL << 0)
#define LANDLOCK_ACCESS_FS_WRITE_FILE (1ULL << 1)
#define LANDLOCK_ACCESS_FS_REMOVE_DIR (1ULL << 4)
#define LANDLOCK_ACCESS_FS_REMOVE_FILE (1ULL << 5)
#define LANDLOCK_ACCESS_FS_MAKE_CHAR (1ULL << 6)
#define LANDLOCK_ACCESS_FS_MAKE_DIR (1ULL << 7)
#define LANDLOCK_ACCESS_FS_MAKE_REG (1ULL << 8)
#define LANDLOCK_ACCESS_FS_MAKE_SOCK (1ULL << 9)
#define LANDLOCK_ACCESS_FS_MAKE_FIFO (1ULL << 10)
#define LANDLOCK_ACCESS_FS_MAKE_BLOCK (1ULL << 11)
#define LANDLOCK_ACCESS_FS_MAKE_SYM (1ULL << 12)
#endif
#ifndef LANDLOCK_ACCESS_FS_REFER
#define LANDLOCK_ACCESS_FS_REFER (1ULL << 13)
#endif
#ifndef LANDLOCK_ACCESS_FS_TRUNCATE
#define LANDLOCK_ACCESS_FS_TRUNCATE (1ULL << 14)
#endif
#ifndef SYS_landlock_create_ruleset
#define SYS_landlock_create_ruleset 444
#endif
#ifndef SYS_landlock_add_rule
#define SYS_landlock_add_rule 445
#endif
#ifndef SYS_landlock_restrict_self
#define SYS_landlock_restrict_self 446
#endif

namespace {

using Path = std::array<char, PATH_MAX>;

// Everything that writes or runs, as far as the kernel knows how to restrict it. Reading
// is left alone, and so are device ioctls: a terminal is checked to be one before it is
// written to.
std::uint64_t handled_rights(int abi) {
  std::uint64_t rights =
      LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_REMOVE_DIR |
      LANDLOCK_ACCESS_FS_REMOVE_FILE | LANDLOCK_ACCESS_FS_MAKE_CHAR | LANDLOCK_ACCESS_FS_MAKE_DIR |
      LANDLOCK_ACCESS_FS_MAKE_REG | LANDLOCK_ACCESS_FS_MAKE_SOCK | LANDLOCK_ACCESS_FS_MAKE_FIFO |
      LANDLOCK_ACCESS_FS_MAKE_BLOCK | LANDLOCK_ACCESS_FS_MAKE_SYM;
  if (abi >= 2) rights |= LANDLOCK_ACCESS_FS_REFER;
  if (abi >= 3) rights |= LANDLOCK_ACCESS_FS_TRUNCATE;
  return rights;
}

bool add_rule(int ruleset, int fd, std::uint64_t rights) {
  landlock_path_beneath_attr rule{};
  rule.allowed_access = rights;
  rule.parent_fd = fd;
  return syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0) == 0;
}

// Links are followed: the tree is wherever the name leads now.
bool allow_tree(int ruleset, const char* path, std::uint64_t rights) {
  const Fd dir{open(path, O_PATH | O_DIRECTORY | O_CLOEXEC)};
  return dir && add_rule(ruleset, dir.fd, rights);
}

// The shell's own search path when none is set (dash's, which is /bin/sh here).
constexpr char kShellPath[] = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";

// The file the shell runs for `name`: the name itself when it has a slash, otherwise the
// first executable regular file along PATH, an empty entry being the working directory.
bool find_program(const char* name, Path& out) {
  if (std::strchr(name, '/'))
    return std::snprintf(out.data(), out.size(), "%s", name) < static_cast<int>(out.size());
  const char* path = std::getenv("PATH");
  std::string_view dirs = path ? path : kShellPath;
  for (;;) {
    const std::size_t colon = dirs.find(':');
    const std::string_view dir = dirs.substr(0, colon);
    const int n = std::snprintf(out.data(), out.size(), "%.*s%s%s", static_cast<int>(dir.size()),
                                dir.data(), dir.empty() ? "" : "/", name);
    struct stat st;
    if (n > 0 && n < static_cast<int>(out.size()) && stat(out.data(), &st) == 0 &&
        S_ISREG(st.st_mode) && access(out.data(), X_OK) == 0)
      return true;
    if (colon == std::string_view::npos) return false;
    dirs.remove_prefix(colon + 1);
  }
}

enum class Interpreter { none, named, unknown };

// The program a script's first line names, read as the kernel reads it: after "#!" and
// any blanks, up to the next blank or the line's end, within the kernel's 256 bytes.
// `whole` says that the bytes are the whole file, so their end ends the line too.
Interpreter script_interpreter(std::string_view line, bool whole, Path& out) {
  const std::size_t begin = line.find_first_not_of(" \t");
  std::size_t end = std::string_view::npos;
  if (begin != std::string_view::npos)
    end = line.find_first_of(std::string_view(" \t\n\0", 4), begin);
  if (end == std::string_view::npos && whole) end = line.size();
  // No name, or one cut by the limit: the kernel refuses the file, and the shell then
  // reads it as a script itself.
  if (begin == std::string_view::npos || end == std::string_view::npos || end == begin)
    return Interpreter::none;
  const std::string_view name = line.substr(begin, end - begin);
  if (name.size() >= out.size()) return Interpreter::unknown;
  name.copy(out.data(), name.size());
  out[name.size()] = '\0';
  return Interpreter::named;
}

// The loader an ELF program names (PT_INTERP); a static program names none.
template <typename Ehdr, typename Phdr>
Interpreter elf_interpreter(int fd, std::string_view head, Path& out) {
  Ehdr eh;
  if (head.size() < sizeof eh) return Interpreter::unknown;
  std::memcpy(&eh, head.data(), sizeof eh);
  if (eh.e_phentsize != sizeof(Phdr) || eh.e_phoff > static_cast<std::uint64_t>(INT64_MAX / 2))
    return Interpreter::unknown;
  for (unsigned i = 0; i < eh.e_phnum; ++i) {
    Phdr ph;
    const off_t at = static_cast<off_t>(eh.e_phoff + std::uint64_t{i} * sizeof ph);
    if (pread(fd, &ph, sizeof ph, at) != static_cast<ssize_t>(sizeof ph))
      return Interpreter::unknown;
    if (ph.p_type != PT_INTERP) continue;
    // The kernel takes a name of 2 to PATH_MAX bytes, its zero included.
    if (ph.p_filesz < 2 || ph.p_filesz > out.size() ||
        ph.p_offset > static_cast<std::uint64_t>(INT64_MAX / 2))
      return Interpreter::unknown;
    const auto size = static_cast<std::size_t>(ph.p_filesz);
    if (pread(fd, out.data(), size, static_cast<off_t>(ph.p_offset)) !=
            static_cast<ssize_t>(size) ||
        out[size - 1] != '\0')
      return Interpreter::unknown;
    return Interpreter::named;
  }
  return Interpreter::none;
}

// What the kernel opens, as a program, to run the file: the interpreter of a script or
// the loader of an ELF program. A file that is neither the kernel refuses, and the shell
// then reads it as a script itself.
Interpreter interpreter_of(int fd, Path& out) {
  std::array<char, 256> buf;
  const ssize_t got = pread(fd, buf.data(), buf.size(), 0);
  if (got < 0) return Interpreter::unknown;
  const std::string_view head(buf.data(), static_cast<std::size_t>(got));
  if (head.starts_with("#!"))
    return script_interpreter(head.substr(2), head.size() < buf.size(), out);
  if (!head.starts_with(std::string_view(ELFMAG, SELFMAG))) return Interpreter::none;
  if (head.size() <= EI_DATA) return Interpreter::unknown;
  const bool native =
      head[EI_DATA] == (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? ELFDATA2LSB : ELFDATA2MSB);
  if (native && head[EI_CLASS] == ELFCLASS64)
    return elf_interpreter<Elf64_Ehdr, Elf64_Phdr>(fd, head, out);
  if (native && head[EI_CLASS] == ELFCLASS32)
    return elf_interpreter<Elf32_Ehdr, Elf32_Phdr>(fd, head, out);
  return Interpreter::unknown;
}

// Allows running the file at `path` and its interpreters, as deep as the kernel nests
// them (four scripts, then an ELF program and its loader).
bool allow_program(int ruleset, const char* path, int depth = 0) {
  if (depth > 5) return false;
  const Fd file{open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
  struct stat st;
  if (!file || fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      !add_rule(ruleset, file.fd, LANDLOCK_ACCESS_FS_EXECUTE))
    return false;
  Path next;
  switch (interpreter_of(file.fd, next)) {
    case Interpreter::none:
      return true;
    case Interpreter::named:
      return allow_program(ruleset, next.data(), depth + 1);
    case Interpreter::unknown:
      break;
  }
  return false;
}

bool restrict_to(const Confinement& allowed) {
  const long abi =
      syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
  if (abi < 1) return false;  // no Landlock in this kernel, or it is turned off
  const std::uint64_t handled = handled_rights(static_cast<int>(abi));
  landlock_ruleset_attr attr{};
  attr.handled_access_fs = handled;
  const Fd ruleset{static_cast<int>(syscall(SYS_landlock_create_ruleset, &attr, sizeof attr, 0))};
  if (!ruleset) return false;
  for (const char* tree : allowed.trees)
    if (!allow_tree(ruleset.fd, tree, handled & ~LANDLOCK_ACCESS_FS_EXECUTE)) return false;
  for (const char* tree : allowed.devices)
    if (!allow_tree(ruleset.fd, tree, LANDLOCK_ACCESS_FS_WRITE_FILE)) return false;
  for (const char* name : allowed.programs) {
    Path file;
    if (!find_program(name, file) || !allow_program(ruleset.fd, file.data())) return false;
  }
  // Landlock demands this of an unprivileged process; nothing the programs start is
  // meant to gain privileges anyway.
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return false;
  return syscall(SYS_landlock_restrict_self, ruleset.fd, 0) == 0;
}

}  // namespace

bool confine(const Confinement& allowed) {
  const int saved = errno;
  const bool done = restrict_to(allowed);
  errno = saved;
  return done;
}
