// A statement's text: the template with its %NAME macros, the text made
// from them, and the values of its named parameters :NAME.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "engine/DbValue.h"

struct sqlite3_stmt;

namespace drs {

// Parameter and column names compare without regard to case.
bool SameName(const std::string& a, const std::string& b);

// The statement that counts the rows of select `text` (its final ORDER BY
// left out when nothing follows it: order never changes the count, and
// sorting is the dear part of it).
std::string CountStatement(const std::string& text);

// The parameters of one prepared statement: the slot of each, and the value
// each was last bound to, so that a value unchanged since is not bound again.
struct BoundSlots {
  std::vector<int> paramSlots;
  // Per slot: twice the version of the value when bound (0: never), plus 1
  // when SQLite took a copy of it.
  std::vector<uint64_t> bound;
  uint64_t layout = 0;  // of the parameters when bound: values that moved are bound again
};

class SqlText {
 public:
  void SetTemplate(const std::string& text) { template_ = text; }
  const std::string& Template() const { return template_; }
  // Macros %NAME in the template; each holds "0=0" until set.
  void SetMacro(const std::string& name, const std::string& value);
  std::string MacroValue(const std::string& name) const;
  // Replaces the macros of the template by their values (never inside
  // quotes); true when that changed the text.
  bool Regenerate();
  // The statement as it will be prepared.
  const std::string& Text() const { return text_; }

  // Named parameters; values stay set until changed.
  void SetString(const std::string& name, const std::string& value);
  void SetFloat(const std::string& name, double value);
  void SetDate(const std::string& name, int year, int month, int day);
  void SetNull(const std::string& name);
  // A parameter's index, for setting it on every row without looking its
  // name up each time; it stays valid for the life of this text.
  size_t ParamIndex(const std::string& name);
  void SetString(size_t index, std::string_view value);
  void SetFloat(size_t index, double value);

  // The parameter slot of each parameter of a prepared statement, in order.
  BoundSlots SlotsFor(sqlite3_stmt* stmt);
  // Binds the values that changed since they were last bound to `stmt`; a
  // parameter without a value fails (the statement is reset). `borrow`: text
  // is bound without a copy, only for a statement stepped to its end before
  // any value can change.
  void Bind(sqlite3_stmt* stmt, BoundSlots& bound, bool borrow = false) const;

 private:
  struct Param {
    std::string name;
    DbValue value;
    bool set = false;
    uint64_t version = 0;  // of its value, from changes_
  };
  Param& ParamSlot(const std::string& name);

  std::string template_;
  std::string text_;
  std::map<std::string, std::string> macros_;  // folded name -> value
  std::vector<Param> params_;
  size_t lastSlot_ = 0;   // parameters are mostly set in order
  uint64_t changes_ = 0;  // values set so far
  uint64_t layout_ = 1;   // bumped when the parameters move in memory
};

}  // namespace drs
