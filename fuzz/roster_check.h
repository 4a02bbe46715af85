// What the roster targets expect of a roster, worked out apart from the code under test.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "roster.h"

namespace fuzz {

// A roster record's group number: 4 bytes, little-endian.
inline std::int32_t le32(const unsigned char* p) {
  return static_cast<std::int32_t>(
      static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
      static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24);
}

// A name that /dev/<name> cannot lead out of /dev with, and that fits a slot.
inline bool safe_name(std::string_view name) {
  return !name.empty() && name.size() <= kTtyNameMax &&
         ("/" + std::string(name) + "/").find("/../") == std::string::npos;
}

}  // namespace fuzz
