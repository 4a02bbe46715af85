// The word list pick over any list file, with the word buffers of both round programs.
// Input: one byte that chooses the pick number (0 to 3), then the bytes of the list.
// typerace picks 1 to 3 into 177 bytes; typestart picks rand() % 3 into 200 bytes, where
// 0 never meets the count and plays the last record.
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_util.h"
#include "game_files.h"

namespace {

// Inputs on which "%d %<width>s" is fully defined: no token longer than the word buffer,
// no number beyond 32 bits. There the pick must read exactly what fscanf reads.
bool scanf_defined(std::string_view s, std::size_t width) {
  std::size_t token = 0, digits = 0;
  for (unsigned char c : s) {
    token = std::isspace(c) ? 0 : token + 1;
    digits = std::isdigit(c) ? digits + 1 : 0;
    if (token > width || digits > 9) return false;
  }
  return true;
}

void check_pick(std::string_view in, int n, std::size_t cap) {
  fuzz::MemFile list(in);
  std::int32_t strokes = 0;
  std::vector<char> word(cap, '\0');  // exactly the buffer's size, on the heap
  // As typerace does: the list must hold a whole record, then the pick starts over.
  const bool whole = read_word_record(list.get(), &strokes, word.data(), word.size()) == 2;
  std::rewind(list.get());
  strokes = 0;
  std::fill(word.begin(), word.end(), '\0');
  const int count = pick_word(list.get(), n, &strokes, word.data(), word.size());

  FUZZ_CHECK(std::memchr(word.data(), '\0', word.size()));
  FUZZ_CHECK(count >= 0 && (n == 0 || count <= n));
  if (whole) FUZZ_CHECK(count >= 1);

  if (scanf_defined(in, cap - 1)) {
    fuzz::MemFile again(in);
    const std::string format = "%d %" + std::to_string(cap - 1) + "s";
    std::vector<char> want(cap, '\0');
    int want_strokes = 0, want_count = 0;
    while (std::fscanf(again.get(), format.c_str(), &want_strokes, want.data()) >= 1)
      if (++want_count == n) break;
    FUZZ_CHECK(want_count == count);
    FUZZ_CHECK(want_strokes == strokes);
    FUZZ_CHECK(want == word);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const int n = data[0] % 4;
  const std::string_view in = fuzz::bytes(data + 1, size - 1);
  if (n > 0) check_pick(in, n, 177);  // typerace: a word of 176 bytes fits its announcement
  if (n < 3) check_pick(in, n, 200);  // typestart
  return 0;
}
