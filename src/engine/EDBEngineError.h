// The one error kind of the table engine. Its message is one or more lines
// (separated by '\n') that callers show as the details of a message.
#pragma once

#include <stdexcept>
#include <string>

namespace drs {

class EDBEngineError : public std::runtime_error {
 public:
  // Row: the failure belongs to the values of one row (a text longer than its
  // column, a number that does not fit) and the next row may succeed.
  // Table: everything else, which repeats for every row (no such table, no
  // space, read-only, locked by another program).
  enum class Scope { Table, Row };

  explicit EDBEngineError(const std::string& message, Scope scope = Scope::Table)
      : std::runtime_error(message), scope_(scope) {}

  bool RowOnly() const { return scope_ == Scope::Row; }

 private:
  Scope scope_;
};

}  // namespace drs
