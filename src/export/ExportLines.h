// The export line list: one line per future row of the output deal table,
// built from the marked deals of the grid, with the optional merging of the
// deals of one order and of one account, security and direction.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "utils/Pages.h"

namespace drs {

class DealGrid;
class MarkedRows;
class ReplaceLists;
struct ActiveFormat;

// Where the deals are read from. The grid must stay unchanged while the
// lines built from it are in use: the lines refer to its cells.
struct ExportSource {
  const DealGrid& grid;
  const ActiveFormat& format;
  const MarkedRows& marks;
  const ReplaceLists& lists;
};

// One line. Account, security code, buy/sell code and number are the cells
// of grid row `row` (the first deal of a merged group); price and quantity
// hold the values of their texts "0.000" and "0.0".
struct ExportLine {
  int row = 0;
  double price = 0;
  double quantity = 0;
};

// Why a build stopped; `message` is the text for ShowError.
struct ExportBuildError {
  enum class Kind { None, NumberFormat, ZeroQuantity } kind = Kind::None;
  std::string message;
  explicit operator bool() const { return kind != Kind::None; }
};

// Told of every marked deal a build reads, in grid order, with its price
// and lots as converted; `merged` when the order squeeze merges it into the
// line of the deal before.
class DealObserver {
 public:
  virtual ~DealObserver() = default;
  virtual void Deal(int row, float price, float lots, bool merged) = 0;
};

inline constexpr const char* kNumberFormatMessage =
    "Ошибка числового формата во входном файле. Смотрите поля количество и Цена";

class ExportLines {
 public:
  explicit ExportLines(const ExportSource& source) : source_(source) {}

  // Walks the marked rows in grid order; with `squeezeOrders` unbroken runs
  // of marked deals with equal account, buy/sell code and number become one
  // line. On failure the list is left empty and the error says why, and
  // `observer` has been told of the deals read until then.
  ExportBuildError Build(bool squeezeOrders, DealObserver* observer = nullptr);
  // One line per account, security and direction, in the order of first
  // appearance, with the number of the first line.
  ExportBuildError SqueezeClients();

  const HugePageVector<ExportLine>& Lines() const { return lines_; }
  size_t Size() const { return lines_.size(); }

  std::string_view Account(const ExportLine& line) const;
  std::string_view Ticker(const ExportLine& line) const;
  std::string_view OperCode(const ExportLine& line) const;
  std::string_view Number(const ExportLine& line) const;
  // The line as tab-separated text with the given date and broker code.
  std::string Text(const ExportLine& line, std::string_view tradeDate, std::string_view brokerAcc) const;

 private:
  bool SameOrder(int a, int b) const;

  ExportSource source_;
  HugePageVector<ExportLine> lines_;
};

// A number as the system writes it for its own reading: `decimals` digits
// after ".", rounded half away from zero, no thousands separators.
std::string FormatFixed(double value, int decimals);
// The value that FormatFixed(value, decimals) reads back as.
double RoundFixed(double value, int decimals);

// OPERTYPE of a buy/sell code: 1 only for exactly "B".
int OperTypeOf(std::string_view operCode);

// The trade date by the short date format (day.month.year, four-digit
// year). False when the text is no valid date.
bool ParseTradeDate(std::string_view text, int& year, int& month, int& day);

}  // namespace drs
