#include "engine/SqlName.h"

#include <sqlite3.h>

#include <cctype>

namespace drs {

std::string QuoteIdentifier(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

std::string MacroTableName(const std::string& table) {
  bool plain = !table.empty() && !std::isdigit(static_cast<unsigned char>(table[0]));
  for (unsigned char c : table)
    if (c != '_' && !std::isalnum(c) && c < 0x80) plain = false;
  if (plain && sqlite3_keyword_check(table.data(), int(table.size()))) plain = false;
  return plain ? table : QuoteIdentifier(table);
}

bool WholeTableDelete(std::string_view sql, std::string& table) {
  size_t at = 0;
  auto blanks = [&] {
    const size_t from = at;
    while (at < sql.size() && std::isspace(static_cast<unsigned char>(sql[at]))) ++at;
    return at > from;
  };
  auto word = [&](std::string_view w) {
    if (sql.size() - at < w.size()) return false;
    for (size_t i = 0; i < w.size(); ++i)
      if (std::tolower(static_cast<unsigned char>(sql[at + i])) != w[i]) return false;
    at += w.size();
    return true;
  };
  blanks();
  if (!word("delete") || !blanks() || !word("from") || !blanks()) return false;
  table.clear();
  if (at < sql.size() && sql[at] == '"') {
    for (++at;; ++at) {
      if (at >= sql.size()) return false;
      if (sql[at] == '"') {
        if (at + 1 < sql.size() && sql[at + 1] == '"') {
          ++at;
        } else {
          ++at;
          break;
        }
      }
      table += sql[at];
    }
  } else {
    while (at < sql.size()) {
      const auto c = static_cast<unsigned char>(sql[at]);
      if (c != '_' && !std::isalnum(c) && c < 0x80) break;
      table += sql[at++];
    }
    if (table.empty() || std::isdigit(static_cast<unsigned char>(table[0]))) return false;
  }
  for (; at < sql.size(); ++at)
    if (!std::isspace(static_cast<unsigned char>(sql[at])) && sql[at] != ';') return false;
  return !table.empty();
}

}  // namespace drs
