// The word-type index lookup over any index file and any word type argument.
// Input: the word type (up to the first line feed), then the bytes of data.txt.
#include <array>
#include <cctype>
#include <cstring>

#include "fuzz_util.h"
#include "game_files.h"

namespace {

// Inputs on which "%99s %d %99s" is fully defined: no token longer than its buffer and
// no number beyond 32 bits. There the lookup must read exactly what fscanf reads.
bool scanf_defined(std::string_view s) {
  std::size_t token = 0, digits = 0;
  for (unsigned char c : s) {
    token = std::isspace(c) ? 0 : token + 1;
    digits = std::isdigit(c) ? digits + 1 : 0;
    if (token > kTypeMax || digits > 9) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view in = fuzz::bytes(data, size);
  // typerace copies its fourth argument into the 100-byte word type.
  const std::string_view arg = fuzz::c_text(fuzz::take_until(in, '\n'));
  std::array<char, kTypeMax + 1> key{};
  std::snprintf(key.data(), key.size(), "%.*s", static_cast<int>(arg.size()), arg.data());

  fuzz::MemFile index(in);
  IndexLookup rec;
  find_word_type(index.get(), key.data(), rec);

  FUZZ_CHECK(std::memchr(rec.type.data(), '\0', rec.type.size()));
  FUZZ_CHECK(std::memchr(rec.file.data(), '\0', rec.file.size()));
  // The lookup stops on the key's record or at the end of the index, nowhere else, so an
  // unknown key plays the last record.
  const bool found = std::strcmp(rec.type.data(), key.data()) == 0;
  FUZZ_CHECK(found || index.at_end());

  if (scanf_defined(in)) {
    fuzz::MemFile again(in);
    char type[kTypeMax + 1] = "", file[kFileNameMax + 1] = "";
    int limit = 0, records = 0;
    while (std::fscanf(again.get(), "%99s %d %99s", type, &limit, file) >= 1) {
      ++records;
      if (std::strcmp(type, key.data()) == 0) break;
    }
    FUZZ_CHECK(records == rec.records);
    FUZZ_CHECK(limit == rec.limit);
    FUZZ_CHECK(std::memcmp(type, rec.type.data(), sizeof type) == 0);
    FUZZ_CHECK(std::memcmp(file, rec.file.data(), sizeof file) == 0);
    FUZZ_CHECK(!rec.file_cut);
  }
  return 0;
}
