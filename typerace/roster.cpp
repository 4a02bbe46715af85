#include "roster.h"

#include <cstring>

#include "round_names.h"

std::array<char, 200> ROOM_ALL{};

void set_roomfile(int room) { roster_path(room, ROOM_ALL); }

bool read_roster_record(std::FILE* f, RoomRosterRecord& rec) {
  unsigned char raw[kRosterRecordSize];
  if (std::fread(raw, 1, sizeof raw, f) != sizeof raw) return false;
  std::uint32_t g = static_cast<std::uint32_t>(raw[0]) | static_cast<std::uint32_t>(raw[1]) << 8 |
                    static_cast<std::uint32_t>(raw[2]) << 16 |
                    static_cast<std::uint32_t>(raw[3]) << 24;
  rec.group = static_cast<std::int32_t>(g);
  std::memcpy(rec.other.data(), raw + 4, rec.other.size());
  std::memcpy(rec.tty.data(), raw + 31, rec.tty.size());
  return true;
}

std::string_view roster_tty(const RoomRosterRecord& rec) {
  return {rec.tty.data(), strnlen(rec.tty.data(), rec.tty.size())};
}

bool tty_name_ok(std::string_view name) {
  if (name.empty() || name.size() > kTtyNameMax) return false;
  if (name.find('\0') != std::string_view::npos) return false;
  std::size_t start = 0;
  for (;;) {
    std::size_t slash = name.find('/', start);
    std::string_view part =
        name.substr(start, slash == std::string_view::npos ? slash : slash - start);
    if (part == "..") return false;
    if (slash == std::string_view::npos) return true;
    start = slash + 1;
  }
}

void fill_slot(TtySlot& slot, std::string_view name) {
  slot.fill('\0');
  if (!tty_name_ok(name)) return;
  std::memcpy(slot.data(), name.data(), name.size());
}
