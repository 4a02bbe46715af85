#include "wordlist.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "game_files.h"
#include "strokes.h"

namespace {

constexpr char32_t kIdeographicSpace = U'\u3000';
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// What separates tokens for the word-list reader, and the wide blank of a Korean input
// method, which EUC-KR would otherwise carry into the word as a character to type.
bool is_blank(char32_t c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == kIdeographicSpace;
}

bool is_control(char32_t c) { return c < 0x20 || (c >= 0x7F && c < 0xA0); }

// What getline fills and grows.
struct LineBuffer {
  char* text = nullptr;
  std::size_t cap = 0;
  LineBuffer() = default;
  LineBuffer(const LineBuffer&) = delete;
  LineBuffer& operator=(const LineBuffer&) = delete;
  ~LineBuffer() { std::free(text); }
};

std::string code_point(char32_t c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
  return buf;
}

}  // namespace

bool make_word_line(std::string_view line, bool join, EucKr& euckr, TerminalText& shown,
                    WordLine& out, std::string& why) {
  out = {};
  std::u32string chars;
  if (const std::size_t bad = decode_utf8(line, chars); bad != std::string_view::npos) {
    why = "not UTF-8 (byte " + std::to_string(bad + 1) + ")";
    return false;
  }
  std::size_t begin = 0, end = chars.size();
  while (begin < end && is_blank(chars[begin])) ++begin;
  while (end > begin && is_blank(chars[end - 1])) --end;
  std::u32string word;
  for (std::size_t i = begin; i < end; ++i) {
    const char32_t c = chars[i];
    if (is_blank(c)) {
      if (join) continue;
      why = "a blank inside the word (a word is one token; --join removes the blanks)";
      return false;
    }
    if (is_control(c)) {
      why = "a control character (" + code_point(c) + ")";
      return false;
    }
    if (!euckr.encode(c, out.word)) {
      why = "a character EUC-KR cannot hold: ";
      if (!shown.utf8()) {
        why += code_point(c);
      } else {
        encode_utf8(c, why);
        why += " (" + code_point(c) + ")";
      }
      return false;
    }
    word += c;
  }
  if (out.word.size() > kListWordMax) {
    why = "the word is " + std::to_string(out.word.size()) + " bytes in EUC-KR, over " +
          std::to_string(kListWordMax);
    return false;
  }
  out.strokes = word_strokes(word);
  return true;
}

int make_word_list(std::FILE* in, std::string_view name, bool join, std::FILE* out, std::FILE* err,
                   TerminalText& shown) {
  EucKr euckr;
  const std::string who = controls_masked(name);
  if (!euckr.ready()) {
    std::fprintf(err, "typeadmin: no conversion between UTF-8 and EUC-KR: %s\n",
                 std::strerror(errno));
    return 1;
  }
  std::string list;
  bool bad = false;
  WordLine record;
  std::string why;
  LineBuffer buf;
  std::size_t number = 0;
  for (ssize_t n; (n = getline(&buf.text, &buf.cap, in)) >= 0;) {
    ++number;
    std::string_view line(buf.text, static_cast<std::size_t>(n));
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    // The mark some editors put before the first line says only that the file is UTF-8.
    if (number == 1 && line.starts_with(kByteOrderMark)) line.remove_prefix(kByteOrderMark.size());
    if (!make_word_line(line, join, euckr, shown, record, why)) {
      std::fprintf(err, "%s:%zu: %s\n", who.c_str(), number, why.c_str());
      bad = true;
    } else if (!record.word.empty()) {
      list += std::to_string(record.strokes) + ' ' + record.word + '\n';
    }
  }
  if (std::ferror(in)) {
    std::fprintf(err, "typeadmin: %s: %s\n", who.c_str(), std::strerror(errno));
    return 1;
  }
  if (bad) return 1;
  if (std::fwrite(list.data(), 1, list.size(), out) != list.size() || std::fflush(out) != 0) {
    std::fprintf(err, "typeadmin: standard output: %s\n", std::strerror(errno));
    return 1;
  }
  return 0;
}
