#include "starter.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "broadcast.h"
#include "cfile.h"
#include "game_files.h"
#include "tty.h"

std::int32_t ftime = 0;

namespace {

constexpr char INDEX_PATH[] = "frm/typegame/data.txt";
constexpr std::size_t kBufSize = 200;  // paths and the word

// Writes the word to a new file beside the answer file and renames it into place, so the
// server's chat engine never sees an empty or half-written answer. Returns 0, or the error.
int replace_answer_file(const char* path, const char* word) {
  std::array<char, kBufSize + 16> temp;
  std::snprintf(temp.data(), temp.size(), "%s.XXXXXX", path);
  // A signal that ends the program meanwhile is held back until no new file is left over.
  sigset_t endings, old;
  sigemptyset(&endings);
  for (int sig : {SIGTERM, SIGHUP, SIGINT, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM})
    sigaddset(&endings, sig);
  sigprocmask(SIG_BLOCK, &endings, &old);
  int err = 0;
  int fd = mkstemp(temp.data());
  if (fd < 0) {
    err = errno;
  } else {
    // What an answer file created directly would get: 0666 less the umask.
    mode_t mask = umask(0);
    umask(mask);
    if (fchmod(fd, 0666 & ~mask) != 0) err = errno;
    // A write cut short is followed by one that says why (a full disk, the size limit).
    for (std::size_t off = 0, len = std::strlen(word); !err && off < len;) {
      ssize_t n = write(fd, word + off, len - off);
      if (n >= 0)
        off += static_cast<std::size_t>(n);
      else if (errno != EINTR)
        err = errno;
    }
    if (close(fd) != 0 && !err) err = errno;
    if (!err && rename(temp.data(), path) != 0) err = errno;
    if (err) unlink(temp.data());
  }
  sigprocmask(SIG_SETMASK, &old, nullptr);
  return err;
}

[[noreturn]] void give_up(const char* message, int err) {
  errno = err;
  std::perror(message);
  std::exit(1);
}

}  // namespace

void print_title(int group, int room) {
  chat_say(group, room, TXT_TITLE);
  RoundClock clock;
  count_down([&] { return clock.now(); }, [&](std::time_t seen) { clock.sleep_past(seen); },
             [&](const char* line) { chat_say(group, room, line); });
}

int pick_number() { return std::rand() % 3; }

void print_taja(int group, int room, const char* type, std::int32_t& strokes) {
  std::array<char, kBufSize> answer_path;
  std::snprintf(answer_path.data(), answer_path.size(), "frm/typegame/taja.%d%d", room, group);

  IndexLookup idx;
  {
    File index{std::fopen(INDEX_PATH, "r")};
    if (!index) give_up(MSG_NO_MENU, errno);
    find_word_type(index.get(), type, idx);
  }
  ftime = idx.limit;
  // An index with no record, or none that named a file, leaves nothing to play.
  if (idx.records == 0 || idx.file[0] == '\0') give_up(MSG_NO_MENU, ENODATA);
  if (idx.file_cut) give_up(MSG_NO_WORD_FILE, ENAMETOOLONG);

  std::array<char, kBufSize> list_path;
  std::snprintf(list_path.data(), list_path.size(), "frm/typegame/%s", idx.file.data());
  std::array<char, kBufSize> word{};
  int counted = 0;
  int read_error = 0;
  {
    File list{std::fopen(list_path.data(), "r")};
    if (!list) give_up(MSG_NO_WORD_FILE, errno);
    errno = 0;
    counted = pick_word(list.get(), pick_number(), &strokes, word.data(), word.size());
    if (std::ferror(list.get())) read_error = errno;  // a directory opens but can't be read
  }
  if (counted == 0 || word[0] == '\0') give_up(MSG_NO_WORD_FILE, read_error ? read_error : ENODATA);
  // A word that filled the buffer was cut; never leave half a Korean character at its end.
  std::size_t len = std::strlen(word.data());
  if (len == word.size() - 1) word[fit_text({word.data(), len}, len)] = '\0';

  chat_say(group, room, word.data());

  if (int err = replace_answer_file(answer_path.data(), word.data()))
    give_up(MSG_NO_ANSWER_FILE, err);
}
