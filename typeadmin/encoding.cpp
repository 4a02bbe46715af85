#include "encoding.h"

#include <array>

#include "euckr_text.h"

namespace {

const iconv_t kNoIconv = reinterpret_cast<iconv_t>(-1);

bool is_continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// All of `in` through `cd` into `out`; false when iconv refuses any of it.
bool convert_all(iconv_t cd, std::string_view in, std::string& out) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* ip = const_cast<char*>(in.data());  // iconv only reads it
  std::size_t il = in.size();
  std::array<char, 16> buf;
  char* op = buf.data();
  std::size_t ol = buf.size();
  if (iconv(cd, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1) || il != 0) return false;
  if (iconv(cd, nullptr, nullptr, &op, &ol) == static_cast<std::size_t>(-1)) return false;
  out.append(buf.data(), static_cast<std::size_t>(op - buf.data()));
  return true;
}

}  // namespace

std::size_t decode_utf8(std::string_view in, std::u32string& out) {
  for (std::size_t i = 0; i < in.size();) {
    const auto b = static_cast<unsigned char>(in[i]);
    std::size_t len;
    char32_t c, least;
    if (b < 0x80) {
      len = 1, c = b, least = 0;
    } else if ((b & 0xE0) == 0xC0) {
      len = 2, c = b & 0x1F, least = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      len = 3, c = b & 0x0F, least = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      len = 4, c = b & 0x07, least = 0x10000;
    } else {
      return i;
    }
    if (in.size() - i < len) return i;
    for (std::size_t k = 1; k < len; ++k) {
      const auto cb = static_cast<unsigned char>(in[i + k]);
      if (!is_continuation(cb)) return i;
      c = c << 6 | (cb & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return i;
    out += c;
    i += len;
  }
  return std::string_view::npos;
}

void encode_utf8(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
    return;
  }
  const int len = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
  static constexpr unsigned char kLead[] = {0, 0, 0xC0, 0xE0, 0xF0};
  out += static_cast<char>(kLead[len] | (c >> (6 * (len - 1))));
  for (int k = len - 2; k >= 0; --k) out += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
}

EucKr::EucKr()
    : to_euckr_(iconv_open("EUC-KR", "UTF-8")), from_euckr_(iconv_open("UTF-8", "EUC-KR")) {}

EucKr::~EucKr() {
  if (to_euckr_ != kNoIconv) iconv_close(to_euckr_);
  if (from_euckr_ != kNoIconv) iconv_close(from_euckr_);
}

bool EucKr::ready() const { return to_euckr_ != kNoIconv && from_euckr_ != kNoIconv; }

bool EucKr::encode(char32_t c, std::string& out) {
  // ASCII is the same in both; controls are the caller's to judge.
  if (c < 0x80) {
    out += static_cast<char>(c);
    return true;
  }
  scratch_.clear();
  encode_utf8(c, scratch_);
  return ready() && convert_all(to_euckr_, scratch_, out);
}

EucKrFault EucKr::decode(std::string_view text, std::u32string& chars, std::size_t& at) {
  for (std::size_t i = 0; i < text.size();) {
    at = i;
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      if (b < 0x20 || b == 0x7F) return EucKrFault::control;
      chars += b;
      ++i;
      continue;
    }
    if (!is_euckr_pair_byte(b)) return EucKrFault::stray_byte;
    if (i + 1 == text.size() || !is_euckr_pair_byte(static_cast<unsigned char>(text[i + 1])))
      return EucKrFault::lone_lead;
    scratch_.clear();
    std::u32string one;
    if (!ready() || !convert_all(from_euckr_, text.substr(i, 2), scratch_) ||
        decode_utf8(scratch_, one) != std::string_view::npos || one.size() != 1)
      return EucKrFault::unassigned;
    chars += one;
    i += 2;
  }
  return EucKrFault::none;
}
