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

namespace {

// One export run, step by step; a step that returns false has ended the run
// with `result` as it stands.
class ExportRun {
 public:
  ExportRun(const ExportSource& source, const ExportSettings& settings, ExportProgress& progress)
      : source_(source), settings_(settings), progress_(progress) {}

  ExportResult result;

  // The one file of the run, resolved once: a name that matches several
  // files by letter case is refused, never a third file made beside them.
  bool Locate() {
    if (source_.grid.RowCount() < 2 || source_.marks.Empty()) {
      ShowError("Нет отмеченных сделок!");
      return false;
    }
    loc_ = LocateTable(settings_.outFileName);
    try {
      path_ = FindNamedFile(loc_.file);
      if (path_.empty()) path_ = NewFilePath(loc_.file);
    } catch (const EDBEngineError& e) {
      ShowExceptionInfo(e, kWriteFailed);
      return false;
    }
    return true;
  }

  // Questions and the column check; the table is not touched yet.
  bool ChooseMode() {
    if (!FileExists(path_)) {
      if (!AskQuestion("Создать файл " + loc_.path + " ?")) return false;
      mode_ = TableWriter::Mode::Create;
      return true;
    }
    if (settings_.writeMode == 0) {
      if (!AskQuestion("Выходной файл существует и будет перезаписан, продолжать?")) return false;
      try {
        if (!TableFields()->Writable()) throw EDBEngineError("Файл " + path_ + " открыт только для чтения");
      } catch (const EDBEngineError& e) {
        ShowExceptionQuestion(e, "Ошибка очистки выходного файла");
        return false;
      }
      if (!HasOutputColumns(fields_)) {
        ShowError("Файл не соответствует  формату!");
        return false;
      }
      mode_ = TableWriter::Mode::Replace;
      return true;
    }
    if (settings_.writeMode == 1) {
      if (!AskQuestion("Выходной файл существует,режим дозаписи, продолжать?")) return false;
      mode_ = TableWriter::Mode::Append;
      return true;
    }
    ShowError("Определите режим записи");
    return false;
  }

  // Every line and the date are checked before anything is written, so a
  // bad deal never costs the operator yesterday's table. The control totals
  // are taken as the build reads the deals.
  bool BuildLines() {
    control_.emplace(source_, settings_.squeezeClients);
    lines_.emplace(source_);
    ExportBuildError error = lines_->Build(settings_.squeezeOrders, &*control_);
    if (!error && settings_.squeezeClients) error = lines_->SqueezeClients();
    if (error) {
      ShowError(error.message);
      return false;
    }
    n_ = lines_->Size();
    result.lines = n_;
    if (n_ > 0 && !ParseTradeDate(settings_.tradeDate, year_, month_, day_)) {
      ShowError("Неверная дата торгов \"" + settings_.tradeDate +
                "\": нужна дата вида ДД.ММ.ГГГГ. В выходной файл ничего не записано.");
      return false;
    }
    if (n_ == 0) year_ = 1995, month_ = 12, day_ = 28;  // no row carries it
    return true;
  }

  // The table the rows go into. Every line is decided against its columns
  // as it is encoded; a refused line is never written, and nothing becomes
  // the table's before every line is decided.
  bool OpenRecords() {
    TDBF own = OutputTableDefinition();
    if (mode_ == TableWriter::Mode::Create) newTable_ = own.HeaderBytes();
    try {
      // Overwrite has read the table's fields for its check already.
      if (mode_ == TableWriter::Mode::Create)
        fields_ = own.Fields();
      else if (mode_ == TableWriter::Mode::Append)
        TableFields();
      records_.emplace(fields_, loc_.table, year_, month_, day_, settings_.brokerAcc);
    } catch (const EDBEngineError& e) {
      ShowExceptionInfo(e, kWriteFailed);
      Unchanged();
      return false;
    }
    return true;
  }

  // One transaction: the rows are written where no reader sees them,
  // reconciled from the file, and made the table's in one step. A cancel, a
  // closed window, a signal, a failure or a mismatch leaves the table as it
  // was.
  bool Write() {
    InterruptScope interruptible;
    try {
      std::optional<TableWriter> opened;
      if (!OpenWriter(opened)) return false;
      TableWriter& writer = *opened;
      if (!SameFields(writer.Fields(), fields_))
        throw EDBEngineError("Таблица " + path_ + " изменена другой программой во время экспорта");
      progress_.Begin("Экспорт данных в " + loc_.table, {" Экспорт данных"});
      ProgressScope scope{progress_};
      EncodeLines(writer);
      return Conclude(writer, scope);
    } catch (const EProgressTerminate& e) {
      result.cancelled = true;
      result.cancelMessage = e.what();
      Unchanged();
      return false;
    } catch (const EDBEngineError& e) {
      // A failure of the table (a full disk, a lock, a read-only file): once.
      ShowExceptionInfo(e, kWriteFailed);
      Unchanged();
      return false;
    }
  }

  // The records the table holds now, and the view reopened on it.
  void Finish(TQuery& outputView) {
    int64_t total = static_cast<int64_t>(result.written);
    if (mode_ == TableWriter::Mode::Append) {
      try {
        total = DbfFile::Acquire(path_)->LiveCount();
      } catch (const EDBEngineError&) {
        total += std::max<int64_t>(before_, 0);  // as counted before, the view says the rest
      }
    }
    result.tableState = "В таблицу " + loc_.table + " записано строк: " + std::to_string(result.written) +
                        ", записей в ней: " + std::to_string(total);
    result.recordCount = total;
    if (!settings_.reopenView) {
      result.recordCountText = std::to_string(total);
      result.finished = true;
      return;
    }
    if (OpenOutputView(outputView, settings_.outFileName)) {
      try {
        result.recordCount = outputView.RecordCount();
        result.recordCountText = std::to_string(result.recordCount);
      } catch (const EDBEngineError& e) {
        ShowExceptionInfo(e, "Не могу открыть файл");
        return;
      }
      result.finished = true;
    }
  }

 private:
  std::shared_ptr<DbfFile> TableFields() {
    std::shared_ptr<DbfFile> file = DbfFile::Acquire(path_);
    fields_ = file->Fields();
    before_ = file->RecordCount();
    return file;
  }

  void Unchanged() {
    result.failedLines = result.lines;  // none is in the table
    result.recordCount = before_;
    result.tableState = UnchangedText(loc_, before_);
  }

  bool OpenWriter(std::optional<TableWriter>& opened) {
    try {
      opened.emplace(path_, mode_, newTable_);
    } catch (const EDBEngineError& e) {
      // Where the old table would be cleared, its failure says so.
      if (mode_ != TableWriter::Mode::Replace) throw;
      ShowExceptionQuestion(e, "Ошибка очистки выходного файла");
      Unchanged();
      return false;
    }
    return true;
  }

  // Every line into the writer in chunks of records, the last chunk left
  // in `chunk_`; a line the table refuses is kept aside.
  void EncodeLines(TableWriter& writer) {
    const size_t length = records_->RecordLength();
    constexpr size_t kChunkRecords = 4096;
    chunk_.assign(kChunkRecords * length, ' ');
    inChunk_ = 0;
    for (size_t i = 0; i < n_; ++i) {
      const ExportLine& line = lines_->Lines()[i];
      try {
        records_->Encode(*lines_, line, chunk_.data() + inChunk_ * length);
        if (++inChunk_ == kChunkRecords) {
          writer.Add(chunk_.data(), inChunk_);
          inChunk_ = 0;
        }
      } catch (const EDBEngineError& e) {
        if (!e.RowOnly()) throw;
        refusals_.emplace_back(i, e);
        control_->Refused(*lines_, line);
      }
      if (Interrupted())
        throw EProgressTerminate(
            " Экспорт данных", ProgressCounterText(static_cast<long long>(i + 1), static_cast<long long>(n_)),
            static_cast<long long>(i + 1));
      progress_.ShowProgress(0, static_cast<long long>(i + 1), static_cast<long long>(n_));
    }
  }

  // Rolls back a run that wrote no row or whose totals disagree, else
  // commits.
  bool Conclude(TableWriter& writer, ProgressScope& scope) {
    result.failedLines = refusals_.size();
    if (n_ > 0 && refusals_.size() == n_) {
      // No row to write: the table stays byte for byte, a new one is not made.
      writer.Rollback();
      scope.End();
      ReportRefusals();
      Unchanged();
      return false;
    }
    writer.Add(chunk_.data(), inChunk_);
    writer.Flush();  // a full disk is a failure to write, not to read back
    result.control = control_->Finish(writer.Fields(), [&](const auto& visit) { writer.ReadBack(visit); });
    if (!result.control->Agrees()) {
      writer.Rollback();
      scope.End();
      control_->ShowDifferences(*result.control);
      Unchanged();
      return false;
    }
    if (Interrupted()) throw EProgressTerminate(" Экспорт данных", ProgressCounterText(0, -1), 0);
    writer.Commit();
    result.written = writer.Added();
    if (!refusals_.empty()) {
      // Not "Готово" over a full bar: the display goes, the count is shown.
      scope.End();
      ReportRefusals();
    } else {
      progress_.WaitDone();
    }
    return true;
  }

  // Lines the table refused, reported once the run is over: a handful of
  // dialogs, every one into the journal, then their number.
  void ReportRefusals() {
    RepeatedMessages rowErrors;
    for (const auto& [line, error] : refusals_)
      rowErrors.ExceptionInfo(error, kWriteFailed, "Строка " + std::to_string(line + 1) + ":");
    ShowNotWritten(refusals_.size(), n_, rowErrors.Count() > 0);
  }

  const ExportSource& source_;
  const ExportSettings& settings_;
  ExportProgress& progress_;
  TableLocation loc_;
  std::string path_;
  TableWriter::Mode mode_ = TableWriter::Mode::Create;
  std::vector<DbfField> fields_;
  int64_t before_ = -1;  // records of the table before the run; -1: no table
  std::optional<ExportControl> control_;
  std::optional<ExportLines> lines_;
  size_t n_ = 0;
  int year_ = 0, month_ = 0, day_ = 0;
  std::string newTable_;  // the new table's header when the run creates it
  std::optional<OutputRecords> records_;
  std::string chunk_;  // records encoded and not yet added
  uint32_t inChunk_ = 0;
  std::vector<std::pair<size_t, EDBEngineError>> refusals_;
};

}  // namespace

ExportResult ExportMarkedDeals(const ExportSource& source, const ExportSettings& settings,
                               ExportProgress& progress, TQuery& outputView) {
  ExportRun run(source, settings, progress);
  if (!run.Locate()) return run.result;
  outputView.Close();
  if (run.ChooseMode() && run.BuildLines() && run.OpenRecords() && run.Write()) run.Finish(outputView);
  return run.result;
}

}  // namespace drs
