// typerace's reading of a room roster into its recipient table.
// Input: the group number (4 bytes, little-endian), then the roster file.
#include <array>
#include <cstring>
#include <string>

#include "fuzz_util.h"
#include "roster_check.h"
#include "round.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const std::int32_t group = fuzz::le32(data);
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
    if (fuzz::le32(rec) != group) continue;
    const std::string_view field(roster.data() + at + 31, kTtyFieldSize);
    const std::string_view name = fuzz::c_text(field);
    const TtySlot& slot = table[want++];
    FUZZ_CHECK(std::memchr(slot.data(), '\0', slot.size()));
    const std::string_view got(slot.data());
    // Taken whole when it is safe, skipped otherwise: never cut, never made up.
    FUZZ_CHECK(got == (fuzz::safe_name(name) ? name : std::string_view()));
    FUZZ_CHECK(got.empty() || fuzz::safe_name(got));
  }
  FUZZ_CHECK(count == want);
  return 0;
}
