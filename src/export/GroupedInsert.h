// One insert statement executed once per row, the rows grouped into
// transactions of the table engine so that the table file is not rewritten
// for every row. A group is written when it is full, before a failing row is
// given back to the caller, and at Commit, so every row that reported success
// is in the file by the time the caller reports anything.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "engine/Query.h"

namespace drs {

class GroupedInsert {
 public:
  // `caption` is shown with the engine's message when writing a group fails.
  GroupedInsert(const std::string& folder, std::vector<std::string> sqlLines, std::string macroTable,
                std::string caption);
  ~GroupedInsert();  // writes the open group
  GroupedInsert(const GroupedInsert&) = delete;
  GroupedInsert& operator=(const GroupedInsert&) = delete;

  // The statement's parameters; values stay bound between rows.
  TQuery& Query() { return query_; }
  // Runs the statement for one row. Its EDBEngineError reaches the caller
  // after the rows before it were written.
  void Execute();
  // Writes the open group. A failure is reported under the caption; its
  // rows are counted as lost.
  void Commit() noexcept;
  size_t Lost() const { return lost_; }

 private:
  static constexpr size_t kGroupRows = 4096;
  void Begin();

  TQuery query_;
  std::string folder_;
  std::vector<std::string> sql_;
  std::string macroTable_;
  std::string caption_;
  bool inTransaction_ = false;
  bool noTransactions_ = false;
  bool prepared_ = false;
  bool resolved_ = false;
  size_t pending_ = 0;
  size_t lost_ = 0;
};

}  // namespace drs
