#include "lscmd.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace {

std::string command(std::string_view code, std::string_view id) {
  std::array<char, LS_COMMAND_SIZE> out;
  out.fill('#');
  const bool ok = make_ls_command(out, code, id);
  EXPECT_EQ(ok, out[0] != '\0');
  return out.data();
}

TEST(MakeLsCommand, QuotesBothNamesAndRefusesThoseLeavingTheirDirectory) {
  EXPECT_EQ(command("pds", "guest"), "ls -l user/autoup/'pds'/data/'guest'/");
  EXPECT_EQ(command("it's", "''"), "ls -l user/autoup/'it'\\''s'/data/''\\'''\\'''/");
  EXPECT_EQ(command("...", ".x"), "ls -l user/autoup/'...'/data/'.x'/");
  for (const char* bad : {"", ".", "..", "a/b"}) {
    EXPECT_EQ(command(bad, "guest"), "") << bad;
    EXPECT_EQ(command("pds", bad), "") << bad;
  }
}

TEST(MakeLsCommand, NamesShareTheRoomOfThe300ByteCommand) {
  EXPECT_EQ(NAMES_MAX, 274u);
  EXPECT_NE(command(std::string(137, 'c'), std::string(137, 'u')), "");
  EXPECT_EQ(command(std::string(137, 'c'), std::string(138, 'u')), "");
  // Quoting takes the most room when every byte is a quote; it still fits.
  const std::string quotes(137, '\'');
  EXPECT_EQ(command(quotes, quotes).size() + 1, LS_COMMAND_SIZE);

  std::array<char, 20> small;
  small.fill('#');
  EXPECT_FALSE(make_ls_command(small, "pds", "guest"));
  EXPECT_EQ(small[0], '\0');
}

}  // namespace
