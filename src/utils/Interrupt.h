// SIGINT and SIGTERM held back while a write must finish or undo itself:
// inside an InterruptScope they are only noted (Interrupted()); when the
// outermost scope ends, a noted signal is raised again with its default
// action, so the program ends as it was asked to, its files as they were.
// Outside any scope the signals act as they always do.
#pragma once

namespace drs {

class InterruptScope {
 public:
  InterruptScope();
  ~InterruptScope();
  InterruptScope(const InterruptScope&) = delete;
  InterruptScope& operator=(const InterruptScope&) = delete;
};

// A signal came inside the scope.
bool Interrupted();

}  // namespace drs
