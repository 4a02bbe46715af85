// The frame of a room announcement around any text, and the EUC-KR-aware cut.
// Input: the text (up to its first NUL); the last byte also serves as a cut limit.
#include <array>
#include <cstring>
#include <string>

#include "fuzz_util.h"
#include "round.h"
#include "text_cut.h"

namespace {

constexpr std::string_view kHead = "\x1b[s\x1b[21;1H\n\t";
constexpr std::string_view kTail = "\x1b[u";

// True when `len` bytes of text end on a character boundary: a byte of 0x80 and above
// starts a two-byte character.
bool on_boundary(std::string_view text, std::size_t len) {
  std::size_t i = 0;
  while (i < len) i += static_cast<unsigned char>(text[i]) >= 0x80 ? 2 : 1;
  return i == len;
}

// The cut keeps as much of the text as fits, ends on a boundary and is the longest such.
void check_cut(std::string_view text, std::size_t max, std::size_t len) {
  FUZZ_CHECK(len <= text.size() && len <= max);
  if (len == text.size()) return;
  FUZZ_CHECK(on_boundary(text, len));
  const std::size_t next = len + (static_cast<unsigned char>(text[len]) >= 0x80 ? 2 : 1);
  FUZZ_CHECK(next > max);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(fuzz::c_text(fuzz::bytes(data, size)));

  std::array<char, kMessageSize> out;
  out.fill('\x7f');
  frame_announcement(text.c_str(), out);
  FUZZ_CHECK(std::memchr(out.data(), '\0', out.size()));
  const std::string_view framed(out.data());
  FUZZ_CHECK(framed.size() < kMessageSize);
  FUZZ_CHECK(framed.starts_with(kHead) && framed.ends_with(kTail));
  FUZZ_CHECK(framed.size() >= kHead.size() + kTail.size());
  const std::string_view body =
      framed.substr(kHead.size(), framed.size() - kHead.size() - kTail.size());
  FUZZ_CHECK(std::string_view(text).starts_with(body));
  constexpr std::size_t room = kMessageSize - 1 - kHead.size() - kTail.size();  // 184
  check_cut(text, room, body.size());

  const std::size_t max = size > 0 ? data[size - 1] : 0;
  check_cut(text, max, fit_text(text, max));
  return 0;
}
