// The reading of a results file after the wait, with the ledger line and the ranking
// announcement made for every finisher.
// Input: a header line "<strokes> <wait start> <word type>", then the results file.
#include <unistd.h>

#include <array>
#include <climits>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "fuzz_util.h"
#include "round.h"

namespace {

constexpr std::size_t kLineRead = 2047;   // what one read of a results line takes in
constexpr std::size_t kLedgerChecks = 4;  // finishers per input whose ledger line is read back

std::tm ledger_time() {
  std::tm t{};
  t.tm_year = 126, t.tm_mon = 11, t.tm_mday = 8, t.tm_hour = 9, t.tm_min = 5;
  return t;
}

// Every line of the file, as one read at a time sees it: a line feed ends a line, and
// a line longer than the read takes only its head into account.
std::vector<ResultLine> expected_finishers(std::string_view file) {
  std::vector<ResultLine> out;
  while (!file.empty()) {
    const std::string_view line = fuzz::take_until(file, '\n');
    const std::string text(fuzz::c_text(line.substr(0, kLineRead)));
    ResultLine r;
    if (parse_result_line(text.c_str(), r)) out.push_back(r);
  }
  return out;
}

std::string read_and_remove(const char* path) {
  std::string s;
  if (std::FILE* f = std::fopen(path, "r")) {
    std::array<char, 512> buf;
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), f)) > 0) s.append(buf.data(), n);
    std::fclose(f);
  }
  unlink(path);
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // jumsu_save writes under user/score/ of the working directory: give it a private one.
  fuzz::enter_scratch_dir({"user", "user/score"});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view in = fuzz::bytes(data, size);
  const std::string header(fuzz::c_text(fuzz::take_until(in, '\n')));
  int strokes = 30;
  long long start = 1765200000;
  std::array<char, 100> type{};
  std::sscanf(header.c_str(), "%d %lld %99s", &strokes, &start, type.data());

  const std::vector<ResultLine> want = expected_finishers(in);
  fuzz::MemFile results(in);
  const std::tm when = ledger_time();
  std::array<char, 64> ledger;
  ledger_path(when, ledger);

  ResultLine fin;
  std::size_t rank = 0;
  while (read_result(results.get(), fin)) {
    // One line at a time: no line is lost behind another, none is read twice.
    FUZZ_CHECK(rank < want.size());
    FUZZ_CHECK(fin.finish == want[rank].finish);
    FUZZ_CHECK(std::strcmp(fin.user.data(), want[rank].user.data()) == 0);
    ++rank;

    const std::size_t user_len = std::strlen(fin.user.data());
    FUZZ_CHECK(user_len >= 1 && user_len <= kUserIdMax);
    // No byte of a user id can steer a terminal or break a ledger line.
    for (std::size_t i = 0; i < user_len; ++i) {
      const auto c = static_cast<unsigned char>(fin.user[i]);
      FUZZ_CHECK(c >= 0x20 && c != 0x7F);
    }
    const int elapsed = elapsed_since(fin.finish, static_cast<std::time_t>(start));
    // The difference in full, whatever the header's clock holds.
    const __int128 diff = static_cast<__int128>(fin.finish) - start;
    FUZZ_CHECK(elapsed == (diff > INT_MAX   ? INT_MAX
                           : diff < INT_MIN ? INT_MIN
                                            : static_cast<int>(diff)));
    const int speed = typing_speed(strokes, elapsed);
    FUZZ_CHECK(static_cast<std::uint32_t>(speed) ==
               static_cast<std::uint32_t>(strokes) * 60u /
                   static_cast<std::uint32_t>(elapsed != 0 ? elapsed : 1));

    std::array<char, kMessageSize> line;
    format_rank(line, static_cast<int>(rank), elapsed, fin.user.data(), speed);
    const std::string_view said(line.data());
    FUZZ_CHECK(said.size() < kMessageSize);
    FUZZ_CHECK(said.find(fin.user.data()) != std::string_view::npos);
    std::array<char, kMessageSize> framed;
    frame_announcement(line.data(), framed);
    // A ranking line is short enough to go out whole.
    FUZZ_CHECK(std::string_view(framed.data()) ==
               "\x1b[s\x1b[21;1H\n\t" + std::string(said) + "\x1b[u");

    if (rank <= kLedgerChecks) {
      jumsu_save(fin.user.data(), 7, when, type.data(), 2, elapsed, static_cast<int>(rank), speed);
      const std::string saved = read_and_remove(ledger.data());
      // One whole line, the user right-aligned in its ten places.
      FUZZ_CHECK(!saved.empty() && saved.find('\n') == saved.size() - 1);
      const std::string user(fin.user.data());
      FUZZ_CHECK(saved.compare(0, 10, std::string(10 - user.size(), ' ') + user) == 0);
      FUZZ_CHECK(saved.find(type.data()) != std::string::npos);
    }
  }
  FUZZ_CHECK(rank == want.size());
  return 0;
}
