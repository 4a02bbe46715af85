// Which signals end a program of this suite while it holds files that others rely on,
// and how: one list and one way, used by every program that has something to clean up
// or a file to replace.
#pragma once

#include <signal.h>

#include <array>

// Every signal whose default is to end the program, but SIGKILL and SIGSTOP, which
// cannot be caught, and SIGPIPE and SIGXFSZ, which are ignored instead, so that the
// write that meets them fails with an error rather than ending the program half-way.
inline constexpr std::array<int, 10> kEndingSignals = {
    SIGTERM, SIGHUP, SIGINT, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGXCPU, SIGPROF};

// The ending signals as a set.
sigset_t ending_signals();

// Ignores SIGPIPE and SIGXFSZ, and runs `clean_up` (when given) on every ending signal
// that the program did not inherit as ignored: a server run under nohup, or started in
// the background by a script, ignores some of them for its children on purpose, and
// those stay ignored. The other ending signals are held off while `clean_up` runs.
void catch_endings(void (*clean_up)(int sig));

// Holds the ending signals off for its lifetime: one that comes meanwhile waits and is
// taken when the holder goes, so a step that must not be cut in two never is.
class EndingsHeld {
 public:
  EndingsHeld();
  ~EndingsHeld();
  EndingsHeld(const EndingsHeld&) = delete;
  EndingsHeld& operator=(const EndingsHeld&) = delete;

 private:
  sigset_t old_;
};

// Ends the program by `sig` with its default action, as if nothing had caught it, so the
// parent sees the signal that ended it. Safe inside a signal handler.
[[noreturn]] void end_by_signal(int sig);
