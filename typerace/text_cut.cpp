#include "text_cut.h"

std::size_t fit_text(std::string_view text, std::size_t max) {
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t step = static_cast<unsigned char>(text[i]) >= 0x80 ? 2 : 1;
    if (i + step > max) break;
    i += step;
  }
  return i < text.size() ? i : text.size();
}

void mask_controls(char* text) {
  for (; *text != '\0'; ++text) {
    const auto c = static_cast<unsigned char>(*text);
    if (c < 0x20 || c == 0x7F) *text = '?';
  }
}
