// Pattern substitution over zero-terminated byte strings.
//
// Both operations make one left-to-right pass over the input: occurrences are taken
// leftmost first and never overlap, bytes produced by a replacement are never looked
// at again, and an empty pattern matches nothing. Bytes are compared one by one, so
// EUC-KR text passes through untouched wherever the pattern's bytes don't occur.
// The result is 1 when at least one occurrence was replaced, 0 when none was.
//
// Neither operation ever writes outside the area it is given:
// - strchng cuts its output to the output area, like snprintf: at most
//   out.size() - 1 bytes followed by a zero byte (nothing at all for an empty area).
//   The flag still reports whether the input held the pattern.
// - strchng2 substitutes in place only when the whole result with its terminating
//   zero fits both its 500-byte scratch area and the caller's buffer. Otherwise the
//   text is left exactly as it was and the result is 0: a text is never left half
//   substituted.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

// Size of strchng2's scratch area, terminating zero included.
inline constexpr std::size_t STRCHNG2_SCRATCH = 500;

// Writes `in` with every occurrence of `pat` replaced by `rep` into `out`. The input
// ends at its first zero byte or at the end of the view; `out` and `in` must not
// overlap.
int strchng(std::span<char> out, std::string_view in, std::string_view pat, std::string_view rep);

// Replaces every occurrence of `pat` by `rep` in the zero-terminated text held in
// `text` (the text ends at its first zero byte, or at the end of the buffer).
int strchng2(std::span<char> text, std::string_view pat, std::string_view rep);
