// The person's side of a played round: what the programs write to the person's terminal
// device, made readable on the real terminal, and the line the person is typing.
#pragma once

#include <iconv.h>

#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace play {

// The room's lines made to fit the width of the person's terminal, so a narrow window
// neither wraps them (which would scroll the room twice) nor spills into the status bar.
// The text is in the terminal's encoding (the current C locale): a character takes the
// columns the C library gives it (a Hangul syllable two); a byte that starts none of the
// locale's characters is one column, or two with the next as an EUC-KR pair, as raw
// EUC-KR shows on a Korean terminal. A width of 0 or less means the width is unknown.

// The columns `text` takes, escape sequences and control bytes taking none.
int display_width(std::string_view text);
// `text` with every character that would pass column `cols` of its row left out, and
// its escape sequences, line ends and tabs kept, so colours are still reset and the
// cursor still put back. A row starts after a carriage return, a line feed or a move
// of the cursor ("ESC [ row ; col H").
std::string cut_to_width(std::string_view text, int cols);
// The end of `text` that fits `cols` columns: what a line being typed shows of itself.
std::string last_columns(std::string_view text, int cols);
// `text` broken into lines of at most `cols` columns, between words where it can be.
std::vector<std::string> wrap_to_width(std::string_view text, int cols);

// Converts a byte stream between two encodings with the C library's iconv. A character
// cut at the end of one piece waits for the next piece, since the programs' writes may
// reach us split anywhere. When the encodings are the same, bytes pass unchanged.
class Recoder {
 public:
  Recoder(const char* from, const char* to);
  ~Recoder();
  Recoder(const Recoder&) = delete;
  Recoder& operator=(const Recoder&) = delete;

  bool converts() const { return cd_ != kNone; }
  // What can be converted so far; a byte that starts no character becomes '?'.
  std::string feed(std::string_view bytes);
  // A whole text at once; nullopt when any of it has no place in the other encoding.
  std::optional<std::string> whole(std::string_view text);

 private:
  static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);
  // Converts from `in` into `out` until all of it is taken or iconv stops at a byte it
  // cannot take (errno then says why); returns what iconv returned last.
  std::size_t pass(char*& in, std::size_t& left, std::string& out);
  iconv_t cd_ = kNone;
  std::string pending_;
};

// The line the person is typing, edited in the terminal's own encoding (the current
// C locale), since the terminal's line discipline is off while a round is played.
class LineEditor {
 public:
  // Interrupt is Ctrl-C, Quit is Ctrl-D on an empty line.
  enum class Event { None, Changed, Line, Quit, Interrupt };
  static constexpr std::size_t kMax = 400;  // bytes; longer than any word a list may hold

  // One byte from the keyboard.
  Event feed(unsigned char c);
  const std::string& text() const { return text_; }
  // The line just ended with Enter; the editor starts a new one.
  std::string take();

 private:
  void erase_last_char();
  enum class Esc { None, Start, Csi, Ss3 };
  Esc esc_ = Esc::None;
  std::string text_;
};

// The text an announcement frame shows: what follows its move to the room's last row,
// the line feed and the indent, up to the restoring of the cursor, without the line
// ends at its end. The indent is the frame's text's start, so `start` gives where.
std::string_view frame_text(std::string_view frame, std::size_t* start = nullptr);

// The room's lines as they were drawn, so a resized screen can show them again: each
// announcement frame ("save cursor" ... "restore cursor") of the stream, whole, the
// latest last. A frame split between reads is kept once its end has arrived.
class FrameLog {
 public:
  static constexpr std::size_t kKeep = 48;       // more lines than the room can show
  static constexpr std::size_t kLongest = 4096;  // no announcement is longer, converted

  // Returns the frames this piece completed, in order.
  std::vector<std::string> feed(std::string_view bytes);
  const std::deque<std::string>& frames() const { return frames_; }

 private:
  std::string partial_;
  std::deque<std::string> frames_;
};

}  // namespace play
