#include "game_files.h"
#include "handles.h"
#include "round_args.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A FILE over a copy of the bytes, closed on scope exit.
struct MemFile {
  std::string bytes;
  File file;
  std::FILE* f;
  explicit MemFile(std::string b) : bytes(std::move(b)) {
    file.reset(bytes.empty() ? std::tmpfile() : fmemopen(bytes.data(), bytes.size(), "r"));
    f = file.get();
  }
};

IndexLookup lookup(const std::string& index, const char* key) {
  MemFile m(index);
  IndexLookup rec;
  find_word_type(m.f, key, rec);
  return rec;
}

}  // namespace

TEST(WordTypeIndex, FindsTheMatchingRecord) {
  auto rec = lookup("short 20 short.lst\nlong 60 long.lst\nnames 30 names.lst\n", "long");
  EXPECT_STREQ(rec.type.data(), "long");
  EXPECT_EQ(rec.limit, 60);
  EXPECT_STREQ(rec.file.data(), "long.lst");
  EXPECT_EQ(rec.records, 2);
}

TEST(WordTypeIndex, UnknownKeyEndsOnTheLastRecord) {
  auto rec = lookup("short 20 short.lst\nlong 60 long.lst\n", "nosuch");
  EXPECT_EQ(rec.limit, 60);
  EXPECT_STREQ(rec.file.data(), "long.lst");
}

TEST(WordTypeIndex, LineBreaksDoNotMatter) {
  auto rec = lookup("short\n20\nshort.lst long 60\n  long.lst", "long");
  EXPECT_EQ(rec.limit, 60);
  EXPECT_STREQ(rec.file.data(), "long.lst");
}

TEST(WordTypeIndex, FieldsKeepWhatTheyWereGivenLast) {
  // The last record breaks off after its key: limit and file stay those of the one before.
  auto rec = lookup("a 10 a.lst\nb 20 b.lst\nc", "c");
  EXPECT_STREQ(rec.type.data(), "c");
  EXPECT_EQ(rec.limit, 20);
  EXPECT_STREQ(rec.file.data(), "b.lst");
  // A limit that is no number ends the reading there.
  rec = lookup("a 10 a.lst\nb x b.lst\n", "b");
  EXPECT_EQ(rec.limit, 10);
  EXPECT_STREQ(rec.file.data(), "a.lst");
}

TEST(WordTypeIndex, EmptyIndexNamesNoFile) {
  auto rec = lookup("", "x");
  EXPECT_EQ(rec.records, 0);
  EXPECT_STREQ(rec.file.data(), "");
}

TEST(WordTypeIndex, OverlongTokensAreCutAndFlagged) {
  std::string key(300, 'k');
  std::string file(150, 'f');
  auto rec = lookup(key + " 5 " + file + "\nnext 7 next.lst\n", "next");
  EXPECT_EQ(rec.limit, 7);  // the long record did not shift the fields of the next one
  EXPECT_STREQ(rec.file.data(), "next.lst");
  EXPECT_FALSE(rec.file_cut);
  rec = lookup(key + " 5 " + file + "\n", "x");
  EXPECT_EQ(std::strlen(rec.type.data()), kTypeMax);
  EXPECT_EQ(std::strlen(rec.file.data()), kFileNameMax);
  EXPECT_TRUE(rec.file_cut);
}

TEST(ScanInt, SignsAndSaturation) {
  MemFile m("-42 +7 99999999999 -99999999999 x");
  std::int32_t v = 0;
  EXPECT_EQ(scan_int(m.f, &v), 1);
  EXPECT_EQ(v, -42);
  EXPECT_EQ(scan_int(m.f, &v), 1);
  EXPECT_EQ(v, 7);
  EXPECT_EQ(scan_int(m.f, &v), 1);
  EXPECT_EQ(v, INT32_MAX);
  EXPECT_EQ(scan_int(m.f, &v), 1);
  EXPECT_EQ(v, INT32_MIN);
  EXPECT_EQ(scan_int(m.f, &v), 0);
}

TEST(ArgNumber, LeadingDigitsOrZero) {
  EXPECT_EQ(arg_number("12"), 12);
  EXPECT_EQ(arg_number(" 3abc"), 3);
  EXPECT_EQ(arg_number("abc"), 0);
  EXPECT_EQ(arg_number("-4"), -4);
  EXPECT_EQ(arg_number("123456789012345"), INT32_MAX);
}

namespace {

std::pair<int, std::string> pick(const std::string& list, int n, std::int32_t* strokes) {
  MemFile m(list);
  char word[177] = "";
  int count = pick_word(m.f, n, strokes, word, sizeof word);
  return {count, word};
}

}  // namespace

TEST(WordPick, CountsRecordsUpToThePick) {
  const std::string five = "3 one\n4 two\n5 three\n6 four\n7 five\n";
  std::int32_t s = 0;
  EXPECT_EQ(pick(five, 1, &s), std::make_pair(1, std::string("one")));
  EXPECT_EQ(s, 3);
  EXPECT_EQ(pick(five, 2, &s).second, "two");
  EXPECT_EQ(pick(five, 3, &s).second, "three");
  // A pick of 0 is never reached: the list is read to its end.
  EXPECT_EQ(pick(five, 0, &s), std::make_pair(5, std::string("five")));
  EXPECT_EQ(s, 7);
}

TEST(WordPick, ShortListsPlayTheirLastRecord) {
  std::int32_t s = 0;
  EXPECT_EQ(pick("10 alpha\n12 beta\n", 3, &s), std::make_pair(2, std::string("beta")));
  EXPECT_EQ(s, 12);
  EXPECT_EQ(pick("9 solo\n", 2, &s).second, "solo");
  // A last record without its word still counts; the word stays the one before.
  EXPECT_EQ(pick("10 alpha\n12", 2, &s), std::make_pair(2, std::string("alpha")));
  EXPECT_EQ(s, 12);
  EXPECT_EQ(pick("", 1, &s).first, 0);
}

TEST(WordPick, KoreanWordsPassAsBytes) {
  std::int32_t s = 0;
  const std::string word = "\xC7\xD1\xB1\xDB";  // two EUC-KR syllables
  EXPECT_EQ(pick("6 " + word + "\n", 1, &s).second, word);
}

TEST(WordPick, OverlongWordIsCutToItsBuffer) {
  std::int32_t s = 0;
  auto got = pick("5 " + std::string(400, 'w') + "\n6 next\n", 2, &s);
  EXPECT_EQ(got.second, "next");
  got = pick("5 " + std::string(400, 'w') + "\n", 1, &s);
  EXPECT_EQ(got.second.size(), 176u);
}
