// The server's chat-room roster: user/chat/rm_NN.all, a plain sequence of 52-byte
// records, one per user present, each naming the user's group and terminal.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

inline constexpr std::size_t kRosterRecordSize = 52;
inline constexpr std::size_t kTtyFieldSize = 21;
inline constexpr std::size_t kTtyNameMax = 8;  // what a recipient slot holds
inline constexpr std::size_t kRecipientsMax = 100;

struct RoomRosterRecord {
  std::int32_t group;                   // offset 0, little-endian on disk
  std::array<char, 27> other;           // offset 4, the server's own; not ours to read
  std::array<char, kTtyFieldSize> tty;  // offset 31, NUL-terminated device name
};

// Path of the roster file in use; set_roomfile writes it.
extern std::array<char, 200> ROOM_ALL;

void set_roomfile(int room);

// Reads the next whole record; false at the end or on a trailing partial record.
bool read_roster_record(std::FILE* f, RoomRosterRecord& rec);

// The terminal name of a record: the bytes before the first NUL of its field.
std::string_view roster_tty(const RoomRosterRecord& rec);

// A recipient slot: one terminal name of at most 8 bytes, empty when free.
using TtySlot = std::array<char, kTtyNameMax + 1>;

// A name that may be written to as /dev/<name>: 1 to 8 bytes, no NUL, and no ".."
// component that could lead out of /dev.
bool tty_name_ok(std::string_view name);

// Copies name into slot when it is fit to be written to; otherwise the slot stays empty.
// A name that does not fit is never cut into some other terminal's name.
void fill_slot(TtySlot& slot, std::string_view name);
