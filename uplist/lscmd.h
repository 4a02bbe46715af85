// The listing command of one upload directory, built so that the shell takes the area
// code and the user id as plain bytes.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

// The command as the server sizes it: "ls -l user/autoup/<code>/data/<id>/" with its
// terminating zero fits 300 bytes, i.e. area code and user id together take at most
// 274 bytes.
inline constexpr std::size_t COMMAND_MAX = 300;
inline constexpr std::size_t LS_FIXED = sizeof("ls -l user/autoup//data//") - 1;
inline constexpr std::size_t NAMES_MAX = COMMAND_MAX - 1 - LS_FIXED;

// Each name is wrapped in single quotes and each of its own single quotes becomes
// '\'' (four bytes), so the text handed to the shell needs room beyond COMMAND_MAX.
inline constexpr std::size_t LS_COMMAND_SIZE = COMMAND_MAX + 3 * NAMES_MAX + 4;

// A name that stays one directory level below its parent: not empty, not "." or "..",
// no '/'.
bool upload_name_ok(std::string_view name);

// Writes ls -l user/autoup/'<code>'/data/'<id>'/ into `out`. Returns false, leaving
// `out` empty, when a name is not acceptable, when the names don't fit the 300-byte
// command, or when `out` is too small for the quoted text.
bool make_ls_command(std::span<char> out, std::string_view code, std::string_view id);
