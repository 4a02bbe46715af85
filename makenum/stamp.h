// The arithmetic of the build stamp: reading the number back from the first line of
// makenum.h, moving it on, and the calendar rules of the build date.
#pragma once

#include <cstddef>
#include <string_view>

// fgets limit for the first line (terminating zero included), the byte at which the
// line is cut, and the byte from which the number is read once the quotes are gone.
inline constexpr std::size_t MAKENUM_LINE_READ = 200;
inline constexpr std::size_t MAKENUM_LINE_CUT = 40;
inline constexpr std::size_t MAKENUM_NUMBER_AT = 20;

// The build number held in a first line as read (line feed included, if read): the
// line is cut at 40 bytes, its double quotes are deleted, and a decimal integer is
// read from byte 20 on, atoi-style (white space, an optional sign, digits; no digits
// give 0). A cleaned line too short to reach byte 20 holds 0. A number beyond the
// 32-bit range reads as the nearest end of that range.
int parse_makenum_line(std::string_view line);

// The build number that follows the one in a makenum.h that holds `header` (or begins
// with it; the first MAKENUM_LINE_READ - 1 bytes are all that count): its first line taken
// as fgets takes it (at most MAKENUM_LINE_READ - 1 bytes, up to and with its line feed),
// parsed and moved on by one. An empty file gives 0.
int read_makenum(std::string_view header);

// The next build number. The counter is a 32-bit one and wraps: 2147483647 is
// followed by -2147483648.
int next_makenum(int n);

// Every thirtieth build snapshots the sources: 0, 30, 60 ..., and -30, -60 ...
bool snapshot_due(int n);

// The year written into the build date, from struct tm's count of years since 1900:
// counts up to 2000 get 1900 added, larger counts are taken as the year itself.
int makenum_year(int tm_year);

// The two digits of the year in a snapshot's name, from struct tm's count of years since
// 1900: the year modulo 100, never negative, also for a clock before 1900.
int two_digit_year(int tm_year);
