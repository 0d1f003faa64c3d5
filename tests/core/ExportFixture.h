// A small deal grid for the export and turnover tests: columns account,
// security, buy/sell, price, lots, number.
#pragma once

#include <string>
#include <vector>

#include "RecordingMessages.h"
#include "deals/ActiveFormat.h"
#include "deals/DealGrid.h"
#include "deals/Marking.h"
#include "deals/ReplaceList.h"
#include "export/ExportLines.h"

namespace drs::test {

struct Deal {
  std::string account, ticker, oper, price, lots, number;
  bool marked = true;
};

class DealsFixture {
 public:
  explicit DealsFixture(const std::vector<Deal>& deals, int defaultLot = 100) {
    format.clientIdCol = 0;
    format.shareCodCol = 1;
    format.operCodCol = 2;
    format.costCol = 3;
    format.shareCntCol = 4;
    format.numberCol = 5;
    format.decSepChar = '.';
    format.defaultLot = defaultLot;
    grid.SetColCount(6);
    grid.SetRowCount(static_cast<int>(deals.size()) + 1);
    for (size_t i = 0; i < deals.size(); ++i) {
      const int row = static_cast<int>(i) + 1;
      const Deal& d = deals[i];
      const std::string cells[] = {d.account, d.ticker, d.oper, d.price, d.lots, d.number};
      for (int c = 0; c < 6; ++c) grid.SetCell(c, row, cells[c]);
      if (d.marked) marks.Mark(row);
    }
  }

  ExportSource Source() const { return {grid, format, marks, lists}; }

  DealGrid grid;
  ActiveFormat format;
  MarkedRows marks;
  ReplaceLists lists;
};

inline std::vector<std::string> LineTexts(const ExportLines& lines, const std::string& date = "01.02.2024",
                                          const std::string& broker = "BRK") {
  std::vector<std::string> texts;
  for (const ExportLine& line : lines.Lines()) texts.push_back(lines.Text(line, date, broker));
  return texts;
}

}  // namespace drs::test
