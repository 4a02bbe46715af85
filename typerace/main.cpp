// typerace: one whole round of the typing race for one chat room and group.
//   typerace <unused> <group> <room> <word type>
// Started by the server in its working directory; every path here is relative to it.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include "cfile.h"
#include "cli.h"
#include "game_files.h"
#include "round.h"
#include "tty.h"
#include "usage.h"

namespace {

constexpr char MSG_NO_ARGS[] =  // the arguments cannot be received
    "\xC0\xCE\xC0\xDA\xB8\xA6 \xB9\xDE\xC0\xBB\xBC\xF6 \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.";
constexpr char MSG_NO_ANSWER_FILE[] =  // the file the question needs is missing
    "\xB9\xAE\xC1\xA6\xC7\xCA\xBF\xE4\xC6\xC4\xC0\xCF\xC0\xCC \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.";
constexpr char MSG_NO_WORD_FILE[] =  // there is no word file at present
    "\xC7\xF6\xC0\xE7 \xB4\xDC\xBE\xEE \xC6\xC4\xC0\xCF\xC0\xCC \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.!!!";
constexpr char TXT_TITLE[] = "##### \xBE\xDF\xC8\xA3\xB6\xFB \xC5\xB8\xC0\xDA\xB9\xE6 ^^ ##### ";
constexpr char FMT_TYPE[] = "\xC5\xB8\xC0\xDA\xC0\xAF\xC7\xFC : %s";
constexpr char FMT_COUNT[] = "<%d>";
constexpr char FMT_WORD[] = "\x1b[7m%s\x1b[m\n";

constexpr char INDEX_PATH[] = "frm/typegame/data.txt";
constexpr std::size_t kWordMax = 176;  // so the word in reverse video fits an announcement
// The fallback lists come with no time limit of their own; this leaves time to type.
constexpr std::int32_t kFallbackLimit = 30;
constexpr int kCountdown = 5;

// The round's own files; a signal that ends the round removes them, so a round the
// server hangs up on never leaves its room blocked.
char answer_path[64];
char results_path[64];
volatile sig_atomic_t round_claimed = 0;

void end_round_on_signal(int sig) {
  if (round_claimed) {
    unlink(answer_path);
    unlink(results_path);
  }
  signal(sig, SIG_DFL);
  raise(sig);
}

void catch_hangups() {
  struct sigaction sa {};
  sa.sa_handler = end_round_on_signal;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGTERM, SIGHUP, SIGINT}) sigaddset(&sa.sa_mask, sig);
  for (int sig : {SIGTERM, SIGHUP, SIGINT}) sigaction(sig, &sa, nullptr);
}

[[noreturn]] void give_up_round(const char* message) {
  std::perror(message);
  unlink(answer_path);
  std::exit(1);
}

struct Round {
  int group;
  int room;
  std::array<char, kTypeMax + 1> type{};
  std::array<char, kMessageSize> msg{};

  template <typename... Args>
  void say(const char* fmt, Args... args) {
    std::snprintf(msg.data(), msg.size(), fmt, args...);
    chat_say(group, room, msg.data());
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (answer_help_or_version(argc, argv, "typerace", TYPERACE_USAGE)) return 0;
  if (argc < 5) {
    std::perror(MSG_NO_ARGS);
    return 1;
  }
  Round r;
  r.group = arg_number(argv[2]);
  r.room = arg_number(argv[3]);
  std::snprintf(r.type.data(), r.type.size(), "%s", argv[4]);

  std::snprintf(answer_path, sizeof answer_path, "frm/typegame/taja.%d%d", r.room, r.group);
  std::snprintf(results_path, sizeof results_path, "frm/typegame/chatmess.%d%d", r.room, r.group);

  // Claiming the room is one step, so two rounds can never both think they hold it.
  catch_hangups();
  int fd = open(answer_path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    if (errno == EEXIST) return 1;  // a round of this room and group is running
    std::perror(MSG_NO_ANSWER_FILE);
    return 1;
  }
  round_claimed = 1;
  File answer{fdopen(fd, "w")};
  if (!answer) {
    close(fd);
    give_up_round(MSG_NO_ANSWER_FILE);
  }
  // Finishers of an earlier round of this room and group must not be ranked in this one.
  unlink(results_path);

  r.say("%s", TXT_TITLE);
  r.say(FMT_TYPE, r.type.data());

  IndexLookup idx;
  if (File index{std::fopen(INDEX_PATH, "r")}) find_word_type(index.get(), r.type.data(), idx);

  std::array<char, kPathSize> list_path{};
  std::int32_t limit = idx.limit;
  if (idx.file[0] == '\0') {
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    long k = random() % 10 + 1;
    std::snprintf(list_path.data(), list_path.size(), "frm/typegame/data%2ld,dat", k);
    limit = kFallbackLimit;
  } else {
    int n = std::snprintf(list_path.data(), list_path.size(), "frm/typegame/%s", idx.file.data());
    if (idx.file_cut || n >= static_cast<int>(list_path.size())) {
      errno = ENAMETOOLONG;
      give_up_round(MSG_NO_WORD_FILE);
    }
  }

  File list{std::fopen(list_path.data(), "r")};
  if (!list) give_up_round(MSG_NO_WORD_FILE);
  {
    // A list with no whole record would publish nothing anybody could type.
    std::int32_t strokes;
    std::array<char, kWordMax + 1> word{};
    if (read_word_record(list.get(), &strokes, word.data(), word.size()) < 2) {
      errno = ENODATA;
      give_up_round(MSG_NO_WORD_FILE);
    }
    std::rewind(list.get());
  }

  std::time_t start = std::time(nullptr);
  for (int last = 0;;) {
    std::time_t now = std::time(nullptr);
    int remaining = kCountdown - static_cast<int>(now - start);
    if (remaining != last) {
      r.say(FMT_COUNT, remaining);
      last = remaining;
      if (remaining <= 0) break;
    } else {
      sleep_past_second(now);  // the second looked at, so a turn since is not slept through
    }
  }

  std::srand(static_cast<unsigned>(std::time(nullptr)));
  int pick = static_cast<int>(random() % 3 + 1);
  std::int32_t strokes = 0;
  std::array<char, kWordMax + 1> word{};
  pick_word(list.get(), pick, &strokes, word.data(), word.size());
  list.reset();

  std::fputs(word.data(), answer.get());
  answer.reset();  // from here on the server accepts the word
  r.say(FMT_WORD, word.data());

  start = std::time(nullptr);
  for (std::time_t now; limit - ((now = std::time(nullptr)) - start) > 0;) sleep_past_second(now);

  if (File results{std::fopen(results_path, "r")}) {
    r.say("%s", TXT_RESULTS);
    std::time_t now = std::time(nullptr);
    std::tm when{};
    if (const std::tm* lt = std::localtime(&now)) when = *lt;
    int rank = 0;
    ResultLine fin;
    while (read_result(results.get(), fin)) {
      ++rank;
      int elapsed = elapsed_since(fin.finish, start);
      int speed = typing_speed(strokes, elapsed);
      jumsu_save(fin.user.data(), r.group, when, r.type.data(), pick, elapsed, rank, speed);
      format_rank(r.msg, rank, elapsed, fin.user.data(), speed);
      chat_say(r.group, r.room, r.msg.data());
    }
  } else {
    r.say("%s", TXT_NO_RESULTS);
  }

  round_claimed = 0;
  unlink(answer_path);
  unlink(results_path);
  return 0;
}
