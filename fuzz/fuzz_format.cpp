// Any bytes as a format parameters file: LoadFormat, and when the format
// loads, a small report read and marked with it (arbitrary field numbers,
// grid positions and widths must not upset the grid).
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "deals/ActiveFormat.h"
#include "deals/DealGrid.h"
#include "deals/DealReport.h"
#include "deals/Marking.h"
#include "deals/ReplaceList.h"

namespace {
const char kReport[] =
    "5000001;900001;10:00:01;TQBR;00000150;SBER;B;250.10;3\r\n"
    ";;;;;\r\n"
    "5000003\t900002,10:00:05 TQBR;ABC/1;GAZP;S;160,50;10\n"
    "\r\n"
    "x;y;z;;0000;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;1";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Messages();
  const std::string path = fuzz::WriteScratch("format.ini", data, size);
  drs::ActiveFormat format;
  drs::DealGrid grid;
  drs::LoadFormat(path, format, grid);
  if (grid.ColCount() < 1 || grid.RowCount() < 1) __builtin_trap();
  if (!format.formatValid) return 0;
  drs::ReportLines lines;
  lines.Parse(kReport, format.fieldSepChar, format.clientIdField);
  std::string error;
  if (!drs::FillDealGrid(lines, format, grid, nullptr, error)) return 0;
  drs::ReplaceLists lists;
  lists.ParseLine("$ABC/=150;", 1);
  drs::MarkedRows marks;
  drs::AccountList unmarked;
  drs::MarkByRange(grid, format, lists, "1", "99999999", marks, &unmarked);
  for (int r = 1; r < grid.RowCount(); ++r) {
    (void)drs::DealKeyOf(grid, format, r);
    (void)drs::IsRelatedRow(grid, format, r);
  }
  return 0;
}
