#include "export/Export.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <stdexcept>

#include "deals/DealList.h"
#include "engine/DbfFile.h"
#include "engine/EDBEngineError.h"
#include "engine/Query.h"
#include "engine/TablePath.h"
#include "export/ExportLines.h"
#include "export/ExportProgress.h"
#include "export/GroupedInsert.h"
#include "export/MakeDBF.h"
#include "export/Reconciliation.h"
#include "export/TableLocation.h"
#include "support/Messages.h"
#include "utils/FileIO.h"

namespace drs {

namespace {

const std::vector<std::string> kInsertDeal = {
    "insert into %M (CLIENTID,TICKER,OPERTYPE,PRICE,QTY,DATES,SDEL,BROCID)", "values",
    "(:CLIENTID,:TICKER,:OPERTYPE,:PRICE,:QTY,:DATE,:SDEL,:BROCID)"};
const char kOutputViewSql[] = "select CLIENTID,TICKER,OPERTYPE,PRICE,QTY,DATES,SDEL,BROCID from %M";

// The file the operator named, as this system's files see it ('\'
// separates folders too): the file of that exact name, else the one file
// whose name differs only in letter case, else the new file to create.
std::string FilePath(const TableLocation& loc) {
  std::string path = loc.file;
  for (char& c : path)
    if (c == '\\') c = '/';
  try {
    return ResolveNamedFile(path);
  } catch (const EDBEngineError&) {
    return path;
  }
}

// The run's table, its folder made absolute once: every statement of the run
// then names the same file without asking for the working folder again.
// Messages keep the path as the operator gave it.
TableLocation AnchoredTable(const std::string& name) {
  TableLocation loc = LocateTable(name);
  try {
    const std::string folder = ResolveFolder(loc.folder);
    if (folder != loc.folder) {
      const size_t sep = loc.file.find_last_of("/\\");
      loc.file = (folder == "/" ? "" : folder) + "/" +
                 (sep == std::string::npos ? loc.file : loc.file.substr(sep + 1));
      loc.folder = folder;
    }
  } catch (const EDBEngineError&) {
    // no working folder: the statements report it
  }
  return loc;
}

// The first eight columns must be the output columns in order, exactly, each
// of the kind of value export writes into it.
bool HasOutputColumns(const TQuery& check) {
  const std::vector<std::string> names = check.FieldNames();
  if (names.size() < kOutputColumns.size()) return false;
  for (size_t i = 0; i < kOutputColumns.size(); ++i) {
    if (names[i] != kOutputColumns[i]) return false;
    const FieldKind kind = check.Field(int(i)).kind;
    const bool numeric = kind == FieldKind::Integer || kind == FieldKind::Float;
    const bool fits = i == 2 || i == 3 || i == 4 ? numeric
                      : i == 5                   ? kind == FieldKind::Date
                                                 : kind == FieldKind::Text;
    if (!fits) return false;
  }
  return true;
}

void PrepareStatement(TQuery& query, const TableLocation& loc, const std::string& sql) {
  query.Close();
  query.SetDatabaseName(loc.folder);
  query.SetTableFile(loc.table, FilePath(loc));
  query.SetSQL(sql);
  query.SetMacro("M", MacroTableName(loc.table));
  query.RegenerateSQL();
}

const char kWriteFailed[] = "Ошибка записи в выходной файл";

// The closing message of a run that did not write every line.
void ShowNotWritten(size_t failed, size_t total, bool journaled) {
  ShowError("Не записано строк: " + std::to_string(failed) + " из " + std::to_string(total) +
            (journaled ? ". Ошибки строк записаны в журнал." : "."));
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
  TDBF dbf;
  dbf.AddField("CLIENTID", 'C', 16, 0);
  dbf.AddField("TICKER", 'C', 50, 0);
  dbf.AddField("OPERTYPE", 'N', 6, 0);
  dbf.AddField("PRICE", 'N', 20, 5);
  dbf.AddField("QTY", 'N', 20, 5);
  dbf.AddField("DATES", 'D', 8, 0);
  dbf.AddField("SDEL", 'C', 11, 0);
  dbf.AddField("BROCID", 'C', 16, 0);
  dbf.FileName = path;
  return dbf.CreateTable(error);
}

bool OpenOutputView(TQuery& view, const std::string& outFileName) {
  const TableLocation loc = LocateTable(outFileName);
  try {
    PrepareStatement(view, loc, kOutputViewSql);
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
  const TableLocation loc = AnchoredTable(settings.outFileName);
  const std::string path = FilePath(loc);
  outputView.Close();

  // Questions and the column check first; the table is not touched yet.
  enum class Action { Create, Clear, Append } action;
  if (FileExists(path)) {
    if (settings.writeMode == 0) {
      if (!AskQuestion("Выходной файл существует и будет перезаписан, продолжать?")) return result;
      try {
        TQuery check;
        check.SetDatabaseName(loc.folder);
        check.SetTableFile(loc.table, path);
        check.SetSQL("select * from " + QuoteIdentifier(loc.table));
        check.Open();
        const bool matches = HasOutputColumns(check);
        check.Close();
        if (!matches) {
          ShowError("Файл не соответствует  формату!");
          return result;
        }
      } catch (const EDBEngineError& e) {
        ShowExceptionQuestion(e, "Ошибка очистки выходного файла");
        return result;
      }
      action = Action::Clear;
    } else if (settings.writeMode == 1) {
      if (!AskQuestion("Выходной файл существует,режим дозаписи, продолжать?")) return result;
      action = Action::Append;
    } else {
      ShowError("Определите режим записи");
      return result;
    }
  } else {
    if (!AskQuestion("Создать файл " + loc.path + " ?")) return result;
    action = Action::Create;
  }

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
  result.lines = lines.Size();
  int year = 0, month = 0, day = 0;
  if (lines.Size() > 0 && !ParseTradeDate(settings.tradeDate, year, month, day)) {
    ShowError("Неверная дата торгов \"" + settings.tradeDate +
              "\": нужна дата вида ДД.ММ.ГГГГ. В выходной файл ничего не записано.");
    return result;
  }

  const size_t n = lines.Size();
  if (action == Action::Create) {
    std::string cause;
    if (!CreateOutputTable(path, &cause)) {
      // Nothing could be written: the reason once, not a failure per line.
      ShowExceptionInfo(std::runtime_error("Не могу создать файл " + loc.path + ": " + cause), kWriteFailed);
      result.failedLines = n;
      ShowNotWritten(n, n, false);
      return result;
    }
  } else if (action == Action::Clear) {
    try {
      TQuery clear;
      clear.SetDatabaseName(loc.folder);
      clear.SetTableFile(loc.table, path);
      clear.SetSQL("delete from " + QuoteIdentifier(loc.table));
      clear.ExecSQL();
    } catch (const EDBEngineError& e) {
      ShowExceptionQuestion(e, "Ошибка очистки выходного файла");
      return result;
    }
  }

  // glue until TableWriter: the record numbers this export inserted, in
  // runs, so that only these are read back.
  std::vector<std::pair<int64_t, int64_t>> inserted;
  auto wrote = [&inserted](int64_t record) {
    if (!inserted.empty() && inserted.back().second + 1 == record)
      inserted.back().second = record;
    else
      inserted.emplace_back(record, record);
  };

  GroupedInsert insert(loc.folder, kInsertDeal, loc.table, kWriteFailed);
  insert.Query().SetTableFile(loc.table, path);
  TQuery& params = insert.Query();
  if (n > 0) {
    params.SetDate("DATE", year, month, day);
    params.SetString("BROCID", settings.brokerAcc);
  }
  const size_t clientId = params.ParamIndex("CLIENTID"), ticker = params.ParamIndex("TICKER"),
               operType = params.ParamIndex("OPERTYPE"), price = params.ParamIndex("PRICE"),
               qty = params.ParamIndex("QTY"), sdel = params.ParamIndex("SDEL");
  progress.Begin("Экспорт данных в " + loc.table, {" Экспорт данных"});
  ProgressScope scope{progress};
  // A failure of one line's values is shown for the first few lines, every
  // one goes into the journal; a failure of the table stops the run at once.
  RepeatedMessages rowErrors;
  size_t written = 0;
  bool stopped = false;
  try {
    for (size_t i = 0; i < n; ++i) {
      const ExportLine& line = lines.Lines()[i];
      try {
        params.SetString(clientId, lines.Account(line));
        params.SetString(ticker, lines.Ticker(line));
        params.SetFloat(operType, OperTypeOf(lines.OperCode(line)));
        params.SetFloat(price, line.price);
        params.SetFloat(qty, line.quantity);
        params.SetString(sdel, lines.Number(line));
        insert.Execute();
        wrote(params.LastInsertRowId());
        ++written;
      } catch (const EDBEngineError& e) {
        if (e.RowOnly()) {
          control.Refused(lines, line);  // glue until TableWriter: refused by its insert
          rowErrors.ExceptionInfo(e, kWriteFailed, "Строка " + std::to_string(i + 1) + ":");
        } else {
          ShowExceptionInfo(e, kWriteFailed);
          stopped = true;
          break;  // the display stays where the failure came
        }
      }
      progress.ShowProgress(0, static_cast<long long>(i + 1), static_cast<long long>(n));
    }
  } catch (...) {
    insert.Commit();  // a cancel keeps the lines inserted so far
    throw;
  }
  insert.Commit();
  result.failedLines = n - written + insert.Lost();
  if (result.failedLines > 0) {
    // Not "Готово" over a full bar: the display goes, the count is shown.
    scope.End();
    ShowNotWritten(result.failedLines, n, rowErrors.Count() > 0);
    if (stopped || insert.Lost() > 0) return result;
  } else {
    progress.WaitDone();
  }
  // glue until TableWriter: the inserted records read back from the table
  // by their numbers (rows another writer appends meanwhile are not this
  // export's).
  std::shared_ptr<DbfFile> file;
  std::vector<DbfField> fields;
  try {
    file = DbfFile::Acquire(path);
    if (!file->Current(true)) file = DbfFile::Acquire(path);
    fields = file->Fields();
  } catch (const EDBEngineError&) {
    file.reset();  // the reading back tells why
  }
  result.control = control.Finish(fields, [&](const std::function<void(const char*, uint32_t)>& visit) {
    if (!file) file = DbfFile::Acquire(path);
    const uint32_t chunk = std::max<uint32_t>(1, (1u << 20) / file->RecordLength());
    std::string buffer;
    for (const auto& [first, last] : inserted) {
      const int64_t end = std::min<int64_t>(last, file->RecordCount());
      for (int64_t at = std::max<int64_t>(first, 1); at <= end;) {
        const uint32_t n = uint32_t(std::min<int64_t>(chunk, end - at + 1));
        file->ReadRecords(uint32_t(at - 1), n, buffer);
        visit(buffer.data(), n);
        at += n;
      }
    }
  });

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
