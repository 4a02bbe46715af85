#include "game_files.h"

#include <cctype>
#include <climits>
#include <cstring>

namespace {

int skip_space(std::FILE* f) {
  int c;
  do c = std::getc(f);
  while (c != EOF && std::isspace(c));
  return c;
}

}  // namespace

bool scan_token(std::FILE* f, char* buf, std::size_t cap, bool* cut) {
  std::size_t n = 0;
  *cut = false;
  int c = skip_space(f);
  if (c == EOF) return false;  // like "%s", leaves buf as it was
  for (; c != EOF && !std::isspace(c); c = std::getc(f)) {
    if (n + 1 < cap)
      buf[n++] = static_cast<char>(c);
    else
      *cut = true;
  }
  if (c != EOF) std::ungetc(c, f);
  if (cap > 0) buf[n] = '\0';
  return true;
}

int scan_int(std::FILE* f, std::int32_t* out) {
  int c = skip_space(f);
  if (c == EOF) return EOF;
  bool neg = false;
  if (c == '-' || c == '+') {
    neg = c == '-';
    c = std::getc(f);
  }
  if (c == EOF || !std::isdigit(c)) {
    if (c != EOF) std::ungetc(c, f);
    return 0;
  }
  long long v = 0;
  for (; c != EOF && std::isdigit(c); c = std::getc(f))
    if (v <= INT32_MAX) v = v * 10 + (c - '0');
  if (c != EOF) std::ungetc(c, f);
  if (neg) v = -v;
  if (v > INT32_MAX) v = INT32_MAX;
  if (v < INT32_MIN) v = INT32_MIN;
  *out = static_cast<std::int32_t>(v);
  return 1;
}

int read_index_record(std::FILE* index, IndexLookup& rec) {
  if (!scan_token(index, rec.type.data(), rec.type.size(), &rec.type_cut)) return EOF;
  if (scan_int(index, &rec.limit) != 1) return 1;
  if (!scan_token(index, rec.file.data(), rec.file.size(), &rec.file_cut)) return 2;
  return 3;
}

void find_word_type(std::FILE* index, const char* key, IndexLookup& rec) {
  while (read_index_record(index, rec) >= 1) {
    ++rec.records;
    if (std::strcmp(rec.type.data(), key) == 0) break;
  }
}

int read_word_record(std::FILE* list, std::int32_t* strokes, char* word, std::size_t cap) {
  int r = scan_int(list, strokes);
  if (r != 1) return r;
  bool cut = false;
  return scan_token(list, word, cap, &cut) ? 2 : 1;
}

int pick_word(std::FILE* list, int n, std::int32_t* strokes, char* word, std::size_t cap) {
  int count = 0;
  while (read_word_record(list, strokes, word, cap) >= 1) {
    if (++count == n) break;
  }
  return count;
}
