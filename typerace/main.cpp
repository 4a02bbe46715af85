// typerace: one whole round of the typing race for one chat room and group.
//   typerace <unused> <group> <room> <word type>
// Started by the server in its working directory; every path here is relative to it.

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "claim.h"
#include "cli.h"
#include "confine.h"
#include "data_file.h"
#include "game_files.h"
#include "handles.h"
#include "retry.h"
#include "round.h"
#include "round_args.h"
#include "round_clock.h"
#include "round_names.h"
#include "text_cut.h"
#include "usage.h"

namespace {

constexpr char MSG_NO_ANSWER_FILE[] =  // the file the question needs is missing
    "\xB9\xAE\xC1\xA6\xC7\xCA\xBF\xE4\xC6\xC4\xC0\xCF\xC0\xCC \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.";
constexpr char MSG_NO_WORD_FILE[] =  // there is no word file at present
    "\xC7\xF6\xC0\xE7 \xB4\xDC\xBE\xEE \xC6\xC4\xC0\xCF\xC0\xCC \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.!!!";
constexpr char TXT_TITLE[] = "##### \xBE\xDF\xC8\xA3\xB6\xFB \xC5\xB8\xC0\xDA\xB9\xE6 ^^ ##### ";
constexpr char FMT_TYPE[] = "\xC5\xB8\xC0\xDA\xC0\xAF\xC7\xFC : %s";
constexpr char FMT_WORD[] = "\x1b[7m%s\x1b[m\n";

// The records the word is picked from: `random() % kPicks + 1`, so one of the first three.
constexpr int kPicks = 3;
// The exit status of a round that could not clean up.
constexpr int kFilesLeft = 2;

[[noreturn]] void give_up_round(const char* message) {
  release_room();
  std::perror(message);
  std::exit(1);
}

struct Round {
  int group = 0;
  int room = 0;
  std::array<char, kTypeMax + 1> type{};        // as given, for the index
  std::array<char, kTypeMax + 1> shown_type{};  // as the room and the ledger get it
  std::array<char, kMessageSize> msg{};

  template <typename... Args>
  void say(const char* fmt, Args... args) {
    std::snprintf(msg.data(), msg.size(), fmt, args...);
    chat_say(group, room, msg.data());
  }
};

// The word list the round plays, and the time limit that comes with it.
struct WordList {
  File list;
  std::int32_t limit = 0;
};

struct Word {
  int pick = 0;
  std::int32_t strokes = 0;
  std::array<char, kListWordMax + 1> text{};
};

Round read_call(const RoundCall& call) {
  Round r;
  r.group = call.group;
  r.room = call.room;
  // The index is searched for the type as given; the room sees it, and the ledger gets
  // it, cut on a character boundary and with no byte that could steer a terminal or
  // start a ledger line of its own.
  std::snprintf(r.type.data(), r.type.size(), "%s", call.type);
  r.shown_type = r.type;
  r.shown_type[fit_text(r.shown_type.data(), kTypeMax)] = '\0';
  mask_controls(r.shown_type.data());
  return r;
}

// 1. Claiming the room is one step, so two rounds can never both think they hold it. The
// claim stays locked to the end, which tells a later round that this one is alive.
Fd claim(const Round& r) {
  name_round_files(r.room, r.group);
  catch_round_endings();
  const int fd = take_room();
  if (fd < 0) {
    if (errno != EEXIST) std::perror(MSG_NO_ANSWER_FILE);
    std::exit(1);  // busy: a round of this room and group is running, and says nothing
  }
  // Finishers of an earlier round of this room and group must not be ranked in this one.
  remove_file(results_file());
  return Fd{fd};
}

// 2.
void announce_title(Round& r) {
  r.say("%s", TXT_TITLE);
  r.say(FMT_TYPE, r.shown_type.data());
}

// 3. The list the index names for the type, or with no such record one of the fallback
// lists, which bring no time limit of their own.
std::array<char, kPathSize> word_list_path(const Round& r, std::int32_t& limit) {
  IndexLookup idx;
  if (File index = open_data_stream(INDEX_PATH)) find_word_type(index.get(), r.type.data(), idx);
  std::array<char, kPathSize> path{};
  limit = idx.limit;
  if (idx.file[0] == '\0') {
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    std::array<char, 32> fallback;
    fallback_list_path(static_cast<int>(random() % kFallbackLists + 1), fallback);
    std::snprintf(path.data(), path.size(), "%s", fallback.data());
    limit = kFallbackLimit;
  } else if (idx.file_cut || list_path(idx.file.data(), path.data(), path.size()) >=
                                 static_cast<int>(path.size())) {
    errno = ENAMETOOLONG;
    give_up_round(MSG_NO_WORD_FILE);
  }
  return path;
}

// A list with no whole record would publish nothing anybody could type.
WordList open_word_list(const Round& r) {
  WordList w;
  w.list = open_data_stream(word_list_path(r, w.limit).data());
  if (!w.list) give_up_round(MSG_NO_WORD_FILE);
  std::int32_t strokes;
  std::array<char, kListWordMax + 1> word{};
  if (read_word_record(w.list.get(), &strokes, word.data(), word.size()) < 2) {
    errno = ENODATA;
    give_up_round(MSG_NO_WORD_FILE);
  }
  std::rewind(w.list.get());
  return w;
}

// 4.
void count_down_on(Round& r, RoundClock& clock) {
  count_down([&] { return clock.now(); },
             [&](std::time_t seen) {
               clock.sleep_past(seen, [&] { prepare_announcement(r.group, r.room); });
             },
             [&](const char* line) { r.say("%s", line); });
}

// 5. A word cut to its buffer never ends in half a Korean character.
Word pick(WordList& w) {
  Word word;
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  word.pick = static_cast<int>(random() % kPicks + 1);
  pick_word(w.list.get(), word.pick, &word.strokes, word.text.data(), word.text.size());
  w.list.reset();
  word.text[fit_text(word.text.data(), kListWordMax)] = '\0';
  return word;
}

// 6. From here on the server accepts the word. The file stays open, and locked, to the
// end. A word the file could not take whole is one nobody could type: no round then. It
// goes in once time() has caught up with the countdown's last second, so no finish the
// server stamps can come before the wait began.
void publish(Round& r, RoundClock& clock, const Fd& answer, const Word& word) {
  clock.settle();
  if (!write_all(answer.fd, word.text.data())) give_up_round(MSG_NO_ANSWER_FILE);
  r.say(FMT_WORD, word.text.data());
}

// 7. Elapsed times count from the wall clock at the start of the wait, as the finish
// times in the results file do; the wait itself is kept to its length whatever the clock
// does. Returns that start.
std::time_t wait_out(RoundClock& clock, std::int32_t limit) {
  const std::time_t wait_from = clock.now();
  const std::time_t start = wait_from + clock.shift();
  for (std::time_t now; limit - ((now = clock.now()) - wait_from) > 0;) clock.sleep_past(now);
  return start;
}

// 8. The ranking covers the results file as it stands now that the time is up: what the
// chat engine appends from here on came too late.
void rank(Round& r, std::time_t start, const Word& word) {
  File results = open_data_stream(results_file());
  if (!results) {
    r.say("%s", TXT_NO_RESULTS);
    return;
  }
  struct stat st;
  long long left = fstat(fileno(results.get()), &st) == 0 ? st.st_size : 0;
  r.say("%s", TXT_RESULTS);
  std::time_t now = std::time(nullptr);
  std::tm when{};
  if (const std::tm* lt = std::localtime(&now)) when = *lt;
  int place = 0;
  ResultLine fin;
  while (read_result(results.get(), fin, left)) {
    ++place;
    int elapsed = elapsed_since(fin.finish, start);
    int speed = typing_speed(word.strokes, elapsed);
    jumsu_save(fin.user.data(), r.group, when, r.shown_type.data(), word.pick, elapsed, place,
               speed);
    format_rank(r.msg, place, elapsed, fin.user.data(), speed);
    chat_say(r.group, r.room, r.msg.data());
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (answer_help_or_version(argc, argv, "typerace", TYPERACE_USAGE)) return 0;
  confine({.trees = {"frm/typegame", "user/score", "user/chat"},
           .devices = {kTerminalDevices},
           .programs = {"/bin/sh", "touch"}});
  RoundCall call;
  if (!read_round_call(argc, argv, call)) return 1;
  Round r = read_call(call);

  const Fd answer = claim(r);                             // 1. claim the room
  announce_title(r);                                      // 2. the title and the word type
  WordList list = open_word_list(r);                      // 3. the word list
  RoundClock clock;                                       //
  count_down_on(r, clock);                                // 4. the countdown
  const Word word = pick(list);                           // 5. pick the word
  publish(r, clock, answer, word);                        // 6. publish it
  const std::time_t start = wait_out(clock, list.limit);  // 7. wait out the limit
  rank(r, start, word);                                   // 8. rank the finishers
  // 9. Clean up. A round whose files could not be removed says so by its status alone, as
  // every failure during a round is silent; its room is free again once the answer file
  // counts as stale.
  return end_round_files() ? 0 : kFilesLeft;
}
