#include "soak_check.h"

#include <array>
#include <cstdio>
#include <cstdlib>

#include "ledger_format.h"

namespace soak {

namespace {

constexpr std::string_view kHead = "\x1b[s\x1b[21;1H\n";
constexpr std::string_view kMark = "\x1b[s";
constexpr std::string_view kTail = "\x1b[u";
constexpr std::string_view kIndent14 = "              ";
// Longer than any announcement with its frame; a frame still open past this never ends.
constexpr std::size_t kFrameMax = 512;

bool control(unsigned char c) { return c < 0x20 || c == 0x7f; }

bool plain(std::string_view s) {
  for (unsigned char c : s)
    if (control(c)) return false;
  return true;
}

// The text after the head: past a tab, or past fourteen blanks. Nothing when neither.
std::optional<std::string_view> after_indent(std::string_view rest) {
  if (!rest.empty() && rest[0] == '\t') return rest.substr(1);
  std::size_t n = 0;
  while (n < rest.size() && n < kIndent14.size() && rest[n] == ' ') ++n;
  if (n == kIndent14.size()) return rest.substr(n);
  return std::nullopt;
}

std::optional<long> whole_number(const std::string& s) {
  if (s.empty()) return std::nullopt;
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 10);
  if (*end != '\0') return std::nullopt;
  return v;
}

}  // namespace

bool text_ok(std::string_view text) {
  constexpr std::string_view on = "\x1b[7m", off = "\x1b[m\n";
  if (text.size() >= on.size() + off.size() && text.substr(0, on.size()) == on &&
      text.substr(text.size() - off.size()) == off)
    text = text.substr(on.size(), text.size() - on.size() - off.size());
  return plain(text);
}

void FrameReader::feed(std::string_view bytes, std::vector<Frame>& out) {
  pending_.append(bytes);
  while (!pending_.empty()) {
    std::size_t mark = pending_.find(kMark);
    if (mark != 0) {
      // Keep what may be the start of the next frame's mark.
      std::size_t keep = 0;
      if (mark == std::string::npos)
        for (std::size_t k = std::min(pending_.size(), kMark.size() - 1); k > 0; --k)
          if (pending_.compare(pending_.size() - k, k, kMark.substr(0, k)) == 0) {
            keep = k;
            break;
          }
      std::size_t stray = mark == std::string::npos ? pending_.size() - keep : mark;
      if (stray == 0) return;
      out.push_back({Frame::Stray, pending_.substr(0, stray)});
      pending_.erase(0, stray);
      continue;
    }
    std::size_t tail = pending_.find(kTail, kMark.size());
    std::size_t next = pending_.find(kMark, kMark.size());
    if (next != std::string::npos && (tail == std::string::npos || next < tail)) {
      out.push_back({Frame::Cut, pending_.substr(0, next)});
      pending_.erase(0, next);
      continue;
    }
    if (tail == std::string::npos) {
      if (pending_.size() > kFrameMax) {
        out.push_back({Frame::Cut, pending_});
        pending_.clear();
      }
      return;
    }
    std::string_view frame(pending_.data(), tail);
    std::optional<std::string_view> text;
    if (frame.substr(0, kHead.size()) == kHead) text = after_indent(frame.substr(kHead.size()));
    if (text && text_ok(*text))
      out.push_back({Frame::Whole, std::string(*text)});
    else
      out.push_back({Frame::Garbled, std::string(frame)});
    pending_.erase(0, tail + kTail.size());
  }
}

void FrameReader::finish(std::vector<Frame>& out) {
  if (pending_.empty()) return;
  if (pending_.compare(0, kMark.size(), kMark) == 0)
    out.push_back({Frame::Cut, pending_});
  else
    out.push_back({Frame::Stray, pending_});
  pending_.clear();
}

std::optional<int> countdown_value(std::string_view text) {
  if (text.size() < 3 || text.front() != '<' || text.back() != '>') return std::nullopt;
  std::string inner(text.substr(1, text.size() - 2));
  if (inner.size() > 11) return std::nullopt;
  auto v = whole_number(inner);
  if (!v) return std::nullopt;
  return static_cast<int>(*v);
}

bool countdown_ok(const std::vector<std::string>& lines, bool complete) {
  int last = 6;
  for (const auto& line : lines) {
    auto v = countdown_value(line);
    if (!v || *v < 0 || *v > 5 || *v >= last) return false;
    last = *v;
  }
  return !complete || last == 0;
}

std::optional<std::string> ledger_line_user(std::string_view line) {
  if (!plain(line)) return std::nullopt;
  std::vector<std::string> f;
  for (std::size_t i = 0; i < line.size();) {
    if (line[i] == ' ') {
      ++i;
      continue;
    }
    std::size_t end = line.find(' ', i);
    if (end == std::string_view::npos) end = line.size();
    f.emplace_back(line.substr(i, end - i));
    i = end;
  }
  if (f.size() != 12) return std::nullopt;
  std::array<long, 12> n{};
  for (std::size_t i : {1, 2, 3, 4, 5, 6, 8, 9, 10, 11}) {
    auto v = whole_number(f[i]);
    if (!v) return std::nullopt;
    n[i] = *v;
  }
  // The line is well formed exactly when the ledger's own format prints it back.
  std::array<char, kLedgerLineSize * 2> again{};
  auto i = [&](int k) { return static_cast<int>(n[k]); };
  std::snprintf(again.data(), again.size(), LEDGER_FORMAT, f[0].c_str(), i(1), i(2), i(3), i(4),
                i(5), i(6), f[7].c_str(), i(8), i(9), i(10), i(11));
  std::string_view printed(again.data());
  if (printed.size() != line.size() + 1 || printed.substr(0, line.size()) != line)
    return std::nullopt;
  return f[0];
}

std::string own_stderr(std::string_view err) {
  std::string own;
  while (!err.empty()) {
    const std::size_t end = err.find('\n');
    const std::size_t len = end == std::string_view::npos ? err.size() : end + 1;
    const std::string_view line = err.substr(0, len);
    if (line.substr(0, 7) != "touch: " && line.substr(0, 4) != "sh: ") own.append(line);
    err.remove_prefix(len);
  }
  return own;
}

bool failure_line(std::string_view err, const std::vector<std::string>& messages) {
  for (const auto& m : messages) {
    if (err.size() <= m.size() + 3 || err.substr(0, m.size()) != m) continue;
    const std::string_view reason = err.substr(m.size() + 2, err.size() - m.size() - 3);
    if (err.substr(m.size(), 2) == ": " && err.back() == '\n' &&
        reason.find('\n') == std::string_view::npos)
      return true;
  }
  return false;
}

}  // namespace soak
