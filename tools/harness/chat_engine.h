// The stand-in for the server's chat engine, as the round programs meet it: it watches a
// room and group's answer file, and while that holds a word it appends each finisher's
// line "<time> <user id> <token>" to the results file. ChatRoom is the engine itself, for
// a caller that plays the server step by step (play mode); ChatEngine runs it on a thread
// of its own with finishers due at set delays (the tests, the demonstration, the soak).
#pragma once

#include <sys/types.h>

#include <ctime>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace harness {

class Scratch;

class ChatRoom {
 public:
  // The room and group's files in the working directory `dir`.
  ChatRoom(const std::string& dir, int room, int group);

  // The word the answer file holds now; empty while it holds none.
  std::string current_word() const;
  // Looks at the answer file: the first word seen is kept, with `now` as its time.
  // Whether the answer file holds a word now.
  bool look(std::time_t now);
  bool word_out() const { return word_time_ != 0; }
  const std::string& word() const { return word_; }
  std::time_t word_time() const { return word_time_; }
  mode_t word_mode() const { return word_mode_; }  // the answer file's permissions then

  // Appends a finisher's line, "<now> <user> <token>", whole, in one write.
  void finish(std::string_view user, std::string_view token, std::time_t now) const;
  // Appends `line` as it is, and a line feed: what a chat engine gone wrong may write.
  void append_line(std::string_view line) const;

  const std::string& answer_path() const { return answer_; }
  const std::string& results_path() const { return results_; }

 private:
  std::string answer_, results_;
  std::string word_;
  std::time_t word_time_ = 0;
  mode_t word_mode_ = 0;
};

// A finisher as the server's chat engine records one: `delay_s` whole seconds after the
// word appeared in the answer file, the line "<time> <user> <token>" is appended.
struct Finisher {
  int delay_s;
  std::string user;
  std::string token = "typed";
  bool raw = false;  // write `user` as the whole line instead
};

// The chat engine of one room and group on a thread: waits until the answer file holds a
// word, then appends the finishers' lines to the results file in order, as long as the
// answer file still holds the word.
class ChatEngine {
 public:
  ChatEngine(const Scratch& dir, int room, int group, std::vector<Finisher> finishers,
             int give_up_ms = 60000);
  ~ChatEngine();
  ChatEngine(const ChatEngine&) = delete;
  ChatEngine& operator=(const ChatEngine&) = delete;

  // Joins the engine; returns the word it saw in the answer file (empty if none).
  std::string join();
  long word_time() const { return static_cast<long>(room_.word_time()); }  // time() then
  mode_t word_mode() const { return room_.word_mode(); }

 private:
  ChatRoom room_;
  std::thread thread_;
  bool joined_ = false;
};

}  // namespace harness
