// uplist's checks of the area code and user id, and the command text it hands the shell.
// Input: one byte for the command buffer's size (0: the size uplist uses), then
// "<area code>\0<user id>" (arguments hold no zero byte; anything else goes).
#include <algorithm>
#include <string>
#include <vector>

#include "fuzz_util.h"
#include "lscmd.h"

namespace {

constexpr std::string_view kFixed = "ls -l user/autoup//data//";

bool name_ok(std::string_view n) {
  return !n.empty() && n != "." && n != ".." && n.find('/') == std::string_view::npos;
}

// Reads the command as the shell would split it into words, for the one kind of text it
// may be: fixed bytes, single-quoted stretches and \' between them. `bare` collects the
// bytes that stand outside any quoting; false when anything else turns up.
bool shell_words(std::string_view cmd, std::vector<std::string>& words, std::string& bare) {
  std::string word;
  bool in_word = false;
  for (std::size_t i = 0; i < cmd.size(); ++i) {
    const char c = cmd[i];
    if (c == '\'') {
      const std::size_t close = cmd.find('\'', i + 1);
      if (close == std::string_view::npos) return false;
      word.append(cmd.substr(i + 1, close - i - 1));
      in_word = true;
      i = close;
    } else if (c == '\\') {
      if (i + 1 >= cmd.size() || cmd[i + 1] != '\'') return false;
      word += cmd[++i];
      in_word = true;
    } else if (c == ' ') {
      bare += c;
      if (in_word) words.push_back(word);
      word.clear();
      in_word = false;
    } else if ((c >= 'a' && c <= 'z') || c == '/' || c == '-') {
      bare += c;
      word += c;
      in_word = true;
    } else {
      return false;  // a byte the shell would interpret, outside quotes
    }
  }
  if (in_word) words.push_back(word);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t cap = data[0] == 0 ? LS_COMMAND_SIZE : data[0];
  std::string_view in = fuzz::bytes(data + 1, size - 1);
  const std::string_view code = fuzz::take_until(in, '\0');
  const std::string_view id = fuzz::take_until(in, '\0');

  FUZZ_CHECK(upload_name_ok(code) == name_ok(code));
  FUZZ_CHECK(upload_name_ok(id) == name_ok(id));

  std::vector<char> out(cap, 'o');
  const bool ok = make_ls_command(out, code, id);
  const bool acceptable = name_ok(code) && name_ok(id) && code.size() + id.size() <= NAMES_MAX;
  // uplist's own buffer always holds the quoted text of names it accepts.
  if (cap == LS_COMMAND_SIZE) FUZZ_CHECK(ok == acceptable);
  if (!acceptable) FUZZ_CHECK(!ok);

  const std::string_view cmd(out.data(), std::find(out.begin(), out.end(), '\0') - out.begin());
  FUZZ_CHECK(cmd.size() < cap);
  if (!ok) {
    FUZZ_CHECK(cmd.empty());
    return 0;
  }
  std::vector<std::string> words;
  std::string bare;
  FUZZ_CHECK(shell_words(cmd, words, bare));
  // No byte of either name stands outside the quoting, and the shell hands ls exactly the
  // directory asked for.
  FUZZ_CHECK(bare == kFixed);
  FUZZ_CHECK(words.size() == 3 && words[0] == "ls" && words[1] == "-l");
  FUZZ_CHECK(words[2] == "user/autoup/" + std::string(code) + "/data/" + std::string(id) + "/");
  return 0;
}
