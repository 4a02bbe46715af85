#include "euckr_text.h"

#include <array>
#include <cerrno>

std::string printable_euckr(std::string_view raw) {
  std::string s;
  s.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const auto b = static_cast<unsigned char>(raw[i]);
    if (is_euckr_pair_byte(b) && i + 1 < raw.size() &&
        is_euckr_pair_byte(static_cast<unsigned char>(raw[i + 1]))) {
      s += raw.substr(i++, 2);
    } else {
      s += b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '?';
    }
  }
  return s;
}

void to_utf8(iconv_t cd, std::string_view in, std::string& out) {
  out.clear();
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  // iconv takes its input through a pointer to non-const; it only reads it.
  char* ip = const_cast<char*>(in.data());
  std::size_t il = in.size();
  std::array<char, 1024> chunk;
  while (il > 0) {
    char* op = chunk.data();
    std::size_t ol = chunk.size();
    const std::size_t r = iconv(cd, &ip, &il, &op, &ol);
    out.append(chunk.data(), static_cast<std::size_t>(op - chunk.data()));
    if (r != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
    const bool pair = il >= 2 && is_euckr_pair_byte(static_cast<unsigned char>(ip[0])) &&
                      is_euckr_pair_byte(static_cast<unsigned char>(ip[1]));
    const std::size_t skip = pair ? 2 : 1;
    out.append(skip, '?');
    ip += skip;
    il -= skip;
  }
}
