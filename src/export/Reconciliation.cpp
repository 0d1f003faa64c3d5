#include "export/Reconciliation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

#include "deals/ActiveFormat.h"
#include "deals/DealGrid.h"
#include "deals/Marking.h"
#include "deals/ReplaceList.h"
#include "engine/EDBEngineError.h"
#include "engine/Query.h"
#include "engine/TablePath.h"
#include "engine/TableScan.h"
#include "support/Messages.h"
#include "utils/TextCase.h"

namespace drs {

namespace {

const std::string kRule(27, '-');
constexpr double kPieceScale = 100000;  // 10^kPieceDecimals

// Half a unit of the third decimal: the export line holds the price as
// "0.000". Half a unit of the fifth: the PRICE column's decimals.
constexpr double kLinePriceRounding = 0.0005;
constexpr double kColumnPriceRounding = 0.000005;
constexpr double kSingle = 0x1p-24;  // unit roundoff of single precision
constexpr double kDouble = 0x1p-53;  // and of double

// The relative error bound of n roundings with unit roundoff u.
double Gamma(double n, double u) { return n * u < 0.5 ? n * u / (1 - n * u) : INFINITY; }

PieceUnits ToUnits(double pieces) {
  // Below 2^50 units the product is within a small part of a unit of the
  // count (a float's is exact), so rounding it gives the count.
  const double quick = pieces * kPieceScale;
  if (std::fabs(quick) < 0x1p50) return static_cast<PieceUnits>(std::llround(quick));
  const long double scaled = std::roundl(static_cast<long double>(pieces) * kPieceScale);
  // Beyond any QTY the column can hold; kept apart from every written value.
  constexpr long double kLimit = 1e36L;
  if (!(std::fabs(scaled) < kLimit)) return static_cast<PieceUnits>(scaled < 0 ? -kLimit : kLimit);
  return static_cast<PieceUnits>(scaled);
}

// A character field keeps no blanks around its text.
std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A number with up to `decimals` decimals, trailing zeros dropped.
std::string Trimmed(double value, int decimals) {
  std::string text = FormatFixed(value, decimals);
  if (text.find('.') == std::string::npos) return text;
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text == "-0" ? "0" : text;
}

std::string Money(double value) { return FormatFixed(value, 2); }

// A written cell read as a number, as a statement's value reads.
double NumberOf(const DbfValue& v) {
  return v.kind == DbfValue::Kind::Text ? DbValue::Text(std::string(v.text)).AsFloat() : v.Number();
}

void AddLineTo(ControlLine& total, const ControlLine& line) {
  total.deals += line.deals;
  total.lots += line.lots;
  total.pieces += line.pieces;
  total.money += line.money;
  total.moneyAbs += line.moneyAbs;
  total.rows += line.rows;
  total.piecesWritten += line.piecesWritten;
  total.moneyWritten += line.moneyWritten;
  total.moneyWrittenAbs += line.moneyWrittenAbs;
  total.qtyWrittenAbs += line.qtyWrittenAbs;
  total.rowsRefused += line.rowsRefused;
  total.piecesRefused += line.piecesRefused;
  total.moneyRefused += line.moneyRefused;
  total.tolerance += line.tolerance;
  total.longestRun = std::max(total.longestRun, line.longestRun);
}

}  // namespace

bool ControlLine::Agrees() const {
  return pieces == piecesWritten + piecesRefused &&
         std::fabs(money - moneyWritten - moneyRefused) <= tolerance;
}

bool Reconciliation::Agrees() const {
  if (!checked) return false;
  for (const ControlLine& line : lines)
    if (!line.Agrees()) return false;
  return true;
}

std::string FormatPieces(PieceUnits units) {
  const bool negative = units < 0;
  if (negative) units = -units;
  std::string whole;
  PieceUnits w = units / static_cast<PieceUnits>(kPieceScale);
  do {
    whole.insert(whole.begin(), static_cast<char>('0' + static_cast<int>(w % 10)));
    w /= 10;
  } while (w > 0);
  int fraction = static_cast<int>(units % static_cast<PieceUnits>(kPieceScale));
  std::string text = negative ? "-" + whole : whole;
  if (fraction != 0) {
    std::string digits = std::to_string(fraction);
    digits.insert(0, kPieceDecimals - digits.size(), '0');
    while (digits.back() == '0') digits.pop_back();
    text += "." + digits;
  }
  return text;
}

std::vector<std::string> Reconciliation::ControlText() const {
  std::vector<std::string> text;
  auto columns = [](const ControlLine& l) {
    return std::to_string(l.deals) + '\t' + FormatPieces(l.pieces) + '\t' + Money(l.money) + '\t' +
           std::to_string(l.rows) + '\t' + FormatPieces(l.piecesWritten) + '\t' + Money(l.moneyWritten);
  };
  for (const ControlLine& line : lines)
    text.push_back(line.ticker + '\t' + line.direction + '\t' + columns(line));
  text.push_back("ИТОГО\t\t\t" + columns(total));
  return text;
}

namespace {

std::string JournalText(const ControlLine& l) {
  return "сделок " + std::to_string(l.deals) + ", лотов " + Trimmed(l.lots, 5) + ", штук " +
         FormatPieces(l.pieces) + ", сумма " + Money(l.money) + "; записано строк " + std::to_string(l.rows) +
         ", штук " + FormatPieces(l.piecesWritten) + ", сумма " + Money(l.moneyWritten);
}

std::string LineName(const ControlLine& l) { return l.ticker + " " + l.direction; }

}  // namespace

std::vector<std::string> Reconciliation::JournalLines(const std::string& table) const {
  std::vector<std::string> text;
  text.push_back("Контрольные суммы экспорта в " + table);
  text.push_back(kRule);
  for (const ControlLine& line : lines) {
    text.push_back(LineName(line) + ": " + JournalText(line) + (line.Agrees() ? "" : " - НЕ СХОДИТСЯ"));
  }
  text.push_back(kRule);
  text.push_back("ИТОГО: " + JournalText(total));
  if (!checked) {
    text.push_back("Записанные строки не прочитаны: контрольные суммы не проверены");
  } else {
    text.push_back(Agrees() ? "Контрольные суммы сходятся" : "Контрольные суммы не сходятся");
  }
  return text;
}

std::vector<std::string> Reconciliation::Differences() const {
  std::vector<std::string> text;
  for (const ControlLine& line : lines) {
    if (line.Agrees()) continue;
    text.push_back(LineName(line) + ": штук " + FormatPieces(line.pieces) + ", записано " +
                   FormatPieces(line.piecesWritten) + "; сумма " + Money(line.money) + ", записано " +
                   Money(line.moneyWritten));
  }
  return text;
}

size_t ExportControl::LineIndex(std::string_view ticker, const std::string& direction) {
  std::string key(ticker);
  key += '\t';
  key += direction;
  auto [it, added] = index_.try_emplace(std::move(key), result_.lines.size());
  if (added) {
    result_.lines.emplace_back();
    result_.lines.back().ticker = std::string(ticker);
    result_.lines.back().direction = direction;
  }
  return it->second;
}

ExportControl::ExportControl(const ExportSource& source, bool squeezeClients)
    : source_(source), squeezeClients_(squeezeClients) {}

void ExportControl::Deal(int row, float price, float lots, bool merged) {
  // Pieces = lot size x lots in single precision, money = price x pieces
  // (exact in double).
  const DealGrid& grid = source_.grid;
  const ActiveFormat& format = source_.format;
  constexpr size_t kNone = SIZE_MAX;
  const std::string_view code = grid.Cell(format.shareCodCol, row);
  const int buy = OperTypeOf(grid.Cell(format.operCodCol, row));
  if (lastSeen_ == nullptr || lastSeen_->first != code) {
    auto it = seen_.find(code);
    if (it == seen_.end())
      it = seen_.emplace(code, Seen{source_.lists.LotFor(code, format.defaultLot), {kNone, kNone}}).first;
    lastSeen_ = &*it;
  }
  size_t& slot = lastSeen_->second.line[buy];
  if (slot == kNone) slot = LineIndex(TrimBlanks(code), buy ? "B" : "S");
  // The order squeeze merges a run of marked deals into the line of the
  // run's first deal.
  if (merged) {
    ++run_;
  } else {
    run_ = 1;
    runLine_ = slot;
  }
  result_.lines[runLine_].longestRun = std::max(result_.lines[runLine_].longestRun, run_);
  ControlLine& line = result_.lines[slot];
  const float pieces =
      static_cast<float>(static_cast<long double>(lastSeen_->second.lot) * static_cast<long double>(lots));
  const double money = static_cast<double>(price) * static_cast<double>(pieces);
  ++line.deals;
  line.lots += lots;
  line.pieces += ToUnits(pieces);
  line.money += money;
  line.moneyAbs += std::fabs(money);
}

void ExportControl::Refused(const ExportLines& lines, const ExportLine& line) {
  ControlLine& l =
      result_.lines[LineIndex(TrimBlanks(lines.Ticker(line)), OperTypeOf(lines.OperCode(line)) ? "B" : "S")];
  ++l.rowsRefused;
  l.piecesRefused += ToUnits(line.quantity);
  l.moneyRefused += line.price * line.quantity;
  l.qtyWrittenAbs += std::fabs(line.quantity);
}

void ExportControl::ShowDifferences(const Reconciliation& result) {
  const std::vector<std::string> differences = result.Differences();
  ShowMessDlg("Контрольные суммы не сходятся", &differences, nullptr, -1, -1, MsgKind::Error);
}

Reconciliation ExportControl::Finish(const std::vector<DbfField>& fields,
                                     const std::function<void(const RecordVisitor&)>& readBack) {
  Reconciliation& result = result_;
  {
    try {
      int cols[4];
      const char* names[4] = {"TICKER", "OPERTYPE", "PRICE", "QTY"};
      for (int i = 0; i < 4; ++i) {
        cols[i] = -1;
        for (size_t f = 0; f < fields.size() && cols[i] < 0; ++f)
          if (SameText(fields[f].name, names[i])) cols[i] = int(f);
        if (cols[i] < 0) throw EDBEngineError(std::string("Нет такого поля: ") + names[i]);
      }
      struct Scan {
        const std::vector<DbfField>& fields;
        const std::vector<DbfField>& Fields() const { return fields; }
      } scan{fields};
      const DbfField& tickerField = scan.Fields()[size_t(cols[0])];
      const DbfField& operField = scan.Fields()[size_t(cols[1])];
      const DbfField& priceField = scan.Fields()[size_t(cols[2])];
      const DbfField& qtyField = scan.Fields()[size_t(cols[3])];
      // Lines of S and B by ticker, looked up without a key built per row.
      struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>()(s); }
      };
      constexpr size_t kNone = SIZE_MAX;
      std::unordered_map<std::string, std::array<size_t, 2>, Hash, std::equal_to<>> byTicker;
      std::string tickerBytes, scratch, text;
      auto visit = [&](uint32_t, const char* rec) {
        const DbfValue cell = ScanField(tickerField, rec, tickerBytes);
        if (cell.kind != DbfValue::Kind::Text) text = cell.Text();
        const std::string_view ticker = TrimBlanks(cell.kind == DbfValue::Kind::Text ? cell.text : text);
        const DbfValue oper = ScanField(operField, rec, scratch);
        size_t index;
        if (oper.kind == DbfValue::Kind::Int && (oper.integer == 0 || oper.integer == 1)) {
          auto it = byTicker.find(ticker);
          if (it == byTicker.end())
            it = byTicker.emplace(std::string(ticker), std::array{kNone, kNone}).first;
          size_t& slot = it->second[static_cast<size_t>(oper.integer)];
          if (slot == kNone) slot = LineIndex(ticker, oper.integer == 1 ? "B" : "S");
          index = slot;
        } else {
          index = LineIndex(ticker, oper.Text());
        }
        ControlLine& line = result.lines[index];
        const double price = NumberOf(ScanField(priceField, rec, scratch));
        const double qty = NumberOf(ScanField(qtyField, rec, scratch));
        ++line.rows;
        line.piecesWritten += ToUnits(qty);
        line.moneyWritten += price * qty;
        line.moneyWrittenAbs += std::fabs(price * qty);
        line.qtyWrittenAbs += std::fabs(qty);
      };
      const size_t length = [&] {
        size_t l = 1;
        for (const DbfField& f : fields) l += f.length;
        return l;
      }();
      readBack([&](const char* records, uint32_t n) {
        for (uint32_t i = 0; i < n; ++i)
          if (records[size_t(i) * length] != '*') visit(i, records + size_t(i) * length);
      });
      result.checked = true;
    } catch (const EDBEngineError& e) {
      ShowExceptionInfo(e, "Не могу прочитать выходной файл: контрольные суммы не проверены");
    }
  }

  // The money bound of one security and direction. Each written row's price
  // was rounded to three decimals for the export line (once more for a line
  // of the client squeeze) and stored with the column's five: per row
  // |QTY| x rounding. Before that, each line's price came out of single
  // precision: price x lots, one addition per further deal of an order's
  // run, the quotient by the lots, and the pieces, so K = longest run + 2
  // roundings, at most gamma(K) x sum |price x pieces| (the client squeeze
  // only averages such prices). Both money sums are taken in double:
  // gamma(deals + rows) in double of both sums.
  const double rounding = kLinePriceRounding * (squeezeClients_ ? 2 : 1) + kColumnPriceRounding;
  for (ControlLine& line : result.lines) {
    const double roundings = static_cast<double>(std::max<int64_t>(line.longestRun, 1) + 2);
    line.tolerance =
        line.qtyWrittenAbs * rounding + Gamma(roundings, kSingle) * line.moneyAbs +
        Gamma(static_cast<double>(line.deals + line.rows), kDouble) * (line.moneyAbs + line.moneyWrittenAbs);
    AddLineTo(result.total, line);
  }

  return std::move(result_);
}

}  // namespace drs
