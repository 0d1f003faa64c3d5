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
};

struct ExportResult {
  bool finished = false;   // every line was tried and the view reopened
  size_t lines = 0;        // export lines built
  size_t failedLines = 0;  // lines not in the table (refused, lost or never tried)
  int64_t recordCount = -1;
  std::string recordCountText;            // first panel of StatusBar1; empty unless finished
  std::optional<Reconciliation> control;  // after every write that ran to its end

  // Every line is in the table.
  bool Succeeded() const { return finished && failedLines == 0; }
};

// Runs the export. Questions and messages go through the message calls.
// A failure of the table (it cannot be created or written at all) is shown
// once and stops the run; a failure of one line's values is shown for the
// first few lines and journaled for all. Either way a closing message gives
// the number of lines not written, instead of "Готово" on the display.
// `outputView` is the window's output view: closed at the start, reopened on
// the table at the end (not after a stop). Checks come before any change:
// no table is created, cleared or extended until every export line and the
// trade date are known to be good. A cancel of the progress display
// propagates as its exception; lines inserted so far stay.
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
