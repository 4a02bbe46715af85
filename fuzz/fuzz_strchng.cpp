// strchng and strchng2 over any pattern, replacement, text and area size.
// Input: one byte for the output area's size (3 bytes a step), one byte of slack for
// strchng2's buffer, then "<pattern>\n<replacement>\n<text>" (the text may hold line
// feeds and zero bytes).
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_util.h"
#include "strchng.h"

namespace {

struct Expected {
  std::string text;
  std::size_t count = 0;
};

// Leftmost, non-overlapping occurrences; an empty pattern matches nothing.
Expected substitute(std::string_view in, std::string_view pat, std::string_view rep) {
  Expected e;
  std::size_t pos = 0;
  if (!pat.empty()) {
    for (std::size_t at; (at = in.find(pat, pos)) != std::string_view::npos;
         pos = at + pat.size()) {
      e.text.append(in.substr(pos, at - pos)).append(rep);
      ++e.count;
    }
  }
  e.text.append(in.substr(pos));
  return e;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t area = data[0] * 3u;
  const std::size_t slack = data[1];
  std::string_view in = fuzz::bytes(data + 2, size - 2);
  const std::string pat(fuzz::c_text(fuzz::take_until(in, '\n')));
  const std::string rep(fuzz::c_text(fuzz::take_until(in, '\n')));
  const std::string_view text = in;
  const std::string_view input = fuzz::c_text(text);

  const Expected want = substitute(input, pat, rep);
  // The result grows by R - P for every occurrence replaced.
  FUZZ_CHECK(want.text.size() == input.size() + want.count * rep.size() - want.count * pat.size());

  {
    // An area of exactly its size on the heap, holding an older text, so that any write
    // outside it is caught.
    std::vector<char> out(area, 'o');
    const int flag = strchng(out, text, pat, rep);
    FUZZ_CHECK(flag == (want.count > 0 ? 1 : 0));
    if (area > 0) {
      const std::size_t kept = std::min(want.text.size(), area - 1);
      FUZZ_CHECK(std::memcmp(out.data(), want.text.data(), kept) == 0);
      FUZZ_CHECK(out[kept] == '\0');
    }
  }

  {
    std::vector<char> buf(text.begin(), text.end());
    buf.resize(text.size() + slack, '\0');
    const std::vector<char> before = buf;
    const int flag = strchng2(buf, pat, rep);
    // A text that holds no terminator ends at the end of its buffer.
    if (want.text.size() < STRCHNG2_SCRATCH && want.text.size() < buf.size()) {
      FUZZ_CHECK(flag == (want.count > 0 ? 1 : 0));
      FUZZ_CHECK(std::memcmp(buf.data(), want.text.data(), want.text.size()) == 0);
      FUZZ_CHECK(buf[want.text.size()] == '\0');
    } else {
      // Too long for the scratch area or the buffer: left exactly as it was.
      FUZZ_CHECK(flag == 0);
      FUZZ_CHECK(buf == before);
    }
  }
  return 0;
}
