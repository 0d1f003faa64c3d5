// Export of the marked deals into the output deal table ("Экспорт"): the
// questions about the table, its creation, check or clearing, the export
// lines and the one-by-one inserts under a progress display.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "export/Reconciliation.h"

namespace drs {

class DealList;
struct ExportSource;
class ExportProgress;
class TQuery;

// The output deal table's columns in their fixed order.
inline constexpr std::array<const char*, 8> kOutputColumns = {"CLIENTID", "TICKER", "OPERTYPE", "PRICE",
                                                              "QTY",      "DATES",  "SDEL",     "BROCID"};

// The window's inputs, as plain values.
struct ExportSettings {
  std::string outFileName;  // text of OutFilenameEdit
  int writeMode = -1;       // 0 "Сначала", 1 "Дозапись", anything else: none chosen
  bool squeezeOrders = false;
  bool squeezeClients = false;
  std::string tradeDate;  // text of TorgDateEdit
  std::string brokerAcc;  // text of BrokerAccEdit
  // Reopen the output view on the table at the end (the window shows it);
  // without it the record count comes from the table itself.
  bool reopenView = true;
};

struct ExportResult {
  bool finished = false;   // every line was tried, the table written and the view reopened
  bool cancelled = false;  // the operator cancelled (or a signal came): nothing was written
  std::string cancelMessage;
  size_t lines = 0;                       // export lines built
  size_t written = 0;                     // rows the table took
  size_t failedLines = 0;                 // lines not in the table: refused, or all when nothing was written
  int64_t recordCount = -1;               // records of the table now; -1: there is none
  std::string recordCountText;            // first panel of StatusBar1; empty unless finished
  std::string tableState;                 // what the table holds now, for the status bar and the journal
  std::optional<Reconciliation> control;  // after every write that ran to its end

  // Every line is in the table.
  bool Succeeded() const { return finished && failedLines == 0; }
};

// Runs the export as one transaction. Questions and messages go through the
// message calls. Every line is decided against the table's columns before
// anything is written: a line whose values the table cannot hold exactly is
// refused (shown for the first few lines, journaled for all, then a closing
// message with their number instead of "Готово"), the others go in. The rows
// become the table's only once all are written and the control totals agree;
// a failure of the table (shown once), a mismatch, a cancel of the progress
// display or SIGINT/SIGTERM leave the table as it was (`cancelled` tells the
// caller of a cancel; a signal is raised again once the table is restored).
// `outputView` is the window's output view: closed at the start, reopened on
// the table at the end (not after a stop).
ExportResult ExportMarkedDeals(const DealList& deals, const ExportSettings& settings,
                               ExportProgress& progress, TQuery& outputView);
// The same on any grid with its format, marks and lists.
ExportResult ExportMarkedDeals(const ExportSource& source, const ExportSettings& settings,
                               ExportProgress& progress, TQuery& outputView);

// Opens the output view (live, columns in order) on the table of a path;
// "Не могу открыть файл" with the engine's message when it cannot. Returns
// whether it opened.
bool OpenOutputView(TQuery& view, const std::string& outFileName);

// The creation of an empty output deal table; false (with the reason in
// `error` when given) when it could not be written.
bool CreateOutputTable(const std::string& path, std::string* error = nullptr);

}  // namespace drs
