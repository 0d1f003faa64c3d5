#include "engine/SqliteError.h"

#include <sqlite3.h>

#include <regex>
#include <utility>

#include "engine/EDBEngineError.h"

namespace drs {

std::string EngineMessage(const std::string& raw, const std::string& statement) {
  // The engine's own messages are Russian; SQLite's are English, though the
  // names they quote may be Cyrillic, and begin with a Latin word.
  bool russian = false;
  for (unsigned char c : raw)
    if (c >= 0x80) russian = true;
  if (russian && static_cast<unsigned char>(raw[0]) >= 0x80) return raw;
  static const std::pair<std::regex, const char*> kKnown[] = {
      {std::regex("no such column: (.*)"), "Нет такого поля: $1"},
      {std::regex("table (.*) has no column named (.*)"), "В таблице $1 нет поля $2"},
      {std::regex("(\\d+) values for (\\d+) columns"), "Число значений ($1) не равно числу полей ($2)"},
      {std::regex("near \"(.*)\": syntax error"), "Синтаксическая ошибка в запросе около \"$1\""},
      {std::regex(".*syntax error.*|incomplete input"), "Синтаксическая ошибка в запросе"},
      {std::regex("no such table: (.*)"), "Таблица $1 не найдена"},
      {std::regex("no such function: (.*)"), "Нет такой функции: $1"},
      {std::regex("ambiguous column name: (.*)"), "Неоднозначное имя поля: $1"},
      {std::regex("misuse of aggregate.*"), "Неверное использование итоговой функции"},
      {std::regex("wrong number of arguments to function (.*)\\(\\)"),
       "Неверное число аргументов функции $1"},
      {std::regex("(too many|too few) columns.*|.*columns in result.*"), "Неверное число полей в запросе"},
      {std::regex("out of memory"), "Недостаточно памяти"},
      {std::regex("interrupted"), "Запрос прерван"},
  };
  for (const auto& [pattern, text] : kKnown)
    if (std::regex_match(raw, pattern))
      return std::regex_replace(raw, pattern, text) + "\nЗапрос: " + statement;
  if (russian) return raw;
  return "Ошибка выполнения запроса\nЗапрос: " + statement;
}

void ThrowStatementError(int rc, const std::string& raw, const std::string& statement) {
  const auto scope =
      (rc & 0xff) == SQLITE_CONSTRAINT ? EDBEngineError::Scope::Row : EDBEngineError::Scope::Table;
  throw EDBEngineError(EngineMessage(raw, statement), scope);
}

}  // namespace drs
