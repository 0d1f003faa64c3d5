// Any bytes as a deal report: "Показать/обновить" through the deal list with
// a fixed format (loading, ProcessAccount, substitution and marking), the
// unmarked view, and ProcessAccount on every field of the first line.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "deals/DealList.h"
#include "deals/DealReport.h"
#include "utils/Utils.h"

namespace {

const uint8_t kFormat[] =
    "[IntValues]\r\nFieldSep=0\r\nDecSep=1\r\nFormat=0\r\nLot=100\r\n[ExtFormat]\r\nCount=8\r\n"
    "Item0=N;1;\xc4\xe0;1;70;;6;;\r\nItem1=O;2;\xc4\xe0;2;70;;5;;\r\nItem2=A;5;\xc4\xe0;3;80;;0;;\r\n"
    "Item3=S;6;\xc4\xe0;4;90;;1;;\r\nItem4=B;7;\xc4\xe0;5;40;;4;;\r\nItem5=P;8;\xc4\xe0;6;70;;3;;\r\n"
    "Item6=Q;9;\xc4\xe0;7;60;;2;;\r\nItem7=T;3;\xcd\xe5\xf2;8;60;;;;\r\n";

drs::DealList& Deals() {
  static drs::DealList* deals = [] {
    auto* d = new drs::DealList;
    d->ParseReplaceLine("$ABC,X/=150;", 1);
    d->LoadFormat(fuzz::WriteScratch("format.ini", kFormat, sizeof kFormat - 1));
    if (!d->Format().formatValid) __builtin_trap();
    return d;
  }();
  return *deals;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Messages();
  drs::DealList& deals = Deals();
  const std::string path = fuzz::WriteScratch("deals.txt", data, size);
  if (!deals.OpenReport(path, "100", "200")) __builtin_trap();
  if (!deals.LastReportRead()) __builtin_trap();
  const drs::DealGrid& grid = deals.Grid();
  for (int r = 1; r < grid.RowCount(); ++r) {
    if (deals.IsMarked(r)) {
      // Only accounts beginning with a digit can be marked.
      std::string_view account = grid.Cell(deals.Format().clientIdCol, r);
      if (account.empty() || account[0] < '0' || account[0] > '9') __builtin_trap();
    }
    (void)deals.IsRelated(r);
  }
  if (grid.RowCount() > 1) deals.ToggleMark(1);
  const int shown = grid.RowCount();
  if (!deals.Marks().Empty()) deals.ShowUnmarked(path, "100", "200");
  if (deals.Grid().RowCount() > shown) __builtin_trap();

  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string line(text.substr(0, text.find('\n')));
  const drs::CharSet seps = drs::MakeCharSet(";");
  for (int n = 1; n <= 12; ++n) {
    std::string account = drs::ProcessAccount(drs::ExtractField(line, seps, n));
    if (!account.empty() && account[0] == '0') __builtin_trap();
  }
  return 0;
}
