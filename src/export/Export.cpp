#include "export/Export.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "deals/DealList.h"
#include "engine/DbfFile.h"
#include "engine/Query.h"
#include "engine/SqlName.h"
#include "engine/TablePath.h"
#include "engine/TableWriter.h"
#include "export/ExportLines.h"
#include "export/ExportProgress.h"
#include "export/MakeDBF.h"
#include "export/OutputRecords.h"
#include "export/Reconciliation.h"
#include "export/TableLocation.h"
#include "platform/Paths.h"
#include "support/Messages.h"
#include "support/Progress.h"
#include "utils/FileIO.h"
#include "utils/Interrupt.h"
#include "utils/TextCase.h"

namespace drs {

namespace {

const char kOutputViewSql[] = "select CLIENTID,TICKER,OPERTYPE,PRICE,QTY,DATES,SDEL,BROCID from %M";
const char kWriteFailed[] = "Ошибка записи в выходной файл";

// The output deal table as TDBF writes it.
TDBF OutputTableDefinition() {
  TDBF dbf;
  dbf.AddField("CLIENTID", 'C', 16, 0);
  dbf.AddField("TICKER", 'C', 50, 0);
  dbf.AddField("OPERTYPE", 'N', 6, 0);
  dbf.AddField("PRICE", 'N', 20, 5);
  dbf.AddField("QTY", 'N', 20, 5);
  dbf.AddField("DATES", 'D', 8, 0);
  dbf.AddField("SDEL", 'C', 11, 0);
  dbf.AddField("BROCID", 'C', 16, 0);
  return dbf;
}

// The first eight columns must be the output columns in order, exactly,
// each of the kind of value export writes into it and at least as wide and
// with as many decimals as the table this program creates.
bool HasOutputColumns(const std::vector<DbfField>& fields) {
  const TDBF own = OutputTableDefinition();
  if (fields.size() < own.Fields().size()) return false;
  for (size_t i = 0; i < own.Fields().size(); ++i) {
    const DbfField& f = fields[i];
    const DbfField& want = own.Fields()[i];
    if (f.name != want.name) return false;
    const bool kind = want.type == 'N' ? f.type == 'N' || f.type == 'F' : f.type == want.type;
    if (!kind || f.length < want.length || f.decimals < want.decimals) return false;
  }
  return true;
}

bool SameFields(const std::vector<DbfField>& a, const std::vector<DbfField>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].name != b[i].name || a[i].type != b[i].type || a[i].length != b[i].length ||
        a[i].decimals != b[i].decimals || a[i].codePage != b[i].codePage)
      return false;
  return true;
}

// The file a new table of this name would be: the path, absolute.
std::string NewFilePath(const std::string& file) {
  std::string path = file;
  for (char& c : path)
    if (c == '\\') c = '/';
  const size_t sep = path.find_last_of('/');
  const std::string folder = ResolveFolder(sep == std::string::npos ? std::string() : path.substr(0, sep));
  return platform::FolderPrefix(folder) + (sep == std::string::npos ? path : path.substr(sep + 1));
}

void PrepareStatement(TQuery& query, const TableLocation& loc, const std::string& file,
                      const std::string& sql) {
  // SQLite takes no table without a name nor one named sqlite_...: such a
  // file is named for the statement by a name of its own.
  std::string table = loc.table;
  if (table.empty() || FoldCase(table).rfind("sqlite_", 0) == 0) table = "drs_output_table";
  query.Close();
  query.SetDatabaseName(loc.folder);
  query.SetTableFile(table, file);
  query.SetSQL(sql);
  query.SetMacro("M", MacroTableName(table));
  query.RegenerateSQL();
}

// The closing message of a run that did not write every line.
void ShowNotWritten(size_t failed, size_t total, bool journaled) {
  ShowError("Не записано строк: " + std::to_string(failed) + " из " + std::to_string(total) +
            (journaled ? ". Ошибки строк записаны в журнал." : "."));
}

// What the table holds after a run that changed nothing.
std::string UnchangedText(const TableLocation& loc, int64_t records) {
  if (records < 0) return "Файл " + loc.path + " не создан";
  return "Таблица " + loc.table + " не изменена, записей в ней: " + std::to_string(records);
}

// Ends the progress display however the run ends.
struct ProgressScope {
  ExportProgress& progress;
  bool ended = false;
  void End() noexcept {
    if (!ended) progress.End();
    ended = true;
  }
  ~ProgressScope() { End(); }
};

}  // namespace

bool CreateOutputTable(const std::string& path, std::string* error) {
  TDBF dbf = OutputTableDefinition();
  dbf.FileName = path;
  return dbf.CreateTable(error);
}

bool OpenOutputView(TQuery& view, const std::string& outFileName) {
  const TableLocation loc = LocateTable(outFileName);
  try {
    std::string file = FindNamedFile(loc.file);
    PrepareStatement(view, loc, file.empty() ? NewFilePath(loc.file) : file, kOutputViewSql);
    view.SetRequestLive(true);
    view.Open();
  } catch (const EDBEngineError& e) {
    view.Close();
    ShowExceptionInfo(e, "Не могу открыть файл");
    return false;
  }
  return true;
}

ExportResult ExportMarkedDeals(const DealList& deals, const ExportSettings& settings,
                               ExportProgress& progress, TQuery& outputView) {
  return ExportMarkedDeals(ExportSource{deals.Grid(), deals.Format(), deals.Marks(), deals.Lists()}, settings,
                           progress, outputView);
}

ExportResult ExportMarkedDeals(const ExportSource& source, const ExportSettings& settings,
                               ExportProgress& progress, TQuery& outputView) {
  ExportResult result;
  if (source.grid.RowCount() < 2 || source.marks.Empty()) {
    ShowError("Нет отмеченных сделок!");
    return result;
  }
  // The one file of the run, resolved once: a name that matches several
  // files by letter case is refused, never a third file made beside them.
  const TableLocation loc = LocateTable(settings.outFileName);
  std::string path;
  try {
    path = FindNamedFile(loc.file);
    if (path.empty()) path = NewFilePath(loc.file);
  } catch (const EDBEngineError& e) {
    ShowExceptionInfo(e, kWriteFailed);
    return result;
  }
  outputView.Close();

  // Questions and the column check first; the table is not touched yet.
  TableWriter::Mode mode;
  std::vector<DbfField> fields;
  int64_t before = -1;  // records of the table before the run; -1: no table
  auto tableFields = [&] {
    std::shared_ptr<DbfFile> file = DbfFile::Acquire(path);
    fields = file->Fields();
    before = file->RecordCount();
    return file;
  };
  if (FileExists(path)) {
    if (settings.writeMode == 0) {
      if (!AskQuestion("Выходной файл существует и будет перезаписан, продолжать?")) return result;
      try {
        if (!tableFields()->Writable()) throw EDBEngineError("Файл " + path + " открыт только для чтения");
      } catch (const EDBEngineError& e) {
        ShowExceptionQuestion(e, "Ошибка очистки выходного файла");
        return result;
      }
      if (!HasOutputColumns(fields)) {
        ShowError("Файл не соответствует  формату!");
        return result;
      }
      mode = TableWriter::Mode::Replace;
    } else if (settings.writeMode == 1) {
      if (!AskQuestion("Выходной файл существует,режим дозаписи, продолжать?")) return result;
      mode = TableWriter::Mode::Append;
    } else {
      ShowError("Определите режим записи");
      return result;
    }
  } else {
    if (!AskQuestion("Создать файл " + loc.path + " ?")) return result;
    mode = TableWriter::Mode::Create;
  }
  auto unchanged = [&] {
    result.failedLines = result.lines;  // none is in the table
    result.recordCount = before;
    result.tableState = UnchangedText(loc, before);
  };

  // Every line and the date are checked before anything is written, so a bad
  // deal never costs the operator yesterday's table.
  // The control totals are taken as the build reads the deals.
  ExportControl control(source, settings.squeezeClients);
  ExportLines lines(source);
  ExportBuildError error = lines.Build(settings.squeezeOrders, &control);
  if (!error && settings.squeezeClients) error = lines.SqueezeClients();
  if (error) {
    ShowError(error.message);
    return result;
  }
  const size_t n = lines.Size();
  result.lines = n;
  int year = 0, month = 0, day = 0;
  if (n > 0 && !ParseTradeDate(settings.tradeDate, year, month, day)) {
    ShowError("Неверная дата торгов \"" + settings.tradeDate +
              "\": нужна дата вида ДД.ММ.ГГГГ. В выходной файл ничего не записано.");
    return result;
  }
  if (n == 0) year = 1995, month = 12, day = 28;  // no row carries it

  // The table the rows go into. Every line is decided against its columns
  // as it is encoded; a refused line is never written, and nothing becomes
  // the table's before every line is decided.
  TDBF own = OutputTableDefinition();
  const std::string newTable = mode == TableWriter::Mode::Create ? own.HeaderBytes() : std::string();
  std::optional<OutputRecords> records;
  try {
    // Overwrite has read the table's fields for its check already.
    if (mode == TableWriter::Mode::Create)
      fields = own.Fields();
    else if (mode == TableWriter::Mode::Append)
      tableFields();
    records.emplace(fields, loc.table, year, month, day, settings.brokerAcc);
  } catch (const EDBEngineError& e) {
    ShowExceptionInfo(e, kWriteFailed);
    unchanged();
    return result;
  }

  // Lines the table refused, reported once the run is over: a handful of
  // dialogs, every one into the journal, then their number.
  std::vector<std::pair<size_t, EDBEngineError>> refusals;
  auto reportRefusals = [&] {
    RepeatedMessages rowErrors;
    for (const auto& [line, error] : refusals)
      rowErrors.ExceptionInfo(error, kWriteFailed, "Строка " + std::to_string(line + 1) + ":");
    ShowNotWritten(refusals.size(), n, rowErrors.Count() > 0);
  };

  // One transaction: the rows are written where no reader sees them,
  // reconciled from the file, and made the table's in one step. A cancel, a
  // closed window, a signal, a failure or a mismatch leaves the table as it
  // was.
  {
    InterruptScope interruptible;
    try {
      std::optional<TableWriter> opened;
      try {
        opened.emplace(path, mode, newTable);
      } catch (const EDBEngineError& e) {
        // Where the old table would be cleared, its failure says so.
        if (mode != TableWriter::Mode::Replace) throw;
        ShowExceptionQuestion(e, "Ошибка очистки выходного файла");
        unchanged();
        return result;
      }
      TableWriter& writer = *opened;
      if (!SameFields(writer.Fields(), fields))
        throw EDBEngineError("Таблица " + path + " изменена другой программой во время экспорта");
      progress.Begin("Экспорт данных в " + loc.table, {" Экспорт данных"});
      ProgressScope scope{progress};
      const size_t length = records->RecordLength();
      constexpr size_t kChunkRecords = 4096;
      std::string chunk(kChunkRecords * length, ' ');
      uint32_t inChunk = 0;
      for (size_t i = 0; i < n; ++i) {
        const ExportLine& line = lines.Lines()[i];
        try {
          records->Encode(lines, line, chunk.data() + inChunk * length);
          if (++inChunk == kChunkRecords) {
            writer.Add(chunk.data(), inChunk);
            inChunk = 0;
          }
        } catch (const EDBEngineError& e) {
          if (!e.RowOnly()) throw;
          refusals.emplace_back(i, e);
          control.Refused(lines, line);
        }
        if (Interrupted())
          throw EProgressTerminate(
              " Экспорт данных",
              ProgressCounterText(static_cast<long long>(i + 1), static_cast<long long>(n)),
              static_cast<long long>(i + 1));
        progress.ShowProgress(0, static_cast<long long>(i + 1), static_cast<long long>(n));
      }
      result.failedLines = refusals.size();
      if (n > 0 && refusals.size() == n) {
        // No row to write: the table stays byte for byte, a new one is not made.
        writer.Rollback();
        scope.End();
        reportRefusals();
        unchanged();
        return result;
      }
      writer.Add(chunk.data(), inChunk);
      writer.Flush();  // a full disk is a failure to write, not to read back
      result.control = control.Finish(writer.Fields(), [&](const auto& visit) { writer.ReadBack(visit); });
      if (!result.control->Agrees()) {
        writer.Rollback();
        scope.End();
        control.ShowDifferences(*result.control);
        unchanged();
        return result;
      }
      if (Interrupted()) throw EProgressTerminate(" Экспорт данных", ProgressCounterText(0, -1), 0);
      writer.Commit();
      result.written = writer.Added();
      if (!refusals.empty()) {
        // Not "Готово" over a full bar: the display goes, the count is shown.
        scope.End();
        reportRefusals();
      } else {
        progress.WaitDone();
      }
    } catch (const EProgressTerminate& e) {
      result.cancelled = true;
      result.cancelMessage = e.what();
      unchanged();
      return result;
    } catch (const EDBEngineError& e) {
      // A failure of the table (a full disk, a lock, a read-only file): once.
      ShowExceptionInfo(e, kWriteFailed);
      unchanged();
      return result;
    }
  }

  int64_t total = static_cast<int64_t>(result.written);
  if (mode == TableWriter::Mode::Append) {
    try {
      total = DbfFile::Acquire(path)->LiveCount();
    } catch (const EDBEngineError&) {
      total += std::max<int64_t>(before, 0);  // as counted before, the view says the rest
    }
  }
  result.tableState = "В таблицу " + loc.table + " записано строк: " + std::to_string(result.written) +
                      ", записей в ней: " + std::to_string(total);
  result.recordCount = total;
  if (!settings.reopenView) {
    result.recordCountText = std::to_string(total);
    result.finished = true;
    return result;
  }
  if (OpenOutputView(outputView, settings.outFileName)) {
    try {
      result.recordCount = outputView.RecordCount();
      result.recordCountText = std::to_string(result.recordCount);
    } catch (const EDBEngineError& e) {
      ShowExceptionInfo(e, "Не могу открыть файл");
      return result;
    }
    result.finished = true;
  }
  return result;
}

}  // namespace drs
