// typestart's framing of an announcement (chat_say2), delivered to a real terminal.
// Input: the text (up to its first NUL).
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
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

// What has arrived at the terminal once `want` bytes are there, or a second has gone by
// with fewer: the terminal hands on a write a moment after the write returns.
std::string arrived(std::size_t want) {
  std::string got;
  std::array<char, 1024> buf;
  for (int waited = 0;; waited += 10) {
    ssize_t n;
    while ((n = read(master, buf.data(), buf.size())) > 0) got.append(buf.data(), n);
    if (got.size() >= want || waited >= 1000) return got;
    pollfd p{master, POLLIN, 0};
    poll(&p, 1, 10);
  }
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

  // The longest head of the text that fits the 300-byte buffer with its frame and does
  // not end inside a Korean character (a byte of 0x80 and above starts one of two bytes).
  constexpr std::size_t room = kFramedSize - 1 - kHead.size() - kTail.size();  // 271
  std::size_t len = 0;
  while (len < text.size()) {
    const std::size_t next = len + (static_cast<unsigned char>(text[len]) >= 0x80 ? 2 : 1);
    if (next > room) break;
    len = next;
  }
  len = std::min(len, text.size());
  const std::string want = std::string(kHead) + text.substr(0, len) + std::string(kTail);
  FUZZ_CHECK(want.size() < kFramedSize);

  // One framed text, whole, and nothing else. The terminal write is non-blocking and
  // never retried, so on a busy machine a write now and then finds no room and is dropped
  // (seen: nothing arrived, about once in three million); chat_say2 frames the same text
  // the same way every time, so only a text that comes out wrong twice is a finding.
  for (int attempt = 1;; ++attempt) {
    chat_say2("", text.c_str());  // a free slot receives nothing
    chat_say2(slave_name.c_str(), text.c_str());
    const std::string got = arrived(want.size());
    if (got == want) return 0;
    std::fprintf(stderr, "attempt %d: %zu bytes arrived, %zu expected\n", attempt, got.size(),
                 want.size());
    FUZZ_CHECK(attempt < 2);
    arrived(SIZE_MAX);  // let whatever else is on its way arrive, and drop it
  }
}
