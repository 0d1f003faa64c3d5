#include "export/Turnovers.h"

#include <cstdio>
#include <stdexcept>

#include "engine/DbfFile.h"
#include "engine/Query.h"
#include "export/TableLocation.h"
#include "export/TurnoverPairing.h"
#include "export/TurnoverSums.h"
#include "export/TurnoverTable.h"
#include "export/TurnoverView.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "support/Messages.h"
#include "utils/FileIO.h"
#include "utils/TextCase.h"

namespace drs {

namespace {

const char kCantOpen[] = "Не могу открыть запрос";
const char kCantCompute[] = "Ошибка при расчете оборотов";

// "" when it cannot be told: the engine then reports it.
std::string CurrentFolder() { return platform::CurrentFolder(); }

// The files of the folder named `fileName` in any letter case.
std::vector<std::string> TableFiles(const std::string& folder, const std::string& fileName) {
  const std::string wanted = FoldCase(fileName);
  std::vector<std::string> found;
  std::vector<std::string> names;
  if (platform::ListFolder(folder.empty() ? "." : folder, names)) {
    for (const std::string& name : names)
      if (FoldCase(name) == wanted)
        found.push_back(platform::FolderPrefix(folder.empty() ? "." : folder) + name);
  }
  return found;
}

// Whether the output deal table is one of the files the rebuild of
// `fileName` in `cwd` would delete: the file named, or any file the engine
// could take for its table name, compared as files (links and other
// spellings of the same file included).
bool ReadsTurnoverTable(const TableLocation& loc, const std::string& cwd, const std::string& fileName) {
  std::string path = loc.path, folder = loc.folder;
  for (std::string* text : {&path, &folder})
    for (char& c : *text)
      if (c == '\\') c = '/';
  std::vector<std::string> candidates = {path};
  if (!loc.table.empty()) {
    for (const std::string& f : TableFiles(folder, loc.table + ".DBF")) candidates.push_back(f);
  }
  for (const std::string& doomed : TableFiles(cwd, fileName)) {
    for (const std::string& c : candidates)
      if (platform::SameFile(c, doomed)) return true;
  }
  return false;
}

}  // namespace

bool CreateTurnoverTable(const std::string& path, bool byAccount, std::string* error) {
  return DbfFile::Replace(path, TurnoverTableBytes(byAccount), error);
}

std::vector<TurnoverColumn> TurnoverColumns(int mode) {
  std::vector<TurnoverColumn> columns;
  if (mode != kTurnoverBySecurity && mode != kTurnoverByAccount) return columns;
  if (mode == kTurnoverByAccount) columns.push_back({"clientid", "Номер ", 45, ""});
  columns.push_back({"ticker", "Наименование ЦБ ", 125, ""});
  columns.push_back({"buy", "Куплено ", 65, ",0"});
  columns.push_back({"sal", "Продано", 65, ",0"});
  columns.push_back({"saldo", "Сальдо.", 65, ",0"});
  return columns;
}

TurnoverResult ComputeTurnovers(const std::string& outFileName, int mode, TQuery& view) {
  TurnoverResult result;
  if (mode != kTurnoverBySecurity && mode != kTurnoverByAccount) return result;
  const bool byAccount = mode == kTurnoverByAccount;
  const std::string cwd = CurrentFolder();
  const TableLocation loc = LocateTable(outFileName);
  const char* fileName = byAccount ? "CLOb.DBF" : "ShOb.DBF";
  if (ReadsTurnoverTable(loc, cwd, fileName)) {
    ShowError(std::string("Выходной файл ") + loc.path + " является таблицей оборотов " + fileName +
              " в текущей папке: расчет оборотов удалил бы его. Укажите другой выходной файл.");
    return result;
  }

  std::vector<TurnoverRow> rows;
  try {
    TurnoverPairing pairing;
    if (!SumTurnoversByScan(loc.file, byAccount, pairing))
      SumTurnoversByQuery(loc.folder, loc.table, loc.file, byAccount, pairing);
    rows = pairing.Finish();
  } catch (const EDBEngineError& e) {
    ShowExceptionInfo(e, kCantOpen);
    return result;
  }

  view.Close();
  // The table is made anew beside the old one and takes its place in one
  // step; any failure leaves the old one. The engine finds a table without
  // regard to case, so a stale "SHOB.DBF" beside a new "ShOb.DBF" could be
  // read instead: other spellings go once the new table is in place.
  const std::string path = platform::FolderPrefix(cwd) + fileName;
  const std::vector<std::string> spellings = TableFiles(cwd, fileName);
  try {
    for (const std::string& other : spellings)
      if (other != path && !platform::CanWrite(other))
        throw EDBEngineError("Файл " + other + " открыт только для чтения");
    WriteTurnoverTable(path, byAccount, rows);
  } catch (const EDBEngineError& e) {
    ShowExceptionInfo(e, kCantCompute);
    return result;
  }
  for (const std::string& other : spellings)
    if (other != path) RemoveFile(other);

  try {
    view.SetDatabaseName(cwd);
    view.SetRequestLive(false);
    view.SetSQL(byAccount ? "select clientid,ticker,buy,sal,saldo from clob order by clientid,ticker"
                          : "select ticker,buy,sal,saldo from shob order by ticker");
    // The rows are at hand: the view takes their order from them and reads
    // the records back only as they are shown.
    view.OpenFrom(TurnoverViewRows(platform::FolderPrefix(cwd) + fileName, byAccount, rows));
    result.recordCount = view.RecordCount();
  } catch (const EDBEngineError& e) {
    view.Close();
    ShowExceptionInfo(e, kCantOpen);
    return result;
  }
  result.shown = true;
  result.recordCountText = std::to_string(result.recordCount);
  result.columns = TurnoverColumns(mode);
  return result;
}

}  // namespace drs
