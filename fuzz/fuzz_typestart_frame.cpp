// typestart's framing of an announcement (chat_say2), delivered to a real terminal.
// Input: the text (up to its first NUL).
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <string>

#include "broadcast.h"
#include "fuzz_util.h"

namespace {

constexpr std::string_view kHead = "\x1b[s\x1b[21;1H\n              ";
constexpr std::string_view kTail = "\x1b[u";

int master = -1;
std::string slave_name;  // as a roster names it, like "pts/3"

std::string drain() {
  std::string got;
  std::array<char, 1024> buf;
  ssize_t n;
  while ((n = read(master, buf.data(), buf.size())) > 0) got.append(buf.data(), n);
  return got;
}

bool on_boundary(std::string_view text, std::size_t len) {
  std::size_t i = 0;
  while (i < len) i += static_cast<unsigned char>(text[i]) >= 0x80 ? 2 : 1;
  return i == len;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) std::abort();
  const char* path = ptsname(master);
  if (!path || std::strncmp(path, "/dev/", 5) != 0) std::abort();
  slave_name = path + 5;
  if (slave_name.size() > kTtyNameMax) std::abort();
  // Raw, so the bytes arrive as written; held open so the terminal stays set up.
  const int slave = open(path, O_RDWR | O_NOCTTY);
  termios t;
  if (slave < 0 || tcgetattr(slave, &t) != 0) std::abort();
  cfmakeraw(&t);
  if (tcsetattr(slave, TCSANOW, &t) != 0) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(fuzz::c_text(fuzz::bytes(data, size)));

  chat_say2("", text.c_str());  // a free slot receives nothing
  chat_say2(slave_name.c_str(), text.c_str());
  const std::string got = drain();

  // One write of one framed text that fits the 300-byte buffer.
  FUZZ_CHECK(got.size() < kFramedSize);
  FUZZ_CHECK(got.starts_with(kHead) && got.ends_with(kTail));
  FUZZ_CHECK(got.size() >= kHead.size() + kTail.size());
  const std::string_view body = std::string_view(got).substr(kHead.size(), got.size() - kHead.size() - kTail.size());
  FUZZ_CHECK(std::string_view(text).starts_with(body));
  constexpr std::size_t room = kFramedSize - 1 - kHead.size() - kTail.size();  // 271
  if (body.size() < text.size()) {
    FUZZ_CHECK(body.size() <= room && on_boundary(text, body.size()));
    FUZZ_CHECK(body.size() + (static_cast<unsigned char>(text[body.size()]) >= 0x80 ? 2 : 1) > room);
  }
  return 0;
}
