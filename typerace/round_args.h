// How the round programs read the call the server makes: <unused> <group> <room> <type>.
// One reading for typerace and typestart, so the two can never disagree on a room.
#pragma once

#include <cstdint>

// The program's name and the four arguments.
inline constexpr int kRoundArgc = 5;

// What a round program says, through perror, when it is called with fewer.
inline constexpr char MSG_NO_ARGS[] =  // the arguments cannot be received
    "\xC0\xCE\xC0\xDA\xB8\xA6 \xB9\xDE\xC0\xBB\xBC\xF6 \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.";

// A decimal argument the way the server writes them: leading blanks, optional sign,
// leading digits; 0 when there are none. Out-of-range values saturate instead of
// being undefined.
std::int32_t arg_number(const char* text);

// The room and group a call names, and its word type as given.
struct RoundCall {
  std::int32_t group = 0;
  std::int32_t room = 0;
  const char* type = "";
};

// Reads the call. With too few arguments, MSG_NO_ARGS goes out through perror with the
// reason EINVAL (not whatever errno a call before happened to leave, "Success" most
// often) and the answer is false: the program then ends with status 1.
bool read_round_call(int argc, char** argv, RoundCall& out);
