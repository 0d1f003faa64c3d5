#include "utils/Interrupt.h"

#include <signal.h>

namespace drs {

namespace {

volatile sig_atomic_t noted = 0;
int depth = 0;
struct sigaction before[2];
constexpr int kSignals[2] = {SIGINT, SIGTERM};

void Note(int signal) { noted = signal; }

}  // namespace

InterruptScope::InterruptScope() {
  if (depth++ > 0) return;
  noted = 0;
  struct sigaction held {};
  held.sa_handler = Note;
  sigemptyset(&held.sa_mask);
  for (int i = 0; i < 2; ++i) {
    ::sigaction(kSignals[i], &held, &before[i]);
    // A signal ignored on entry (a background job's SIGINT) stays ignored.
    if (before[i].sa_handler == SIG_IGN) ::sigaction(kSignals[i], &before[i], nullptr);
  }
}

InterruptScope::~InterruptScope() {
  if (--depth > 0) return;
  for (int i = 0; i < 2; ++i) ::sigaction(kSignals[i], &before[i], nullptr);
  if (const int signal = noted) {
    noted = 0;
    // As the signal would have acted: a handler of the program's own, or the
    // default (the end of the program).
    ::raise(signal);
  }
}

bool Interrupted() { return noted != 0; }

}  // namespace drs
