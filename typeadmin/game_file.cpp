#include "game_file.h"

#include <array>
#include <cctype>
#include <cerrno>

#include "data_file.h"

namespace {

constexpr std::size_t kQuotedMax = 40;

// The round programs' readers split on these, in the "C" locale the program keeps.
bool is_space(char c) { return std::isspace(static_cast<unsigned char>(c)); }

}  // namespace

int GameFile::load(const char* path) {
  File f = open_data_stream(path);
  if (!f) return errno;
  std::array<char, 65536> block;
  for (std::size_t n; (n = std::fread(block.data(), 1, block.size(), f.get())) > 0;) {
    if (bytes_.size() + n > kGameFileMax) return EFBIG;
    bytes_.append(block.data(), n);
  }
  if (std::ferror(f.get())) return errno ? errno : EIO;
  return rewind();
}

int GameFile::rewind() {
  stream_.reset(fmemopen(bytes_.data(), bytes_.size(), "r"));
  return stream_ ? 0 : errno;
}

bool GameFile::at_end() const {
  const int c = std::getc(stream_.get());
  if (c == EOF) return true;
  std::ungetc(c, stream_.get());
  return false;
}

std::size_t GameFile::token_start(long offset) const {
  auto at = static_cast<std::size_t>(offset < 0 ? 0 : offset);
  while (at < bytes_.size() && is_space(bytes_[at])) ++at;
  return at;
}

std::string_view GameFile::token_at(long offset) const {
  const std::size_t at = token_start(offset);
  std::size_t end = at;
  while (end < bytes_.size() && end - at < kQuotedMax && !is_space(bytes_[end])) ++end;
  return std::string_view(bytes_).substr(at, end - at);
}

std::size_t GameFile::line_from(long offset) {
  for (const std::size_t at = token_start(offset); counted_ < at; ++counted_)
    if (bytes_[counted_] == '\n') ++line_;
  return line_;
}
