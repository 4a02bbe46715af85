// Text from outside made safe to show: cut to a length without splitting an EUC-KR
// character, and with no byte that could steer a terminal or start a line of its own.
#pragma once

#include <cstddef>
#include <string_view>

// The length of the longest head of text, at most max bytes, that does not end inside
// a two-byte EUC-KR character.
std::size_t fit_text(std::string_view text, std::size_t max);

// Replaces every control byte (below 0x20, and 0x7F) of the NUL-terminated text by '?',
// so that text from outside can neither move a terminal's cursor nor start a line of its
// own in a file. Bytes from 0x80 up, EUC-KR, stay.
void mask_controls(char* text);
