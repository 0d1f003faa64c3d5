#include "engine/SqlName.h"

#include <sqlite3.h>

#include <cctype>
#include <cstring>

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

namespace drs {

namespace {

// One token of a statement: a name (bare or quoted, unquoted here), or a
// single character of punctuation; strings and comments are passed over.
struct Token {
  enum Kind { End, Name, QuotedName, Punct } kind = End;
  std::string text;
};

class Tokens {
 public:
  explicit Tokens(std::string_view sql) : sql_(sql) {}

  Token Next() {
    for (;;) {
      while (at_ < sql_.size() && std::isspace(static_cast<unsigned char>(sql_[at_]))) ++at_;
      if (at_ >= sql_.size()) return {};
      if (sql_.compare(at_, 2, "--") == 0) {
        while (at_ < sql_.size() && sql_[at_] != '\n') ++at_;
      } else if (sql_.compare(at_, 2, "/*") == 0) {
        const size_t end = sql_.find("*/", at_ + 2);
        at_ = end == std::string_view::npos ? sql_.size() : end + 2;
      } else if (sql_[at_] == '\'') {
        Quoted('\'');  // a string: not a name
      } else {
        break;
      }
    }
    const char c = sql_[at_];
    if (c == '"' || c == '`') return {Token::QuotedName, Quoted(c)};
    if (c == '[') {
      const size_t end = sql_.find(']', at_);
      const size_t stop = end == std::string_view::npos ? sql_.size() : end;
      Token t{Token::QuotedName, std::string(sql_.substr(at_ + 1, stop - at_ - 1))};
      at_ = stop + 1;
      return t;
    }
    if (IsNameChar(c)) {
      const size_t from = at_;
      while (at_ < sql_.size() && IsNameChar(sql_[at_])) ++at_;
      return {Token::Name, std::string(sql_.substr(from, at_ - from))};
    }
    ++at_;
    return {Token::Punct, std::string(1, c)};
  }

 private:
  static bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' || (c & 0x80);
  }
  // The text between quote characters `q`, a doubled one standing for itself.
  std::string Quoted(char q) {
    std::string text;
    for (++at_; at_ < sql_.size(); ++at_) {
      if (sql_[at_] != q) {
        text += sql_[at_];
      } else if (at_ + 1 < sql_.size() && sql_[at_ + 1] == q) {
        text += q;
        ++at_;
      } else {
        ++at_;
        break;
      }
    }
    return text;
  }

  std::string_view sql_;
  size_t at_ = 0;
};

bool Is(const Token& t, const char* word) {
  if (t.kind != Token::Name || t.text.size() != std::strlen(word)) return false;
  for (size_t i = 0; i < t.text.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(t.text[i])) != word[i]) return false;
  return true;
}

// Words after a table that end its alias-less place in a FROM list.
bool EndsTable(const Token& t) {
  for (const char* word :
       {"WHERE",  "GROUP",   "ORDER",  "LIMIT",   "JOIN",   "LEFT",    "RIGHT",  "FULL",      "INNER",
        "CROSS",  "NATURAL", "OUTER",  "ON",      "USING",  "UNION",   "EXCEPT", "INTERSECT", "HAVING",
        "WINDOW", "SET",     "VALUES", "DEFAULT", "SELECT", "INDEXED", "NOT"})
    if (Is(t, word)) return true;
  return false;
}

}  // namespace

std::vector<std::string> TableNamesIn(std::string_view sql) {
  std::vector<std::string> names;
  Tokens tokens(sql);
  Token t = tokens.Next();
  while (t.kind != Token::End) {
    const bool list = Is(t, "FROM");
    if (!list && !Is(t, "JOIN") && !Is(t, "INTO") && !Is(t, "UPDATE")) {
      t = tokens.Next();
      continue;
    }
    t = tokens.Next();
    for (;;) {
      if (t.kind != Token::Name && t.kind != Token::QuotedName) break;  // a subquery or no table
      std::string name = t.text;
      t = tokens.Next();
      if (t.kind == Token::Punct && t.text == ".") {  // schema.table: the table
        t = tokens.Next();
        if (t.kind != Token::Name && t.kind != Token::QuotedName) break;
        name = t.text;
        t = tokens.Next();
      }
      names.push_back(name);
      if (Is(t, "AS")) t = tokens.Next();
      if ((t.kind == Token::Name && !EndsTable(t)) || t.kind == Token::QuotedName)
        t = tokens.Next();  // alias
      if (!list || t.kind != Token::Punct || t.text != ",") break;
      t = tokens.Next();
    }
  }
  return names;
}

}  // namespace drs
