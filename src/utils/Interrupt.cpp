#include "utils/Interrupt.h"

#include <csignal>

#include "platform/Process.h"

namespace drs {

namespace {

volatile std::sig_atomic_t noted = 0;
int depth = 0;

void Note(int signal) { noted = signal; }

}  // namespace

InterruptScope::InterruptScope() {
  if (depth++ > 0) return;
  noted = 0;
  platform::HoldInterrupts(Note);
}

InterruptScope::~InterruptScope() {
  if (--depth > 0) return;
  platform::RestoreInterrupts();
  if (const int signal = noted) {
    noted = 0;
    // As the signal would have acted: a handler of the program's own, or the
    // default (the end of the program).
    platform::RaiseInterrupt(signal);
  }
}

bool Interrupted() { return noted != 0; }

}  // namespace drs
