#include "export/Export.h"

#include "deals/DealList.h"
#include "engine/Query.h"
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

// The path as this system's files see it: '\' separates folders too.
std::string FilePath(const TableLocation& loc) {
  std::string path = loc.path;
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

// The first eight columns must be the output columns in order, exactly.
bool HasOutputColumns(const std::vector<std::string>& names) {
  if (names.size() < kOutputColumns.size()) return false;
  for (size_t i = 0; i < kOutputColumns.size(); ++i) {
    if (names[i] != kOutputColumns[i]) return false;
  }
  return true;
}

void PrepareStatement(TQuery& query, const TableLocation& loc, const std::string& sql) {
  query.Close();
  query.SetDatabaseName(loc.folder);
  query.SetSQL(sql);
  query.SetMacro("M", MacroTableName(loc.table));
  query.RegenerateSQL();
}

// Ends the progress display however the run ends.
struct ProgressScope {
  ExportProgress& progress;
  ~ProgressScope() { progress.End(); }
};

}  // namespace

bool CreateOutputTable(const std::string& path) {
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
  return dbf.CreateTable();
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
  const TableLocation loc = LocateTable(settings.outFileName);
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
        check.SetSQL("select * from \"" + loc.table + "\"");
        check.Open();
        const std::vector<std::string> names = check.FieldNames();
        check.Close();
        if (!HasOutputColumns(names)) {
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
  ExportLines lines(source);
  ExportBuildError error = lines.Build(settings.squeezeOrders);
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

  if (action == Action::Create) {
    // A failure shows at the first insert, reported there.
    CreateOutputTable(path);
  } else if (action == Action::Clear) {
    try {
      TQuery clear;
      clear.SetDatabaseName(loc.folder);
      clear.SetSQL("delete from \"" + loc.table + "\"");
      clear.ExecSQL();
    } catch (const EDBEngineError& e) {
      ShowExceptionQuestion(e, "Ошибка очистки выходного файла");
      return result;
    }
  }

  ExportControl control(source, settings.squeezeOrders, settings.squeezeClients);
  control.Start(loc.folder, loc.table, action == Action::Append);

  const size_t n = lines.Size();
  GroupedInsert insert(loc.folder, kInsertDeal, loc.table, "Ошибка записи в выходной файл");
  TQuery& params = insert.Query();
  if (n > 0) {
    params.SetDate("DATE", year, month, day);
    params.SetString("BROCID", settings.brokerAcc);
  }
  progress.Begin("Экспорт данных в " + loc.table, {" Экспорт данных"});
  ProgressScope scope{progress};
  try {
    for (size_t i = 0; i < n; ++i) {
      const ExportLine& line = lines.Lines()[i];
      try {
        params.SetString("CLIENTID", std::string(lines.Account(line)));
        params.SetString("TICKER", std::string(lines.Ticker(line)));
        params.SetFloat("OPERTYPE", OperTypeOf(lines.OperCode(line)));
        params.SetFloat("PRICE", line.price);
        params.SetFloat("QTY", line.quantity);
        params.SetString("SDEL", std::string(lines.Number(line)));
        insert.Execute();
      } catch (const EDBEngineError& e) {
        ++result.failedLines;
        ShowExceptionInfo(e, "Ошибка записи в выходной файл");
      }
      progress.ShowProgress(0, static_cast<long long>(i + 1), static_cast<long long>(n));
    }
  } catch (...) {
    insert.Commit();  // a cancel keeps the lines inserted so far
    throw;
  }
  insert.Commit();
  result.failedLines += insert.Lost();
  progress.WaitDone();
  result.control = control.Finish();

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
