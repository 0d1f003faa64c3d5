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

}  // namespace drs
