#include "broadcast.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "data_file.h"
#include "handles.h"
#include "round_clock.h"
#include "text_cut.h"
#include "tty.h"

std::array<TtySlot, kRecipientsMax> usertty{};
std::int32_t room_sec = 0;

namespace {

constexpr char kFrameHead[] = "\x1b[s\x1b[21;1H\n              ";
constexpr char kFrameTail[] = "\x1b[u";

// A look at the roster serves the next announcement if that comes within this time: well
// past the lead and a late wake-up, well short of a second.
constexpr long long kPreparedForNs = 200'000'000;
// When prepare_broadcast last looked; 0 when the look has been used.
long long prepared_at_ns = 0;

}  // namespace

std::int32_t file_time(const char* path) {
  struct stat st;
  if (stat(path, &st) != 0) return 0;
  // Only ever compared for a change, so wrapping past 2038 does no harm.
  return static_cast<std::int32_t>(st.st_mtime);
}

void del_space(char* text) {
  char* out = text;
  for (const char* in = text; *in != '\0'; ++in)
    if (*in != ' ' && *in != '\r' && *in != '\n') *out++ = *in;
  *out = '\0';
}

void chat_say2(const char* tty, const char* text) {
  if (tty[0] == '\0') return;
  constexpr std::size_t room = kFramedSize - 1 - (sizeof kFrameHead - 1) - (sizeof kFrameTail - 1);
  std::size_t len = fit_text(text, room);
  std::array<char, kFramedSize> framed;
  std::snprintf(framed.data(), framed.size(), "%s%.*s%s", kFrameHead, static_cast<int>(len), text,
                kFrameTail);
  to_tty2(tty, framed.data());
}

int read_tty(int group, int room) {
  set_roomfile(room);
  for (TtySlot& slot : usertty) slot.fill('\0');

  File f = open_data_stream(ROOM_ALL.data());
  if (!f) return 0;
  std::size_t taken = 0;
  RoomRosterRecord rec;
  while (taken < usertty.size() && read_roster_record(f.get(), rec)) {
    std::string_view field = roster_tty(rec);
    if (field.empty() || rec.group != group) continue;
    // Cleaned first, so "ttyp1" with the server's trailing blanks or CR LF still fits.
    std::array<char, kTtyFieldSize + 1> name{};
    std::memcpy(name.data(), field.data(), field.size());
    del_space(name.data());
    fill_slot(usertty[taken++], name.data());
  }
  return static_cast<int>(taken);
}

void prepare_broadcast(int group, int room) {
  if (file_time(ROOM_ALL.data()) != room_sec) {
    room_sec = file_time(ROOM_ALL.data());
    read_tty(group, room);
  }
  prepared_at_ns = monotonic_ns();
}

void chat_say(int group, int room, const char* text) {
  if (prepared_at_ns == 0 || monotonic_ns() - prepared_at_ns > kPreparedForNs)
    prepare_broadcast(group, room);
  prepared_at_ns = 0;  // each look serves one line
  for (const TtySlot& slot : usertty)
    if (slot[0] != '\0') chat_say2(slot.data(), text);
}
