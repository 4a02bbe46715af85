#include "strchng.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

std::string_view until_zero(std::string_view s) {
  const auto z = s.find('\0');
  return z == std::string_view::npos ? s : s.substr(0, z);
}

struct Substitution {
  int flag;
  std::size_t length;  // of the whole result, whether or not all of it was written
};

// The single scan shared by both operations. Bytes beyond the output area are counted
// but not written, so the callers can tell a cut result from a whole one.
Substitution substitute(std::span<char> out, std::string_view in, std::string_view pat,
                        std::string_view rep) {
  in = until_zero(in);
  const std::size_t room = out.empty() ? 0 : out.size() - 1;
  std::size_t o = 0;
  int flag = 0;
  auto put = [&](std::string_view bytes) {
    if (o < room) std::memcpy(out.data() + o, bytes.data(), std::min(bytes.size(), room - o));
    o += bytes.size();
  };
  for (std::size_t i = 0; i < in.size();) {
    if (!pat.empty() && in[i] == pat[0] && in.substr(i).starts_with(pat)) {
      flag = 1;
      put(rep);
      i += pat.size();
    } else {
      put(in.substr(i, 1));
      ++i;
    }
  }
  if (!out.empty()) out[std::min(o, room)] = '\0';
  return {flag, o};
}

}  // namespace

int strchng(std::span<char> out, std::string_view in, std::string_view pat, std::string_view rep) {
  // Whatever text the area held before goes, so no tail of it can show behind a
  // shorter result.
  for (char& c : out) {
    if (c == '\0') break;
    c = '\0';
  }
  return substitute(out, in, pat, rep).flag;
}

int strchng2(std::span<char> text, std::string_view pat, std::string_view rep) {
  std::array<char, STRCHNG2_SCRATCH> scratch{};
  const auto r = substitute(scratch, std::string_view(text.data(), text.size()), pat, rep);
  if (r.length >= scratch.size() || r.length >= text.size()) return 0;
  std::memcpy(text.data(), scratch.data(), r.length + 1);
  return r.flag;
}
