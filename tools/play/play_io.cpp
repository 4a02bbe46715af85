#include "play_io.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <cwchar>

#include <wchar.h>

namespace play {

namespace {

constexpr int kTabStop = 8;

// One character of the text at `at`: its bytes and the columns it takes.
struct Glyph {
  std::size_t len;
  int width;
};

Glyph glyph_at(std::string_view s, std::size_t at) {
  const auto c = static_cast<unsigned char>(s[at]);
  if (c < 0x80) return {1, c < 0x20 || c == 0x7f ? 0 : 1};
  std::mbstate_t st{};
  wchar_t wc = 0;
  const std::size_t n = std::mbrtowc(&wc, s.data() + at, s.size() - at, &st);
  if (n != static_cast<std::size_t>(-1) && n != static_cast<std::size_t>(-2) && n != 0) {
    const int w = wcwidth(wc);
    return {n, w < 0 ? 1 : w};
  }
  const auto is_euckr = [](unsigned char b) { return b >= 0xA1 && b <= 0xFE; };
  if (is_euckr(c) && at + 1 < s.size() && is_euckr(static_cast<unsigned char>(s[at + 1])))
    return {2, 2};
  return {1, 1};
}

// The length of the escape sequence at `at`: a control sequence ("ESC [" parameters and
// one final byte) or ESC and one byte; all of what is left when it is cut short.
std::size_t escape_at(std::string_view s, std::size_t at) {
  std::size_t i = at + 1;
  if (i >= s.size()) return s.size() - at;
  if (s[i] != '[') return 2;
  for (++i; i < s.size(); ++i)
    if (s[i] >= 0x40 && s[i] <= 0x7e) return i + 1 - at;
  return s.size() - at;
}

// The column a cursor move "ESC [ row ; col H" puts the cursor in, from 0.
int column_of_move(std::string_view seq) {
  const std::size_t semi = seq.find(';');
  if (semi == std::string_view::npos) return 0;
  int col = 0;
  for (std::size_t i = semi + 1; i < seq.size() && seq[i] >= '0' && seq[i] <= '9'; ++i)
    col = std::min(col * 10 + (seq[i] - '0'), 10000);
  return col > 0 ? col - 1 : 0;
}

int next_tab_stop(int col) { return (col / kTabStop + 1) * kTabStop; }

}  // namespace

int display_width(std::string_view text) {
  int cols = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == '\x1b') {
      i += escape_at(text, i);
    } else if (text[i] == '\t') {
      cols = next_tab_stop(cols);
      ++i;
    } else {
      const Glyph g = glyph_at(text, i);
      cols += g.width;
      i += g.len;
    }
  }
  return cols;
}

std::string cut_to_width(std::string_view text, int cols) {
  if (cols <= 0) return std::string(text);
  std::string out;
  int col = 0;
  bool full = false;  // a character did not fit: the rest of the row is left out
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c == '\x1b') {
      const std::size_t n = escape_at(text, i);
      const std::string_view seq = text.substr(i, n);
      if (n > 2 && (seq.back() == 'H' || seq.back() == 'f')) {
        col = column_of_move(seq);
        full = false;
      }
      out.append(seq);
      i += n;
    } else if (c == '\r' || c == '\n') {
      col = 0;
      full = false;
      out.push_back(c);
      ++i;
    } else if (c == '\t') {
      // A terminal stops a tab at its last column.
      if (!full && col < cols - 1) {
        col = std::min(next_tab_stop(col), cols - 1);
        out.push_back(c);
      }
      ++i;
    } else {
      const Glyph g = glyph_at(text, i);
      if (!full && col + g.width <= cols) {
        col += g.width;
        out.append(text.substr(i, g.len));
      } else if (g.width > 0) {
        full = true;
      }
      i += g.len;
    }
  }
  return out;
}

std::string last_columns(std::string_view text, int cols) {
  if (cols <= 0) return std::string(text);
  std::vector<Glyph> glyphs;
  for (std::size_t i = 0; i < text.size(); i += glyphs.back().len)
    glyphs.push_back(glyph_at(text, i));
  std::size_t start = text.size();
  int used = 0;
  for (auto g = glyphs.rbegin(); g != glyphs.rend() && used + g->width <= cols; ++g) {
    used += g->width;
    start -= g->len;
  }
  return std::string(text.substr(start));
}

std::vector<std::string> wrap_to_width(std::string_view text, int cols) {
  std::vector<std::string> lines;
  if (cols <= 0) return {std::string(text)};
  std::string line;
  int used = 0;
  auto flush = [&] {
    while (!line.empty() && line.back() == ' ') line.pop_back();
    lines.push_back(std::move(line));
    line.clear();
    used = 0;
  };
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t end = text.find(' ', i);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view word = text.substr(i, end - i);
    const int w = display_width(word);
    if (used > 0 && used + 1 + w > cols) flush();
    if (used > 0) {
      line.push_back(' ');
      ++used;
    }
    // A word longer than a whole line is broken where the line ends.
    for (std::size_t j = 0; j < word.size();) {
      const Glyph g = glyph_at(word, j);
      if (used + g.width > cols && used > 0) flush();
      line.append(word.substr(j, g.len));
      used += g.width;
      j += g.len;
    }
    i = end + 1;
  }
  if (!line.empty() || lines.empty()) flush();
  return lines;
}

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
  while (left > 0) {
    if (pass(in, left, out) != static_cast<size_t>(-1)) continue;
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
  // glibc counts characters it had to approximate; those are no match either.
  if (pass(in, left, out) != 0) return std::nullopt;
  return out;
}

size_t Recoder::pass(char*& in, size_t& left, std::string& out) {
  std::array<char, 512> buf;
  size_t r = 0;
  while (left > 0) {
    char* op = buf.data();
    size_t room = buf.size();
    r = iconv(cd_, &in, &left, &op, &room);
    out.append(buf.data(), static_cast<size_t>(op - buf.data()));
    if (r == static_cast<size_t>(-1) && errno != E2BIG) break;
  }
  return r;
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

std::string_view frame_text(std::string_view frame, std::size_t* start) {
  std::size_t at = frame.find('\n');
  at = at == std::string_view::npos ? 0 : at + 1;
  while (at < frame.size() && (frame[at] == '\t' || frame[at] == ' ')) ++at;
  std::size_t end = frame.rfind("\x1b[u");
  if (end == std::string_view::npos || end < at) end = frame.size();
  while (end > at && (frame[end - 1] == '\n' || frame[end - 1] == '\r')) --end;
  if (start) *start = at;
  return frame.substr(at, end - at);
}

std::vector<std::string> FrameLog::feed(std::string_view bytes) {
  std::vector<std::string> done;
  static constexpr std::string_view kOpen = "\x1b[s", kClose = "\x1b[u";
  partial_.append(bytes);
  for (;;) {
    std::size_t open = partial_.find(kOpen);
    if (open == std::string::npos) {
      // Only the start of an opening may be worth keeping.
      partial_.erase(0, partial_.size() - std::min(partial_.size(), kOpen.size() - 1));
      return done;
    }
    std::size_t close = partial_.find(kClose, open + kOpen.size());
    if (close == std::string::npos) {
      partial_.erase(0, open);
      // An opening never closed is no announcement; it must not hold on to the stream.
      if (partial_.size() > kLongest) partial_.erase(0, kOpen.size());
      return done;
    }
    std::size_t end = close + kClose.size();
    frames_.emplace_back(partial_, open, end - open);
    done.push_back(frames_.back());
    if (frames_.size() > kKeep) frames_.pop_front();
    partial_.erase(0, end);
  }
}

}  // namespace play
