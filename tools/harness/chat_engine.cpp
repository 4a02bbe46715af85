#include "chat_engine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "handles.h"
#include "harness.h"
#include "internal.h"
#include "round_names.h"

namespace harness {

namespace {

// How often the engine looks at the answer file, and at the clock for a finisher.
constexpr useconds_t kLookEveryUs = 5000;
constexpr useconds_t kFinishLookEveryUs = 10000;

}  // namespace

using internal::now_ms;

ChatRoom::ChatRoom(const std::string& dir, int room, int group) {
  RoundPath answer, results;
  ::answer_path(room, group, answer);
  ::results_path(room, group, results);
  answer_ = dir + "/" + answer.data();
  results_ = dir + "/" + results.data();
}

std::string ChatRoom::current_word() const {
  std::string out;
  if (File f{std::fopen(answer_.c_str(), "rb")}) {
    char buf[512];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f.get())) > 0;) out.append(buf, n);
  }
  return out;
}

bool ChatRoom::look(std::time_t now) {
  std::string w = current_word();
  if (w.empty()) return false;
  if (!word_out()) {
    word_ = w;
    word_time_ = now;
    struct stat st;
    if (stat(answer_.c_str(), &st) == 0) word_mode_ = st.st_mode & 07777;
  }
  return true;
}

void ChatRoom::finish(std::string_view user, std::string_view token, std::time_t now) const {
  append_line(std::to_string(static_cast<long long>(now)) + " " + std::string(user) + " " +
              std::string(token));
}

void ChatRoom::append_line(std::string_view line) const {
  const std::string whole = std::string(line) + "\n";
  Fd f{open(results_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666)};
  if (!f) return;
  ssize_t w = write(f.fd, whole.data(), whole.size());
  (void)w;
}

ChatEngine::ChatEngine(const Scratch& dir, int room, int group, std::vector<Finisher> finishers,
                       int give_up_ms)
    : room_(dir.path(), room, group) {
  thread_ = std::thread([this, finishers, give_up_ms] {
    const long end = now_ms() + give_up_ms;
    while (now_ms() < end && !room_.look(std::time(nullptr))) usleep(kLookEveryUs);
    if (!room_.word_out()) return;
    for (const auto& f : finishers) {
      const std::time_t due = room_.word_time() + f.delay_s;
      while (std::time(nullptr) < due) usleep(kFinishLookEveryUs);
      // A finish is taken only while the answer file holds the word.
      if (room_.current_word().empty()) break;
      if (f.raw)
        room_.append_line(f.user);
      else
        room_.finish(f.user, f.token, std::time(nullptr));
    }
  });
}

ChatEngine::~ChatEngine() { join(); }

std::string ChatEngine::join() {
  if (!joined_ && thread_.joinable()) thread_.join();
  joined_ = true;
  return room_.word();
}

}  // namespace harness
