#include "starter.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "broadcast.h"
#include "data_file.h"
#include "game_files.h"
#include "handles.h"
#include "replace_file.h"
#include "round_clock.h"
#include "round_names.h"
#include "text_cut.h"

std::int32_t ftime = 0;

namespace {

constexpr std::size_t kBufSize = 200;  // paths and the word

[[noreturn]] void give_up(const char* message, int err) {
  errno = err;
  std::perror(message);
  std::exit(1);
}

}  // namespace

void print_title(int group, int room) {
  chat_say(group, room, TXT_TITLE);
  RoundClock clock;
  count_down(
      [&] { return clock.now(); },
      [&](std::time_t seen) { clock.sleep_past(seen, [&] { prepare_broadcast(group, room); }); },
      [&](const char* line) { chat_say(group, room, line); });
}

int pick_number() { return std::rand() % kStarterPicks; }

void print_taja(int group, int room, const char* type, std::int32_t& strokes) {
  RoundPath answer;
  answer_path(room, group, answer);

  IndexLookup idx;
  {
    File index = open_data_stream(INDEX_PATH);
    if (!index) give_up(MSG_NO_MENU, errno);
    find_word_type(index.get(), type, idx);
  }
  ftime = idx.limit;
  // An index with no record, or none that named a file, leaves nothing to play.
  if (idx.records == 0 || idx.file[0] == '\0') give_up(MSG_NO_MENU, ENODATA);
  if (idx.file_cut) give_up(MSG_NO_WORD_FILE, ENAMETOOLONG);

  std::array<char, kBufSize> list_name;
  list_path(idx.file.data(), list_name.data(), list_name.size());
  std::array<char, kBufSize> word{};
  int counted = 0;
  int read_error = 0;
  {
    File list = open_data_stream(list_name.data());
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

  // Replaced whole, so the server's chat engine never sees an empty or half-written answer.
  if (int err = replace_file(answer.data(), word.data(), creation_mode(), false))
    give_up(MSG_NO_ANSWER_FILE, err);
}
