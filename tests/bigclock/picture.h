// Expected rows are written as pictures: '.' is a space byte, "##" is one square (A1 E1).
#pragma once

#include <string>
#include <string_view>

inline std::string picture(std::string_view pic) {
  std::string bytes;
  for (std::size_t i = 0; i < pic.size(); ++i) {
    if (pic[i] == '#') {
      bytes += "\xA1\xE1";
      ++i;
    } else {
      bytes += ' ';
    }
  }
  return bytes;
}
