// A game file as the check reads it: whole, through the round programs' open, and handed
// to their readers as a stream of the same bytes, so every record is read exactly as a
// round reads it; where the reader stands tells the line each record is on.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "handles.h"

// Game files are read whole; one this big is no list anybody wrote by hand.
inline constexpr std::size_t kGameFileMax = std::size_t{64} << 20;

class GameFile {
 public:
  // 0, or why the file cannot be read (EFBIG: over kGameFileMax).
  int load(const char* path);
  // Starts the stream over from the first byte; 0, or why it cannot.
  int rewind();
  std::FILE* stream() const { return stream_.get(); }
  long offset() const { return std::ftell(stream_.get()); }
  // Whether nothing but the end is left to read.
  bool at_end() const;
  // The token that begins at or after `offset`, at most as much of it as a message quotes.
  std::string_view token_at(long offset) const;
  // The line on which the next token from `offset` on begins; `offset` only grows from
  // one call to the next.
  std::size_t line_from(long offset);

 private:
  std::size_t token_start(long offset) const;

  std::string bytes_;
  File stream_;
  std::size_t counted_ = 0, line_ = 1;
};
