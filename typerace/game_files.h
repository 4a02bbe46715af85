// The typing game's plain files under frm/typegame/: the word-type index and the word
// lists, read as the round programs read them. Shared by typerace, typestart and typeadmin.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

// Limits of the tokens as the index and word lists carry them (bytes, without the NUL).
inline constexpr std::size_t kTypeMax = 99;      // a word type
inline constexpr std::size_t kFileNameMax = 99;  // a word list file name as read
inline constexpr std::size_t kPathSize = 100;    // "frm/typegame/<file name>" with its NUL
// The longest word typerace plays whole: its reverse-video announcement must fit the
// room broadcast's limit.
inline constexpr std::size_t kListWordMax = 176;

// One record of the word-type index as the lookup leaves it: every field keeps the value
// it was given last, so a key the index doesn't list ends on its last record.
struct IndexLookup {
  std::array<char, kTypeMax + 1> type{};
  bool type_cut = false;  // the word type read last did not fit; only its head is compared
  std::int32_t limit = 0;
  std::array<char, kFileNameMax + 1> file{};
  bool file_cut = false;  // the file name read last did not fit; it names no file
  int records = 0;        // reads that yielded at least one field
};

// Reads one whitespace-separated token into buf (at most cap - 1 bytes, NUL-terminated);
// the rest of a longer token is consumed and *cut is set. False at end of input.
bool scan_token(std::FILE* f, char* buf, std::size_t cap, bool* cut);

// Reads a decimal integer as "%d" would: 1 when one was read, 0 when the next token is
// no number, EOF at end of input. Values beyond 32 bits saturate.
int scan_int(std::FILE* f, std::int32_t* out);

// One "%s %d %s" record of the index; returns the number of fields read, or EOF.
int read_index_record(std::FILE* index, IndexLookup& rec);

// Reads index records until one's word type equals key or a read yields nothing.
void find_word_type(std::FILE* index, const char* key, IndexLookup& rec);

// One "%d %s" record of a word list; returns the number of fields read, or EOF.
int read_word_record(std::FILE* list, std::int32_t* strokes, char* word, std::size_t cap);

// Reads word list records, counting from 1, until the count equals n or a read yields
// nothing; strokes and word keep what was read last. Returns the records counted.
int pick_word(std::FILE* list, int n, std::int32_t* strokes, char* word, std::size_t cap);
