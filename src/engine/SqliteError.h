// SQLite's failures as the engine's errors: Russian lines, with the statement.
#pragma once

#include <string>

namespace drs {

// The message of a failure: the engine's own (Russian already) as it
// stands; SQLite's (English, whatever names it quotes) put into Russian and
// followed by "Запрос: <statement>".
std::string EngineMessage(const std::string& raw, const std::string& statement);

// Throws EDBEngineError for a statement that failed with result code `rc`:
// a constraint failure is a value the table refused for one row (Row
// scope), anything else repeats for every row (Table scope).
[[noreturn]] void ThrowStatementError(int rc, const std::string& raw, const std::string& statement);

}  // namespace drs
