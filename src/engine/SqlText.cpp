#include "engine/SqlText.h"

#include <sqlite3.h>

#include <bit>
#include <cctype>
#include <cstring>

#include "engine/EDBEngineError.h"
#include "utils/Errors.h"
#include "utils/TextCase.h"
#include "utils/Utils.h"

namespace drs {

namespace {

bool IsWordChar(unsigned char c) { return c == '_' || std::isalnum(c) || c >= 0x80; }

// The statement without its final ORDER BY when nothing follows it.
// Anything else (a LIMIT after it, text it cannot follow) is kept.
std::string WithoutFinalOrder(const std::string& text) {
  size_t orderAt = std::string::npos;
  int depth = 0;
  auto word = [&](size_t i, const char* w) {
    size_t n = std::strlen(w);
    if (i + n > text.size() || (i > 0 && IsWordChar(static_cast<unsigned char>(text[i - 1])))) return false;
    for (size_t k = 0; k < n; ++k)
      if (std::tolower(static_cast<unsigned char>(text[i + k])) != w[k]) return false;
    return i + n == text.size() || !IsWordChar(static_cast<unsigned char>(text[i + n]));
  };
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\'' || c == '"' || c == '`' || c == '[') {
      char close = c == '[' ? ']' : c;
      size_t end = text.find(close, i + 1);
      if (end == std::string::npos) return text;
      i = end;  // a doubled quote is two quoted parts in a row
    } else if (c == '-' && i + 1 < text.size() && text[i + 1] == '-') {
      size_t end = text.find('\n', i);
      if (end == std::string::npos) return text;
      i = end;
    } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
      size_t end = text.find("*/", i + 2);
      if (end == std::string::npos) return text;
      i = end + 1;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      --depth;
    } else if (depth == 0 && word(i, "order")) {
      size_t j = i + 5;
      while (j < text.size() && std::isspace(static_cast<unsigned char>(text[j]))) ++j;
      if (word(j, "by")) orderAt = i;
    } else if (depth == 0 && orderAt != std::string::npos && (word(i, "limit") || word(i, "offset"))) {
      return text;
    }
  }
  return orderAt == std::string::npos ? text : text.substr(0, orderAt);
}

}  // namespace

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return SameText(a, b);
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 0x80 || y >= 0x80) return SameText(a, b);
    if (std::tolower(x) != std::tolower(y)) return false;
  }
  return true;
}

std::string CountStatement(const std::string& text) {
  std::string inner = WithoutFinalOrder(text);
  while (!inner.empty() && (std::isspace(static_cast<unsigned char>(inner.back())) || inner.back() == ';'))
    inner.pop_back();
  return "select count(*) from (" + inner + "\n)";
}

void SqlText::SetMacro(const std::string& name, const std::string& value) { macros_[FoldCase(name)] = value; }

std::string SqlText::MacroValue(const std::string& name) const {
  auto it = macros_.find(FoldCase(name));
  return it == macros_.end() ? "0=0" : it->second;
}

bool SqlText::Regenerate() {
  std::string out;
  const std::string& t = template_;
  bool inString = false, inName = false;
  for (size_t i = 0; i < t.size(); ++i) {
    char c = t[i];
    if (c == '\'' && !inName) inString = !inString;
    if (c == '"' && !inString) inName = !inName;
    if (c == '%' && !inString && !inName && i + 1 < t.size() &&
        IsWordChar(static_cast<unsigned char>(t[i + 1]))) {
      size_t j = i + 1;
      while (j < t.size() && IsWordChar(static_cast<unsigned char>(t[j]))) ++j;
      out += MacroValue(t.substr(i + 1, j - i - 1));
      i = j - 1;
      continue;
    }
    out += c;
  }
  if (out == text_) return false;
  text_ = std::move(out);
  return true;
}

SqlText::Param& SqlText::ParamSlot(const std::string& name) {
  if (!params_.empty()) {
    size_t next = (lastSlot_ + 1) % params_.size();
    if (params_[next].name == name) return params_[lastSlot_ = next];
  }
  for (size_t i = 0; i < params_.size(); ++i)
    if (params_[i].name == name) return params_[lastSlot_ = i];
  for (auto& p : params_)
    if (SameName(p.name, name)) return p;
  if (params_.size() == params_.capacity()) ++layout_;
  params_.push_back({name, DbValue::Null()});
  return params_.back();
}

size_t SqlText::ParamIndex(const std::string& name) { return size_t(&ParamSlot(name) - params_.data()); }

void SqlText::SetString(size_t index, std::string_view value) {
  Param& p = params_[index];
  // The same value again (a row's ticker like the last one's) is bound already.
  if (p.set && p.value.kind == DbValue::Kind::Text && p.value.text == value) return;
  p.value.kind = DbValue::Kind::Text;
  p.value.text.assign(value);
  p.set = true;
  p.version = ++changes_;
}

void SqlText::SetFloat(size_t index, double value) {
  Param& p = params_[index];
  if (p.set && p.value.kind == DbValue::Kind::Real &&
      std::bit_cast<uint64_t>(p.value.real) == std::bit_cast<uint64_t>(value))
    return;
  p.value = DbValue::Float(value);
  p.set = true;
  p.version = ++changes_;
}

void SqlText::SetString(const std::string& name, const std::string& value) {
  Param& p = ParamSlot(name);
  p.value.kind = DbValue::Kind::Text;
  p.value.text = value;
  p.set = true;
  p.version = ++changes_;
}

void SqlText::SetFloat(const std::string& name, double value) {
  Param& p = ParamSlot(name);
  p.value = DbValue::Float(value);
  p.set = true;
  p.version = ++changes_;
}

void SqlText::SetDate(const std::string& name, int year, int month, int day) {
  if (!ValidDate(year, month, day))
    throw EConvertError("Неверная дата: " + std::to_string(day) + "." + std::to_string(month) + "." +
                        std::to_string(year));
  char b[11] = {char('0' + year / 1000),
                char('0' + year / 100 % 10),
                char('0' + year / 10 % 10),
                char('0' + year % 10),
                '-',
                char('0' + month / 10),
                char('0' + month % 10),
                '-',
                char('0' + day / 10),
                char('0' + day % 10),
                0};
  Param& p = ParamSlot(name);
  p.value.kind = DbValue::Kind::Text;
  p.value.text.assign(b, 10);
  p.set = true;
  p.version = ++changes_;
}

void SqlText::SetNull(const std::string& name) {
  Param& p = ParamSlot(name);
  p.value = DbValue::Null();
  p.set = true;
  p.version = ++changes_;
}

BoundSlots SqlText::SlotsFor(sqlite3_stmt* stmt) {
  BoundSlots bound;
  std::vector<int>& slots = bound.paramSlots;
  int n = sqlite3_bind_parameter_count(stmt);
  for (int i = 1; i <= n; ++i) {
    const char* pname = sqlite3_bind_parameter_name(stmt, i);
    if (!pname) throw EDBEngineError("Параметр без имени в запросе\nЗапрос: " + text_);
    std::string name = pname + 1;  // without ':'
    ParamSlot(name);
    int slot = 0;
    for (; slot < int(params_.size()); ++slot)
      if (SameName(params_[size_t(slot)].name, name)) break;
    slots.push_back(slot);
  }
  bound.bound.assign(slots.size(), 0);
  return bound;
}

void SqlText::Bind(sqlite3_stmt* stmt, BoundSlots& bound, bool borrow) const {
  // Text bound without a copy points into the parameters: when they moved,
  // every value is bound again.
  if (bound.layout != layout_) {
    bound.bound.assign(bound.paramSlots.size(), 0);
    bound.layout = layout_;
  }
  for (size_t i = 0; i < bound.paramSlots.size(); ++i) {
    const Param& p = params_[size_t(bound.paramSlots[i])];
    if (!p.set) {
      sqlite3_reset(stmt);
      throw EDBEngineError("Не задано значение параметра " + p.name);
    }
    // Bound already: unchanged, and copied when a copy is asked for.
    const uint64_t was = bound.bound[i];
    if (was >> 1 == p.version && (borrow || (was & 1) != 0)) continue;
    bound.bound[i] = p.version << 1 | (borrow ? 0 : 1);
    int at = int(i) + 1;
    switch (p.value.kind) {
      case DbValue::Kind::Null:
        sqlite3_bind_null(stmt, at);
        break;
      case DbValue::Kind::Int:
        sqlite3_bind_int64(stmt, at, p.value.integer);
        break;
      case DbValue::Kind::Real:
        sqlite3_bind_double(stmt, at, p.value.real);
        break;
      case DbValue::Kind::Text: {
        const std::string& t = p.value.text;
        // A length of -1 tells SQLite the text ends in a NUL, so readers of
        // the value need no terminated copy; text holding NULs keeps its size.
        int n = std::memchr(t.data(), 0, t.size()) ? int(t.size()) : -1;
        sqlite3_bind_text(stmt, at, t.c_str(), n, borrow ? SQLITE_STATIC : SQLITE_TRANSIENT);
        break;
      }
    }
  }
}

}  // namespace drs
