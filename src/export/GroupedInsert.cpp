#include "export/GroupedInsert.h"

#include "engine/TablePath.h"
#include "support/Messages.h"

namespace drs {

GroupedInsert::GroupedInsert(const std::string& folder, std::vector<std::string> sqlLines,
                             std::string macroTable, std::string caption)
    : folder_(folder),
      sql_(std::move(sqlLines)),
      macroTable_(std::move(macroTable)),
      caption_(std::move(caption)) {
  query_.SetDatabaseName(folder);
}

GroupedInsert::~GroupedInsert() { Commit(); }

void GroupedInsert::Begin() {
  if (!resolved_) {
    // A relative folder is resolved once for the run, not by every row's
    // statement asking the system for the working folder.
    query_.SetDatabaseName(ResolveFolder(folder_));
    resolved_ = true;
  }
  if (!noTransactions_) {
    prepared_ = false;
    try {
      query_.SetSQL("begin");
      query_.ExecSQL();
      inTransaction_ = true;
    } catch (const EDBEngineError&) {
      noTransactions_ = true;  // each row then stands alone
    }
  }
  if (!prepared_) {
    query_.SetSQL(sql_);
    if (!macroTable_.empty()) query_.SetMacro("M", MacroTableName(macroTable_));
    query_.RegenerateSQL();
    prepared_ = true;
  }
}

void GroupedInsert::Execute() {
  if (!inTransaction_) Begin();
  try {
    query_.ExecSQL();
  } catch (const EDBEngineError&) {
    // The engine may drop the whole group with the failed statement: settle
    // the rows before it first.
    Commit();
    throw;
  }
  if (inTransaction_ && ++pending_ >= kGroupRows) Commit();
}

void GroupedInsert::Commit() noexcept {
  if (!inTransaction_) return;
  inTransaction_ = false;
  prepared_ = false;
  try {
    query_.SetSQL("commit");
    query_.ExecSQL();
  } catch (const EDBEngineError& e) {
    lost_ += pending_;
    try {
      ShowExceptionInfo(e, caption_);
      query_.SetSQL("rollback");
      query_.ExecSQL();
    } catch (...) {
      // no transaction left to undo
    }
  } catch (...) {
    lost_ += pending_;
  }
  pending_ = 0;
}

}  // namespace drs
