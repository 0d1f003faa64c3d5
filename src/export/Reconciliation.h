// Control totals of an export: what the marked deals add up to per security
// and direction, against what the rows this export wrote add up to when they
// are read back from the table through the engine.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/DbfFormat.h"
#include "export/ExportLines.h"

namespace drs {

// Pieces in units of the QTY column's last decimal (1/100000 of a piece), so
// that sums are exact and compare exactly.
__extension__ using PieceUnits = __int128;
inline constexpr int kPieceDecimals = 5;

// One security and direction, or the total.
struct ControlLine {
  std::string ticker;
  std::string direction;  // "B", "S"; a written OPERTYPE that is neither 1 nor 0 as its own text
  // From the marked deals.
  int64_t deals = 0;
  double lots = 0;
  PieceUnits pieces = 0;
  double money = 0;        // sum of price x pieces
  double moneyAbs = 0;     // the same of absolute values, for the bound
  int64_t longestRun = 0;  // most deals the order squeeze merges into one line
  // From the rows read back.
  int64_t rows = 0;
  PieceUnits piecesWritten = 0;
  double moneyWritten = 0;
  double moneyWrittenAbs = 0;
  double qtyWrittenAbs = 0;
  // Lines refused before writing.
  int64_t rowsRefused = 0;
  PieceUnits piecesRefused = 0;
  double moneyRefused = 0;
  // Most the two money sums may differ by (see ExportControl::Finish).
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

// Used by the export: the totals of the marked deals as the export's build
// reads them, the records this export wrote, read back and compared after
// the last insert.
class ExportControl : public DealObserver {
 public:
  ExportControl(const ExportSource& source, bool squeezeClients);

  // Every marked deal on its own, converted as the export converts it.
  void Deal(int row, float price, float lots, bool merged) override;

  // A line the table refused before anything was written.
  void Refused(const ExportLines& lines, const ExportLine& line);
  // After the last row, once: reads the rows this export wrote back (the
  // records of a table of `fields`, handed to `readBack`'s visitor) and
  // compares.
  using RecordVisitor = std::function<void(const char* records, uint32_t n)>;
  Reconciliation Finish(const std::vector<DbfField>& fields,
                        const std::function<void(const RecordVisitor&)>& readBack);
  // "Контрольные суммы не сходятся" with the lines that differ.
  static void ShowDifferences(const Reconciliation& result);

 private:
  size_t LineIndex(std::string_view ticker, const std::string& direction);

  // Lot size and line by OPERTYPE of a security code.
  struct Seen {
    int lot;
    size_t line[2];
  };

  ExportSource source_;
  Reconciliation result_;
  std::unordered_map<std::string, size_t> index_;                // ticker + '\t' + direction -> line
  std::unordered_map<std::string_view, Seen> seen_;              // by security code cell
  std::pair<const std::string_view, Seen>* lastSeen_ = nullptr;  // the deal before's, tried first
  int64_t run_ = 0;                                              // deals in the current order's line
  size_t runLine_ = 0;                                           // the line of the order's first deal
  bool squeezeClients_;
};

}  // namespace drs
