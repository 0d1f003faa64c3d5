// Control totals of an export: what the marked deals add up to per security
// and direction, as the table can hold them, against what the records this
// export wrote add up to when they are read back.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/DbfFormat.h"
#include "export/ExportLines.h"
#include "utils/HashMap.h"

namespace drs {

// Pieces and prices in units of the fifth decimal (the QTY and PRICE
// columns' last), so that sums are exact and compare exactly.
__extension__ using PieceUnits = __int128;
inline constexpr int kPieceDecimals = 5;

// One security and direction, or the total. A line agrees when the export
// lines the deals make are all accounted for as written or refused: as many
// rows, the same pieces and the same sum of prices exactly, and the money
// within what the roundings allow.
struct ControlLine {
  std::string ticker;
  std::string direction;  // "B", "S"; a written OPERTYPE that is neither 1 nor 0 as its own text
  // From the marked deals.
  int64_t deals = 0;
  double lots = 0;
  int64_t lines = 0;        // export lines the deals make
  PieceUnits pieces = 0;    // their quantities, each rounded to one decimal
  PieceUnits prices = 0;    // their prices, each rounded to three decimals
  int64_t pricesOpen = 0;   // prices of client lines that may round either way: each may be 0.001 more
  bool pricesKnown = true;  // false when a price is beyond exact sums
  double money = 0;         // sum of each line's average price x its quantity
  double moneyAbs = 0;      // the same of absolute values, for the bound
  // From the rows read back.
  int64_t rows = 0;
  PieceUnits piecesWritten = 0;
  PieceUnits pricesWritten = 0;
  double moneyWritten = 0;
  int64_t unreadable = 0;  // PRICE or QTY values that are no plain number
  // Lines refused before writing.
  int64_t rowsRefused = 0;
  PieceUnits piecesRefused = 0;
  PieceUnits pricesRefused = 0;
  double moneyRefused = 0;
  double moneyWrittenAbs = 0;  // written and refused, for the bound
  // Most the money of the deals and that written and refused may differ by
  // (see ExportControl::Finish).
  double tolerance = 0;

  bool Agrees() const;
};

struct Reconciliation {
  bool checked = false;            // the written rows were read back
  std::vector<ControlLine> lines;  // in order of first appearance: deals first, then rows
  ControlLine total;               // ticker and direction empty

  bool Agrees() const;
  // Tab-separated: ticker, B or S, deals, pieces, money, rows, pieces
  // written, money written; then "ИТОГО" with the sums.
  std::vector<std::string> ControlText() const;
  // For the journal: heading, one line per security and direction, total.
  std::vector<std::string> JournalLines(const std::string& table) const;
  // One line per security and direction that does not agree.
  std::vector<std::string> Differences() const;
};

// Pieces as text: whole pieces without decimals, else the decimals needed.
std::string FormatPieces(PieceUnits units);

// Hands over the records of one export as read back from where they were
// written: `n` whole records at a time (deletion flag first), in order.
using RecordsReadBack = std::function<void(const std::function<void(const char* records, uint32_t n)>&)>;

// Used by the export: the totals of the marked deals as the export's build
// reads them, the lines refused before writing and the records written,
// read back and compared before they become the table's.
class ExportControl : public DealObserver {
 public:
  ExportControl(const ExportSource& source, bool squeezeClients);

  // Every marked deal on its own, converted as the export converts it.
  void Deal(int row, float price, float lots, bool merged) override;

  // A line of `lines` the table cannot hold, refused before writing.
  void Refused(const ExportLines& lines, const ExportLine& line);

  // After the last record, once: reads back the records of this export (of
  // a table of `fields`) and compares.
  Reconciliation Finish(const std::vector<DbfField>& fields, const RecordsReadBack& readBack);
  // "Контрольные суммы не сходятся" with the lines that differ, when they do.
  static void ShowDifferences(const Reconciliation& result);

 private:
  size_t LineIndex(std::string_view ticker, const std::string& direction);
  // Ends the order's line being summed: its quantity and price as the line
  // holds them, into its security and direction (or its client line).
  void CloseRun();
  // The client lines' prices and bounds, once all runs are in.
  void CloseClientLines();

  // Lot size and line by OPERTYPE of a security code.
  struct Seen {
    int lot;
    size_t line[2];
  };
  // The deals of one export line before the client squeeze: an order's run
  // (one deal without the order squeeze), summed as the build sums them.
  struct Run {
    bool open = false;
    int row = 0;  // its first deal's
    int lot = 0;
    size_t line = 0;
    int64_t deals = 0;
    float amount = 0, lots = 0;  // single precision, in the build's order
    double exactAmount = 0, exactLots = 0, amountAbs = 0, lotsAbs = 0;
  };
  // The export lines of one account, security code and buy/sell code: one
  // line of the client squeeze. Prices in thousandths, quantities in tenths.
  struct ClientLine {
    int row = 0;  // its first run's, whose cells are the key
    uint64_t hash = 0;
    // Short keys, most of a report's, packed with their lengths, so that a
    // lookup seldom reads the grid.
    uint64_t packed[3] = {0, 0, 0};
    uint8_t sizes[3] = {0, 0, 0};
    size_t line = 0;
    int64_t lines = 0;
    PieceUnits amount = 0;  // sum of price x quantity, in 1/10000
    PieceUnits tenths = 0;
    double amountAbs = 0, quantityAbs = 0;
    bool exact = true;
  };
  // The key of the client line of a run's first deal.
  ClientLine ClientKeyOf(int row, size_t line) const;
  // The client line of a key, added when new.
  ClientLine& ClientLineFor(const ClientLine& key);
  // Runs wait to be added to their client lines a few dozen at a time, so
  // that their places in the table are asked for ahead.
  struct PendingRun {
    ClientLine key;
    PieceUnits thousandths, tenths;
  };
  void AddPendingRuns();

  ExportSource source_;
  Reconciliation result_;
  std::unordered_map<std::string, size_t> index_;                // ticker + '\t' + direction -> line
  HashMap<std::string_view, Seen> seen_;                         // by security code cell
  std::pair<const std::string_view, Seen>* lastSeen_ = nullptr;  // the deal before's, tried first
  Run run_;
  bool squeezeClients_;
  std::vector<ClientLine> clientLines_;
  std::vector<PendingRun> pending_;
  std::vector<uint64_t> clientSlots_;  // open addressing: hash >> 32 << 32 | client line + 1; 0 free
  bool clientLinesClosed_ = false;
};

}  // namespace drs
