#include "check.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "check_dir.h"
#include "data_file.h"
#include "encoding.h"
#include "game_file.h"
#include "game_files.h"
#include "ledger_scan.h"
#include "round_names.h"
#include "strokes.h"

namespace {

const std::string kGameDir = std::string(GAME_DIR) + "/";
constexpr const char* kIndex = INDEX_PATH;
// What typerace's word list path leaves for the name: the directory, its slash, the NUL.
constexpr std::size_t kListNameMax = kPathSize - sizeof GAME_DIR - 1;
// Longer than any word a round plays, so the check sees a word's whole length.
constexpr std::size_t kWordRead = 4096;

constexpr char kIndexGone[] = "typerace plays a fallback list, typestart stops without a word";

// Why a file cannot be read, in the words of the system, but for the two reasons that
// are the check's own.
std::string reason(int err) {
  if (err == EINVAL) return "not a regular file";
  if (err == EFBIG) return "over " + std::to_string(kGameFileMax >> 20) + " MiB";
  return std::strerror(err);
}

std::string quoted(TerminalText& shown, std::string_view text) { return "\"" + shown(text) + "\""; }

class Problems {
 public:
  explicit Problems(std::FILE* out) : out_(out) {}
  void in(const std::string& file, const std::string& what) {
    std::fprintf(out_, "%s: %s\n", file.c_str(), what.c_str());
    ++count_;
  }
  void at(const std::string& file, std::size_t line, const std::string& what) {
    std::fprintf(out_, "%s:%zu: %s\n", file.c_str(), line, what.c_str());
    ++count_;
  }
  std::size_t count() const { return count_; }

 private:
  std::FILE* out_;
  std::size_t count_ = 0;
};

class Check {
 public:
  Check(std::FILE* out, TerminalText& shown) : problems_(out), shown_(shown) {}

  void directories() {
    // Those the round programs need, and those bigclock lists before it draws a text.
    struct Needed {
      const char* dir;
      const char* without;
      bool listed;
    };
    static constexpr std::array<Needed, 5> kNeeded = {{
        {"frm/typegame", "no round can claim a room or read a word list", false},
        {"user", "bigclock cannot list it, so it leaves the date blank", true},
        {"user/chat", "the rooms' rosters live there, so no announcement reaches anyone", false},
        {"user/score", "typerace keeps the score ledgers there, so no score is kept", false},
        {"bin", "bigclock cannot list it, so it leaves the time blank", true},
    }};
    for (const Needed& n : kNeeded) {
      const std::string name = std::string(n.dir) + "/";
      struct stat st;
      if (n.listed) {
        if (!check_dir(n.dir)) problems_.in(name, n.without);
      } else if (stat(n.dir, &st) != 0) {
        problems_.in(name,
                     (errno == ENOENT ? std::string("missing") : reason(errno)) + "; " + n.without);
      } else if (!S_ISDIR(st.st_mode)) {
        problems_.in(name, std::string("not a directory; ") + n.without);
      }
    }
  }

  void index() {
    GameFile index;
    if (const int err = index.load(kIndex)) {
      problems_.in(kIndex, "cannot be read (" + reason(err) + "); " + kIndexGone);
      return;
    }
    IndexLookup rec;
    std::map<std::string, std::size_t> types;
    long end = 0;
    for (int fields; (fields = read_index_record(index.stream(), rec)) >= 1;) {
      ++records_;
      const std::size_t line = index.line_from(end);
      end = index.offset();
      const auto [first, fresh] = types.emplace(rec.type.data(), line);
      if (!fresh)
        at_index(line, "word type " + quoted(shown_, rec.type.data()) +
                           " is listed before, on line " + std::to_string(first->second) +
                           "; only that record is ever found");
      if (rec.type_cut)
        at_index(line, "word type is over " + std::to_string(kTypeMax) +
                           " bytes; the round programs compare only its first " +
                           std::to_string(kTypeMax));
      if (fields == 1 && index.at_end()) {
        at_index(line, "record cut short: nothing after the word type");
      } else if (fields == 1) {
        at_index(line, "time limit " + quoted(shown_, index.token_at(end)) +
                           " is not a whole number; the round programs read it as the next word "
                           "type");
      } else if (fields == 2) {
        at_index(line, "record cut short: no list name after the time limit");
      } else {
        index_record(rec, line);
      }
    }
    if (records_ == 0) problems_.in(kIndex, std::string("no record; ") + kIndexGone);
  }

  void lists() {
    // With no index to name a list, typerace plays one of these at random.
    const bool required = records_ == 0;
    for (int k = 1; k <= kFallbackLists; ++k) {
      std::array<char, 16> name;
      fallback_list_name(k, name);
      const std::string path = kGameDir + std::string(name.data());
      struct stat st;
      if (lstat(path.c_str(), &st) == 0)
        to_read(name.data());
      else if (required)
        problems_.in(path, "missing; with no index typerace picks one of the ten fallback lists at "
                           "random and stops when it picks this one");
    }
    for (const std::string& name : lists_) list(name);
  }

  void ledgers() {
    // A missing user/score is said once already, among the directories.
    struct stat st;
    if (stat("user/score", &st) != 0 && errno == ENOENT) return;
    ScoreOptions every;
    every.period.kind = Period::Kind::all;
    every.check = true;
    LedgerScan scan(every, [this](const std::string& path, std::size_t line, const char* why) {
      if (line == 0)
        problems_.in(shown_(path), why);
      else
        problems_.at(shown_(path), line, why);
    });
    scan.each([](const LedgerLine&) {});
  }

  std::size_t problems() const { return problems_.count(); }
  bool ready() const { return euckr_.ready(); }

 private:
  void at_index(std::size_t line, const std::string& what) { problems_.at(kIndex, line, what); }

  void index_record(const IndexLookup& rec, std::size_t line) {
    if (rec.limit <= 0)
      at_index(line, "time limit " + std::to_string(rec.limit) +
                         " is not a positive whole number; typerace does not wait for anyone "
                         "to type the word");
    if (rec.file_cut) {
      at_index(line, "list name is over " + std::to_string(kFileNameMax) +
                         " bytes; it names no file, and a round of this type stops");
      return;
    }
    const std::string name = rec.file.data();
    if (name.size() > kListNameMax)
      at_index(line, "list name " + quoted(shown_, name) + " is over " +
                         std::to_string(kListNameMax) + " bytes; typerace cannot open it");
    if (listed_.count(name)) return;
    if (!open_data_stream((kGameDir + name).c_str())) {
      at_index(line, "list " + quoted(shown_, name) + " cannot be read (" + reason(errno) +
                         "); a round of this type stops");
      return;
    }
    to_read(name);
  }

  void to_read(const std::string& name) {
    if (listed_.insert(name).second) lists_.push_back(name);
  }

  void list(const std::string& name) {
    const std::string file = kGameDir + shown_(name);
    GameFile list;
    if (const int err = list.load((kGameDir + name).c_str())) {
      problems_.in(file, "cannot be read (" + reason(err) + ")");
      return;
    }
    std::vector<char> word(kWordRead + 1);
    std::int32_t strokes = 0;
    if (read_word_record(list.stream(), &strokes, word.data(), word.size()) < 2) {
      problems_.in(file, "no whole record; a round that picks this list stops without a word");
      return;
    }
    // The records each program can play: wherever its picks stop. typerace picks 1 to 3,
    // typestart 0 to 2, and 0 reads to the last record, so the largest is the count.
    std::set<int> played;
    for (int pick : {1, 2, 3, 0}) {
      list.rewind();
      played.insert(pick_word(list.stream(), pick, &strokes, word.data(), word.size()));
    }
    list.rewind();

    int record = 0;
    long end = 0;
    bool told_unplayed = false;
    for (int fields;
         (fields = read_word_record(list.stream(), &strokes, word.data(), word.size())) != EOF;) {
      const std::size_t line = list.line_from(end);
      end = list.offset();
      if (fields == 0) {
        problems_.at(file, line,
                     quoted(shown_, list.token_at(end)) +
                         " is no stroke count; the round programs read no further");
        break;
      }
      if (!played.count(++record) && !told_unplayed) {
        told_unplayed = true;
        problems_.at(file, line, unplayed(record, *played.rbegin() - 1));
      }
      if (fields == 1)
        problems_.at(file, line,
                     "stroke count without a word; a round that picks this record plays the "
                     "word before it");
      else
        check_word(file, line, strokes, word.data());
    }
  }

  // Records that lie between the ones the picks stop at: from `first` to `last`.
  static std::string unplayed(int first, int last) {
    const std::string which =
        first == last ? "record " + std::to_string(first) + " is"
                      : "records " + std::to_string(first) + " to " + std::to_string(last) + " are";
    return which + " never played: typerace plays one of the first three records, typestart one of "
                   "the first two or the last";
  }

  void check_word(const std::string& file, std::size_t line, std::int32_t strokes,
                  std::string_view word) {
    if (word.size() > kListWordMax)
      problems_.at(
          file, line,
          "word is over " + std::to_string(kListWordMax) + " bytes; typerace plays it cut short");
    std::u32string chars;
    std::size_t at = 0;
    const EucKrFault fault = euckr_.decode(word, chars, at);
    const auto byte = [&](std::size_t i) {
      std::array<char, 8> hex;
      std::snprintf(hex.data(), hex.size(), "0x%02X", static_cast<unsigned char>(word[i]));
      return std::string(hex.data());
    };
    const std::string pos = std::to_string(at + 1);
    const std::string bad = "word is not valid EUC-KR: ";
    switch (fault) {
      case EucKrFault::none:
        if (const long long want = word_strokes(chars); want != strokes)
          problems_.at(file, line,
                       (word.size() > kListWordMax ? "the word" : quoted(shown_, word)) +
                           " takes " + std::to_string(want) + " strokes, not " +
                           std::to_string(strokes));
        break;
      case EucKrFault::control:
        problems_.at(file, line, bad + "a control byte (" + byte(at) + ") at byte " + pos);
        break;
      case EucKrFault::stray_byte:
        problems_.at(file, line, bad + "byte " + pos + " (" + byte(at) + ") is no EUC-KR byte");
        break;
      case EucKrFault::lone_lead:
        problems_.at(file, line,
                     bad + "byte " + pos + " (" + byte(at) + ") lacks the second byte of its pair");
        break;
      case EucKrFault::unassigned:
        problems_.at(file, line,
                     bad + "bytes " + pos + "-" + std::to_string(at + 2) + " (" + byte(at) + " " +
                         byte(at + 1) + ") are outside its character set");
        break;
    }
  }

  Problems problems_;
  TerminalText& shown_;
  EucKr euckr_;
  int records_ = 0;
  // The lists to read, each once: those the index names, in its order, then the
  // fallback lists that are there.
  std::vector<std::string> lists_;
  std::set<std::string> listed_;
};

}  // namespace

int check_setup(std::FILE* out, std::FILE* err, TerminalText& shown) {
  Check check(out, shown);
  if (!check.ready()) {
    std::fprintf(err, "typeadmin: no conversion between EUC-KR and UTF-8: %s\n",
                 std::strerror(errno));
    return 1;
  }
  check.directories();
  check.index();
  check.lists();
  check.ledgers();
  const std::size_t n = check.problems();
  if (n == 0)
    std::fputs("no problems\n", out);
  else
    std::fprintf(out, "%zu problem%s\n", n, n == 1 ? "" : "s");
  if (std::fflush(out) != 0 || std::ferror(out)) {
    std::fprintf(err, "typeadmin: standard output: %s\n", std::strerror(errno));
    return 1;
  }
  return n == 0 ? 0 : 1;
}
