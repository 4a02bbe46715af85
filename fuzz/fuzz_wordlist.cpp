// typeadmin's word list made from any bytes. Input: one byte whose lowest bit asks for
// --join, then the bytes of the operator's file. No overrun, no hang; a bad line leaves
// the output empty; and whatever is written reads back through the round programs'
// word-list reader as the words of the input's lines, each valid EUC-KR as the check
// reads it, after its stroke count.
#include <cstdlib>
#include <string>
#include <vector>

#include "encoding.h"
#include "fuzz_util.h"
#include "game_files.h"
#include "strokes.h"
#include "terminal_text.h"
#include "wordlist.h"

namespace {

// A stream the code under test writes to, and what it wrote.
class Captured {
 public:
  Captured() : f_(open_memstream(&buf_, &size_)) {
    if (!f_) std::abort();
  }
  ~Captured() {
    if (f_) std::fclose(f_);
    std::free(buf_);
  }
  Captured(const Captured&) = delete;
  Captured& operator=(const Captured&) = delete;
  std::FILE* get() const { return f_; }
  std::string text() {
    std::fclose(f_);
    f_ = nullptr;
    return std::string(buf_, size_);
  }

 private:
  char* buf_ = nullptr;
  std::size_t size_ = 0;
  std::FILE* f_;
};

// The words a good input holds, worked out apart: each line with every blank taken out
// (a line that had one inside is good only with --join), blank lines left out.
std::vector<std::string> words_of(std::string_view in) {
  std::vector<std::string> words;
  for (bool first = true; !in.empty() || first; first = false) {
    std::string_view line = fuzz::take_until(in, '\n');
    if (first && line.starts_with("\xEF\xBB\xBF")) line.remove_prefix(3);
    std::string word;
    for (std::size_t i = 0; i < line.size(); ++i) {
      if (line.substr(i, 3) == "\xE3\x80\x80")
        i += 2;
      else if (std::string_view(" \t\v\f\r").find(line[i]) == std::string_view::npos)
        word += line[i];
    }
    if (!word.empty()) words.push_back(word);
  }
  return words;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static TerminalText shown(true);
  static EucKr euckr;
  const bool join = data[0] & 1;
  const std::string_view in = fuzz::bytes(data + 1, size - 1);

  fuzz::MemFile file(in);
  Captured out, err;
  const int status = make_word_list(file.get(), "fuzz", join, out.get(), err.get(), shown);
  const std::string written = out.text(), complaints = err.text();
  FUZZ_CHECK(status == 0 || status == 1);
  if (status == 1) {
    FUZZ_CHECK(written.empty());
    FUZZ_CHECK(!complaints.empty());
    return 0;
  }
  FUZZ_CHECK(complaints.empty());

  const std::vector<std::string> want = words_of(in);
  fuzz::MemFile back(written);
  std::vector<char> word(kListWordMax + 2);  // room for a word one byte too long
  std::int32_t strokes = 0;
  std::size_t count = 0;
  for (int fields;
       (fields = read_word_record(back.get(), &strokes, word.data(), word.size())) != EOF;
       ++count) {
    FUZZ_CHECK(fields == 2);
    FUZZ_CHECK(count < want.size());
    const std::string_view w(word.data());
    FUZZ_CHECK(w.size() <= kListWordMax);
    std::u32string chars;
    std::size_t at = 0;
    FUZZ_CHECK(euckr.decode(w, chars, at) == EucKrFault::none);
    std::string utf8;
    for (char32_t c : chars) encode_utf8(c, utf8);
    FUZZ_CHECK(utf8 == want[count]);
    FUZZ_CHECK(strokes == word_strokes(chars));
    FUZZ_CHECK(strokes >= static_cast<std::int32_t>(chars.size()) &&
               strokes <= 5 * static_cast<std::int32_t>(chars.size()));
  }
  FUZZ_CHECK(count == want.size());
  return 0;
}
