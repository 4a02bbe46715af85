// typerace's reading of a room roster into its recipient table.
// Input: the group number (4 bytes, little-endian), then the roster file.
#include <array>
#include <cstring>
#include <string>

#include "fuzz_util.h"
#include "round.h"

namespace {

std::int32_t le32(const unsigned char* p) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) |
                                   static_cast<std::uint32_t>(p[1]) << 8 |
                                   static_cast<std::uint32_t>(p[2]) << 16 |
                                   static_cast<std::uint32_t>(p[3]) << 24);
}

// A name that /dev/<name> cannot lead out of /dev with, and that fits a slot.
bool safe_name(std::string_view name) {
  return !name.empty() && name.size() <= kTtyNameMax &&
         ("/" + std::string(name) + "/").find("/../") == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const std::int32_t group = le32(data);
  const std::string_view roster = fuzz::bytes(data + 4, size - 4);

  fuzz::MemFile f(roster);
  std::array<TtySlot, kRecipientsMax> table;
  for (auto& slot : table) slot.fill('\x7f');  // whatever the table held before
  const std::size_t count = load_recipients(f.get(), group, table);

  // The group's records in roster order, whole records only, the first 100 of them.
  std::size_t want = 0;
  for (std::size_t at = 0; at + kRosterRecordSize <= roster.size() && want < kRecipientsMax;
       at += kRosterRecordSize) {
    const auto* rec = reinterpret_cast<const unsigned char*>(roster.data() + at);
    if (le32(rec) != group) continue;
    const std::string_view field(roster.data() + at + 31, kTtyFieldSize);
    const std::string_view name = fuzz::c_text(field);
    const TtySlot& slot = table[want++];
    FUZZ_CHECK(std::memchr(slot.data(), '\0', slot.size()));
    const std::string_view got(slot.data());
    // Taken whole when it is safe, skipped otherwise: never cut, never made up.
    FUZZ_CHECK(got == (safe_name(name) ? name : std::string_view()));
    FUZZ_CHECK(got.empty() || safe_name(got));
  }
  FUZZ_CHECK(count == want);
  return 0;
}
