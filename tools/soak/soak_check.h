// What the soak run judges: the frames a terminal receives, a round's countdown, and the
// lines of the score ledger. Kept apart from the run itself so each can be tried alone.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace soak {

// One piece of a terminal's byte stream.
struct Frame {
  enum Kind {
    Whole,    // head, indent, text, tail: `text` is the text
    Cut,      // a frame that the next frame's head (or the end) broke into
    Garbled,  // whole, but its head, indent or text is not an announcement's
    Stray,    // bytes outside any frame
  };
  Kind kind;
  std::string text;  // Whole: the announced text; otherwise the raw bytes
};

// Splits a terminal's byte stream into announcement frames as the bytes arrive:
// ESC[s ESC[21;1H LF, a tab or fourteen blanks, the text, ESC[u.
class FrameReader {
 public:
  // Appends the frames that `bytes` completes; a frame still arriving is kept.
  void feed(std::string_view bytes, std::vector<Frame>& out);
  // The stream has ended: whatever is kept is a cut frame.
  void finish(std::vector<Frame>& out);

 private:
  std::string pending_;
};

// A text is fit to reach a terminal when it holds no control byte, apart from the
// reverse video around the published word and the line end after it.
bool text_ok(std::string_view text);

// The countdown values of a round as announced ("<5>" ... "<0>"): each within 5..0,
// strictly falling. `complete`: the round went on to its word, so the last must be 0.
bool countdown_ok(const std::vector<std::string>& lines, bool complete);
// The value of a countdown line, or nothing when the text is not "<n>".
std::optional<int> countdown_value(std::string_view text);

// One ledger line, line end excluded: its user when the line is exactly what the
// ledger's format prints for its fields, with no control byte in it.
std::optional<std::string> ledger_line_user(std::string_view line);

// What a program wrote to standard error itself: the lines of the commands it started
// (touch, and the shell that runs it), which meet the same failing calls, left out.
std::string own_stderr(std::string_view err);

// Whether `err` is one failure message as perror gives it: one of `messages`, a colon, a
// blank, the system's reason, a line end, and nothing else.
bool failure_line(std::string_view err, const std::vector<std::string>& messages);

}  // namespace soak
