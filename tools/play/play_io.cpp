#include "play_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cwchar>

namespace play {

Recoder::Recoder(const char* from, const char* to) {
  if (std::strcmp(from, to) != 0) cd_ = iconv_open(to, from);
}

Recoder::~Recoder() {
  if (converts()) iconv_close(cd_);
}

std::string Recoder::feed(std::string_view bytes) {
  if (!converts()) return std::string(bytes);
  pending_.append(bytes);
  std::string out;
  char* in = pending_.data();
  size_t left = pending_.size();
  char buf[512];
  while (left > 0) {
    char* op = buf;
    size_t room = sizeof buf;
    size_t r = iconv(cd_, &in, &left, &op, &room);
    out.append(buf, static_cast<size_t>(op - buf));
    if (r != static_cast<size_t>(-1) || errno == E2BIG) continue;
    // A character begun at the very end is finished by the next piece; a few bytes at
    // most, so a stream that never finishes one cannot grow this.
    if (errno == EINVAL && left < 4) break;
    out.push_back('?');
    ++in;
    --left;
  }
  pending_.erase(0, pending_.size() - left);
  return out;
}

std::optional<std::string> Recoder::whole(std::string_view text) {
  if (!converts()) return std::string(text);
  iconv(cd_, nullptr, nullptr, nullptr, nullptr);
  std::string src(text), out;
  char* in = src.data();
  size_t left = src.size();
  char buf[512];
  while (left > 0) {
    char* op = buf;
    size_t room = sizeof buf;
    size_t r = iconv(cd_, &in, &left, &op, &room);
    out.append(buf, static_cast<size_t>(op - buf));
    if (r == static_cast<size_t>(-1) && errno != E2BIG) return std::nullopt;
    // glibc counts characters it had to approximate; those are no match either.
    if (r != static_cast<size_t>(-1) && r > 0) return std::nullopt;
  }
  return out;
}

LineEditor::Event LineEditor::feed(unsigned char c) {
  // Keys such as the arrows send escape sequences; they have no meaning on this line.
  switch (esc_) {
    case Esc::Start:
      esc_ = c == '[' ? Esc::Csi : c == 'O' ? Esc::Ss3 : Esc::None;
      return Event::None;
    case Esc::Csi:
      if (c >= 0x40 && c <= 0x7e) esc_ = Esc::None;
      return Event::None;
    case Esc::Ss3:
      esc_ = Esc::None;
      return Event::None;
    case Esc::None:
      break;
  }
  switch (c) {
    case 0x03:  // Ctrl-C
      return Event::Interrupt;
    case 0x04:  // Ctrl-D leaves only from an empty line, as a shell does
      return text_.empty() ? Event::Quit : Event::None;
    case '\r':
    case '\n':
      return Event::Line;
    case 0x7f:
    case 0x08:
      if (text_.empty()) return Event::None;
      erase_last_char();
      return Event::Changed;
    case 0x15:  // Ctrl-U
      text_.clear();
      return Event::Changed;
    case 0x1b:
      esc_ = Esc::Start;
      return Event::None;
    default:
      break;
  }
  if (c < 0x20 || text_.size() >= kMax) return Event::None;
  text_.push_back(static_cast<char>(c));
  return Event::Changed;
}

std::string LineEditor::take() {
  std::string line;
  line.swap(text_);
  return line;
}

void LineEditor::erase_last_char() {
  // Walk the characters from the start, so a Korean character goes as a whole in
  // whatever multibyte encoding the locale has; a byte that starts none counts as one.
  std::mbstate_t st{};
  std::size_t i = 0, last = 0;
  while (i < text_.size()) {
    last = i;
    std::size_t n = std::mbrlen(text_.data() + i, text_.size() - i, &st);
    if (n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2) || n == 0) {
      st = std::mbstate_t{};
      n = 1;
    }
    i += n;
  }
  text_.resize(last);
}

void FrameLog::feed(std::string_view bytes) {
  static constexpr std::string_view kOpen = "\x1b[s", kClose = "\x1b[u";
  partial_.append(bytes);
  for (;;) {
    std::size_t open = partial_.find(kOpen);
    if (open == std::string::npos) {
      // Only the start of an opening may be worth keeping.
      partial_.erase(0, partial_.size() - std::min(partial_.size(), kOpen.size() - 1));
      return;
    }
    std::size_t close = partial_.find(kClose, open + kOpen.size());
    if (close == std::string::npos) {
      partial_.erase(0, open);
      // An opening never closed is no announcement; it must not hold on to the stream.
      if (partial_.size() > kLongest) partial_.erase(0, kOpen.size());
      return;
    }
    std::size_t end = close + kClose.size();
    frames_.emplace_back(partial_, open, end - open);
    if (frames_.size() > kKeep) frames_.pop_front();
    partial_.erase(0, end);
  }
}

}  // namespace play
