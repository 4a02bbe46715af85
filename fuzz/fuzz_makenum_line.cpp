// makenum's reading of the build number from the first line of makenum.h.
// Input: the bytes of makenum.h.
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "fuzz_util.h"
#include "stamp.h"

namespace {

// The byte-20 rule, worked out on its own: the first line as one read takes it (at most
// 199 bytes, up to its line feed, as a C string), cut at 40 bytes, its double quotes
// deleted, then a decimal number from byte 20 on; beyond 32 bits it takes the nearest end.
int byte20_rule(std::string_view file) {
  const std::size_t feed = file.find('\n');
  const std::size_t end = feed == std::string_view::npos ? file.size() : feed + 1;
  std::string line(fuzz::c_text(file.substr(0, std::min(end, std::size_t{199}))));
  line.resize(std::min(line.size(), std::size_t{40}));
  std::erase(line, '"');
  if (line.size() <= 20) return 0;
  const long long v = std::strtoll(line.c_str() + 20, nullptr, 10);
  return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v);
}

int following(int n) { return n == INT_MAX ? INT_MIN : n + 1; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view file = fuzz::bytes(data, size);
  const int num = read_makenum(file);
  FUZZ_CHECK(num == (file.empty() ? 0 : following(byte20_rule(file))));

  // Whatever number comes out, the first line makenum writes for it reads back as it.
  std::array<char, 100> line;
  std::snprintf(line.data(), line.size(),
                "#define MAKENUM             \"%d\"                      \n", num);
  FUZZ_CHECK(parse_makenum_line(line.data()) == num);
  return 0;
}
