// typerace: one whole round of the typing race for one chat room and group.
//   typerace <unused> <group> <room> <word type>
// Started by the server in its working directory; every path here is relative to it.

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include "cfile.h"
#include "claim.h"
#include "cli.h"
#include "confine.h"
#include "data_file.h"
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
constexpr char FMT_WORD[] = "\x1b[7m%s\x1b[m\n";

constexpr char INDEX_PATH[] = "frm/typegame/data.txt";
constexpr int kFilesLeft = 2;  // the exit status of a round that could not clean up
[[noreturn]] void give_up_round(const char* message) {
  release_room();
  std::perror(message);
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
  confine({.trees = {"frm/typegame", "user/score", "user/chat"},
           .devices = {kTerminalDevices},
           .programs = {"/bin/sh", "touch"}});
  if (argc < 5) {
    std::perror(MSG_NO_ARGS);
    return 1;
  }
  Round r;
  r.group = arg_number(argv[2]);
  r.room = arg_number(argv[3]);
  // The index is searched for the type as given; the room sees it, and the ledger gets
  // it, cut on a character boundary and with no byte that could steer a terminal or
  // start a ledger line of its own.
  std::snprintf(r.type.data(), r.type.size(), "%s", argv[4]);
  std::array<char, kTypeMax + 1> shown_type = r.type;
  shown_type[fit_text(shown_type.data(), kTypeMax)] = '\0';
  mask_controls(shown_type.data());

  name_round_files(r.room, r.group);

  // Claiming the room is one step, so two rounds can never both think they hold it. The
  // claim stays locked to the end, which tells a later round that this one is alive.
  catch_round_endings();
  const int claim = take_room();
  if (claim < 0) {
    if (errno == EEXIST) return 1;  // a round of this room and group is running
    std::perror(MSG_NO_ANSWER_FILE);
    return 1;
  }
  Fd answer{claim};
  // Finishers of an earlier round of this room and group must not be ranked in this one.
  remove_file(results_file());

  r.say("%s", TXT_TITLE);
  r.say(FMT_TYPE, shown_type.data());

  IndexLookup idx;
  if (File index = open_data_stream(INDEX_PATH)) find_word_type(index.get(), r.type.data(), idx);

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

  File list = open_data_stream(list_path.data());
  if (!list) give_up_round(MSG_NO_WORD_FILE);
  {
    // A list with no whole record would publish nothing anybody could type.
    std::int32_t strokes;
    std::array<char, kListWordMax + 1> word{};
    if (read_word_record(list.get(), &strokes, word.data(), word.size()) < 2) {
      errno = ENODATA;
      give_up_round(MSG_NO_WORD_FILE);
    }
    std::rewind(list.get());
  }

  RoundClock clock;
  count_down([&] { return clock.now(); }, [&](std::time_t seen) { clock.sleep_past(seen); },
             [&](const char* line) { r.say("%s", line); });

  std::srand(static_cast<unsigned>(std::time(nullptr)));
  int pick = static_cast<int>(random() % 3 + 1);
  std::int32_t strokes = 0;
  std::array<char, kListWordMax + 1> word{};
  pick_word(list.get(), pick, &strokes, word.data(), word.size());
  list.reset();
  // A word cut to its buffer never ends in half a Korean character.
  word[fit_text(word.data(), kListWordMax)] = '\0';

  // From here on the server accepts the word. The file stays open, and locked, to the end.
  // A word the file could not take whole is one nobody could type: no round then.
  if (!write_all(answer.fd, word.data())) give_up_round(MSG_NO_ANSWER_FILE);
  r.say(FMT_WORD, word.data());

  // Elapsed times count from the wall clock at the start of the wait, as the finish times
  // in the results file do; the wait itself is kept to its length whatever the clock does.
  const std::time_t wait_from = clock.now();
  const std::time_t start = wait_from + clock.shift();
  for (std::time_t now; limit - ((now = clock.now()) - wait_from) > 0;) clock.sleep_past(now);

  if (File results = open_data_stream(results_file())) {
    // The ranking covers the results file as it stands now that the time is up: what the
    // chat engine appends from here on came too late.
    struct stat st;
    long long left = fstat(fileno(results.get()), &st) == 0 ? st.st_size : 0;
    r.say("%s", TXT_RESULTS);
    std::time_t now = std::time(nullptr);
    std::tm when{};
    if (const std::tm* lt = std::localtime(&now)) when = *lt;
    int rank = 0;
    ResultLine fin;
    while (read_result(results.get(), fin, left)) {
      ++rank;
      int elapsed = elapsed_since(fin.finish, start);
      int speed = typing_speed(strokes, elapsed);
      jumsu_save(fin.user.data(), r.group, when, shown_type.data(), pick, elapsed, rank, speed);
      format_rank(r.msg, rank, elapsed, fin.user.data(), speed);
      chat_say(r.group, r.room, r.msg.data());
    }
  } else {
    r.say("%s", TXT_NO_RESULTS);
  }

  // A round whose files could not be removed says so by its status alone, as every failure
  // during a round is silent; its room is free again once the answer file counts as stale.
  return end_round_files() ? 0 : kFilesLeft;
}
