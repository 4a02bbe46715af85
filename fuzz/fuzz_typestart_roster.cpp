// typestart's loading of its terminal table from a room roster (read_tty), with the
// cleaning of names (del_space).
// Input: the group number (4 bytes, little-endian), then the roster file.
#include <cstring>
#include <string>
#include <vector>

#include "broadcast.h"
#include "fuzz_util.h"
#include "roster_check.h"

namespace {

constexpr int kRoom = 1;
constexpr char kRosterPath[] = "user/chat/rm_01.all";

std::string cleaned(std::string_view s) {
  std::string out;
  for (char c : s)
    if (c != ' ' && c != '\r' && c != '\n') out += c;
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // read_tty opens the roster by its path under the working directory.
  fuzz::enter_scratch_dir({"user", "user/chat"});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // del_space over any text, in a buffer of exactly its size.
  {
    const std::string_view text = fuzz::c_text(fuzz::bytes(data, size));
    std::vector<char> buf(text.begin(), text.end());
    buf.push_back('\0');
    del_space(buf.data());
    FUZZ_CHECK(std::string_view(buf.data()) == cleaned(text));
  }

  if (size < 4) return 0;
  const std::int32_t group = fuzz::le32(data);
  const std::string_view roster = fuzz::bytes(data + 4, size - 4);
  std::FILE* f = std::fopen(kRosterPath, "wb");
  if (!f || std::fwrite(roster.data(), 1, roster.size(), f) != roster.size() || std::fclose(f) != 0)
    std::abort();

  for (auto& slot : usertty) slot.fill('\x7f');  // what an earlier load left
  const int taken = read_tty(group, kRoom);
  FUZZ_CHECK(std::strcmp(ROOM_ALL.data(), kRosterPath) == 0);

  // The group's records with a name, in roster order, whole records only, at most 100.
  std::size_t want = 0;
  for (std::size_t at = 0; at + kRosterRecordSize <= roster.size() && want < kRecipientsMax;
       at += kRosterRecordSize) {
    const auto* rec = reinterpret_cast<const unsigned char*>(roster.data() + at);
    const std::string_view name =
        fuzz::c_text(std::string_view(roster.data() + at + 31, kTtyFieldSize));
    if (fuzz::le32(rec) != group || name.empty()) continue;
    const TtySlot& slot = usertty[want++];
    FUZZ_CHECK(std::memchr(slot.data(), '\0', slot.size()));
    const std::string_view got(slot.data());
    // Cleaned before it is judged; taken whole when safe, the slot left empty otherwise.
    const std::string clean = cleaned(name);
    FUZZ_CHECK(got == (fuzz::safe_name(clean) ? std::string_view(clean) : std::string_view()));
  }
  FUZZ_CHECK(taken >= 0 && static_cast<std::size_t>(taken) == want);
  for (std::size_t i = want; i < usertty.size(); ++i) FUZZ_CHECK(usertty[i][0] == '\0');
  return 0;
}
