// Text quoted to the operator: bytes from the game files (EUC-KR) and the operator's own
// words, fit for the operator's terminal. Nothing quoted can move its cursor.
#pragma once

#include <iconv.h>

#include <string>
#include <string_view>

// Whether the operator's locale (LC_ALL, LC_CTYPE, LANG) has UTF-8 for its characters.
// The program's own locale is left "C", so the game files are split into tokens on
// exactly the blanks the round programs split them on.
bool operator_uses_utf8();

class TerminalText {
 public:
  // `utf8`: the terminal shows UTF-8; otherwise EUC-KR, and the bytes go as they are.
  explicit TerminalText(bool utf8);
  ~TerminalText();
  TerminalText(const TerminalText&) = delete;
  TerminalText& operator=(const TerminalText&) = delete;

  bool utf8() const { return utf8_; }
  // EUC-KR bytes from a file: every control byte, and every byte of no EUC-KR character,
  // as '?'; converted to UTF-8 for a UTF-8 terminal.
  std::string operator()(std::string_view euckr);

 private:
  bool utf8_;
  iconv_t cd_;
  std::string out_;
};

// The operator's own text (a file name given on the command line), control bytes as '?'.
std::string controls_masked(std::string_view text);
