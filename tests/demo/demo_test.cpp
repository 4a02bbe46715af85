// The demonstration as a newcomer meets it: in any locale it fits an 80-column terminal,
// and where the Korean cannot be shown it says how to see it.

#include <gtest/gtest.h>

#include <clocale>
#include <cwchar>
#include <string>

#include "harness.h"

#ifndef DEMO_BIN
#error "DEMO_BIN must name the built demonstration"
#endif

namespace {

// Screen columns of a line: as UTF-8, what wcwidth says; as EUC-KR, a Korean character
// is two bytes and two columns, so bytes count.
std::size_t columns(const std::string& line, bool utf8) {
  if (!utf8) return line.size();
  std::mbstate_t st{};
  std::size_t cols = 0;
  for (std::size_t i = 0; i < line.size();) {
    wchar_t wc;
    std::size_t n = std::mbrtowc(&wc, line.data() + i, line.size() - i, &st);
    if (n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2)) return 999;
    int w = wcwidth(wc);
    cols += w > 0 ? static_cast<std::size_t>(w) : 0;
    i += n == 0 ? 1 : n;
  }
  return cols;
}

void check_demo(bool utf8) {
  ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
  harness::Scratch dir;
  auto res = harness::run(DEMO_BIN, {}, dir.path(), {utf8 ? "LC_ALL=C.UTF-8" : "LC_ALL=C"});
  ASSERT_EQ(res.status, 0) << res.out << res.err;
  EXPECT_EQ(res.err, "");
  const std::string hint = "Korean text below is raw EUC-KR; to read it, run: LC_ALL=C.UTF-8";
  EXPECT_EQ(res.out.rfind(hint, 0) == 0, !utf8) << res.out;
  const std::string speed = utf8 ? "타/분" : harness::utf8_to_euckr("타/분");
  EXPECT_NE(res.out.find("3 " + (utf8 ? std::string("등") : harness::utf8_to_euckr("등"))),
            std::string::npos)
      << "the ranking is missing:\n"
      << res.out;
  EXPECT_NE(res.out.find(speed), std::string::npos);
  std::size_t at = 0;
  for (std::size_t nl; (nl = res.out.find('\n', at)) != std::string::npos; at = nl + 1) {
    std::string line = res.out.substr(at, nl - at);
    EXPECT_LE(columns(line, utf8), 80u) << line;
  }
}

TEST(Demo, InAUtf8LocaleShowsTheKoreanWithinEightyColumns) { check_demo(true); }

TEST(Demo, ElsewhereSaysHowToSeeTheKoreanWithinEightyColumns) { check_demo(false); }

}  // namespace
