#include "export/Reconciliation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string_view>

#include "deals/ActiveFormat.h"
#include "deals/DealGrid.h"
#include "deals/Marking.h"
#include "deals/ReplaceList.h"
#include "engine/EDBEngineError.h"
#include "engine/TableScan.h"
#include "support/Messages.h"
#include "utils/NumberText.h"
#include "utils/TextCase.h"

namespace drs {

namespace {

const std::string kRule(27, '-');
constexpr double kPieceScale = 100000;   // 10^kPieceDecimals
constexpr PieceUnits kTenth = 10000;     // units of 0.1
constexpr PieceUnits kThousandth = 100;  // units of 0.001
constexpr size_t kPendingRuns = 32;

// Half a unit of the third decimal: the export line holds the price as
// "0.000".
constexpr double kLinePriceRounding = 0.0005;
constexpr double kSingle = 0x1p-24;  // unit roundoff of single precision
constexpr double kDouble = 0x1p-53;  // and of double

// The relative error bound of n roundings with unit roundoff u.
double Gamma(double n, double u) { return n * u < 0.5 ? n * u / (1 - n * u) : INFINITY; }

// Beyond any quantity or price a column holds (10^22): values are kept at
// this bound, so that sums of them stay exact and never overflow.
constexpr PieceUnits kUnitLimit = PieceUnits(1000000000) * 1000000000 * 1000000000;

// A value rounded half away from zero to `decimals` (1 or 3) decimals, as
// the export line's text holds it, counted in units of that decimal. The
// product of a double and 10 or 1000 is exact in extended precision, so the
// rounding sees the exact value.
PieceUnits Rounded(double value, int decimals) {
  const long double scale = decimals == 1 ? 10 : 1000;
  const long double limit = static_cast<long double>(kUnitLimit) / (decimals == 1 ? 10000 : 100);
  if (std::isnan(value)) return 0;
  const long double r = std::roundl(static_cast<long double>(value) * scale);
  if (!(std::fabs(r) < limit)) return static_cast<PieceUnits>(r < 0 ? -limit : limit);
  return static_cast<PieceUnits>(r);
}

// The same of a float: its product with 10 or 1000 is exact in double.
PieceUnits Rounded(float value, int decimals) {
  const double product = static_cast<double>(value) * (decimals == 1 ? 10 : 1000);
  if (std::fabs(product) < 0x1p62) return static_cast<PieceUnits>(static_cast<int64_t>(std::round(product)));
  return Rounded(static_cast<double>(value), decimals);
}

// A written number's text read exactly, in units of the fifth decimal:
// blanks around, a sign, digits with "." or "," before the decimals. False
// for anything else, and for digits below the fifth decimal, which no value
// of this export has.
bool ReadUnits(std::string_view text, PieceUnits& units) {
  return ReadFixedUnits(text, kPieceDecimals, kUnitLimit, units);
}

// The text of a number field's or a character field's bytes.
std::string_view FieldBytes(const DbfField& f, const char* record) {
  return std::string_view(record + f.offset, f.length);
}

// A character field keeps no blanks around its text.
std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// OPERTYPE as the export writes 1 and 0 into each kind of column: a number
// (with or without decimals), the text "1" or "0", a logical T or F. -1 for
// anything else.
int WrittenOperType(const DbfField& f, const char* record, std::string& scratch, std::string& text) {
  const DbfValue v = ScanField(f, record, scratch);
  if (v.kind == DbfValue::Kind::Int && (v.integer == 0 || v.integer == 1)) return int(v.integer);
  if (v.kind == DbfValue::Kind::Real && (v.real == 0 || v.real == 1)) return int(v.real);
  if (v.kind == DbfValue::Kind::Text && (f.type == 'C') && (v.text == "1" || v.text == "0"))
    return v.text == "1";
  text = v.Text();
  return -1;
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

void AddLineTo(ControlLine& total, const ControlLine& line) {
  total.deals += line.deals;
  total.lots += line.lots;
  total.lines += line.lines;
  total.pieces += line.pieces;
  total.prices += line.prices;
  total.pricesOpen += line.pricesOpen;
  total.pricesKnown = total.pricesKnown && line.pricesKnown;
  total.money += line.money;
  total.moneyAbs += line.moneyAbs;
  total.rows += line.rows;
  total.piecesWritten += line.piecesWritten;
  total.pricesWritten += line.pricesWritten;
  total.moneyWritten += line.moneyWritten;
  total.unreadable += line.unreadable;
  total.rowsRefused += line.rowsRefused;
  total.piecesRefused += line.piecesRefused;
  total.pricesRefused += line.pricesRefused;
  total.moneyRefused += line.moneyRefused;
  total.moneyWrittenAbs += line.moneyWrittenAbs;
  total.tolerance += line.tolerance;
}

bool PricesAgree(const ControlLine& l) {
  if (!l.pricesKnown) return true;
  const PieceUnits accounted = l.pricesWritten + l.pricesRefused;
  return accounted >= l.prices && accounted <= l.prices + l.pricesOpen * kThousandth;
}

}  // namespace

bool ControlLine::Agrees() const {
  return rows + rowsRefused == lines && pieces == piecesWritten + piecesRefused && unreadable == 0 &&
         PricesAgree(*this) && std::fabs(money - (moneyWritten + moneyRefused)) <= tolerance;
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

std::string RefusedText(const ControlLine& l) {
  if (l.rowsRefused == 0) return "";
  return "; отклонено строк " + std::to_string(l.rowsRefused) + ", штук " + FormatPieces(l.piecesRefused) +
         ", сумма " + Money(l.moneyRefused);
}

std::string JournalText(const ControlLine& l) {
  return "сделок " + std::to_string(l.deals) + ", лотов " + Trimmed(l.lots, 5) + ", штук " +
         FormatPieces(l.pieces) + ", сумма " + Money(l.money) + "; записано строк " + std::to_string(l.rows) +
         ", штук " + FormatPieces(l.piecesWritten) + ", сумма " + Money(l.moneyWritten) + RefusedText(l);
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
    std::string difference = LineName(line) + ": штук " + FormatPieces(line.pieces) + ", записано " +
                             FormatPieces(line.piecesWritten) + "; сумма " + Money(line.money) +
                             ", записано " + Money(line.moneyWritten);
    // What else differs, where pieces and money do not show it.
    const bool sumsAgree = line.pieces == line.piecesWritten + line.piecesRefused &&
                           std::fabs(line.money - (line.moneyWritten + line.moneyRefused)) <= line.tolerance;
    if (sumsAgree && line.rows + line.rowsRefused != line.lines)
      difference += "; строк " + std::to_string(line.lines) + ", записано " + std::to_string(line.rows);
    if (sumsAgree && !PricesAgree(line))
      difference +=
          "; сумма цен " + FormatPieces(line.prices) + ", записано " + FormatPieces(line.pricesWritten);
    if (line.unreadable > 0) difference += "; не числа в PRICE или QTY: " + std::to_string(line.unreadable);
    text.push_back(difference + RefusedText(line));
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
  ControlLine& line = result_.lines[slot];
  ++line.deals;
  line.lots += lots;

  // The order squeeze merges a run of marked deals into one line, of the
  // run's first deal's security, direction and lot size; its amount and
  // lots are summed in single precision in the order the build sums them.
  if (!merged || !run_.open) {
    CloseRun();
    run_.open = true;
    run_.row = row;
    run_.lot = lastSeen_->second.lot;
    run_.line = slot;
    run_.amount = price * lots;
    run_.lots = lots;
  } else {
    run_.amount = static_cast<float>(static_cast<long double>(run_.amount) +
                                     static_cast<long double>(price) * static_cast<long double>(lots));
    run_.lots = run_.lots + lots;
  }
  ++run_.deals;
  // The same in double, for the money: a float's product is exact there.
  const double amount = static_cast<double>(price) * static_cast<double>(lots);
  run_.exactAmount += amount;
  run_.exactLots += static_cast<double>(lots);
  run_.amountAbs += std::fabs(amount);
  run_.lotsAbs += std::fabs(static_cast<double>(lots));
}

void ExportControl::CloseRun() {
  if (!run_.open) return;
  const Run run = run_;
  run_ = Run{};
  ControlLine& line = result_.lines[run.line];
  // The line's price and quantity as its text holds them: "0.000", "0.0".
  const float unitPrice = run.amount / run.lots;
  const float quantity =
      static_cast<float>(static_cast<long double>(run.lot) * static_cast<long double>(run.lots));
  const PieceUnits thousandths = Rounded(unitPrice, 3);
  const PieceUnits tenths = Rounded(quantity, 1);
  line.pieces += tenths * kTenth;

  // The money: the deals' own average price x the line's quantity. The
  // line's price lies within half a thousandth of the build's single
  // precision price, which lies within gamma(2K + 4) of the exact average
  // price relative to (sum |price x lots| + |average| x sum |lots|) / |lots|
  // (K deals: the amount's and the lots' sums, the quotient); the average
  // in double, likewise in double precision.
  const double average = run.exactAmount / run.exactLots;
  const double pieces = static_cast<double>(tenths) / 10;
  const double k = static_cast<double>(run.deals);
  const double spread = (run.amountAbs + std::fabs(average) * run.lotsAbs) / std::fabs(run.exactLots);
  const double priceBound =
      kLinePriceRounding + (Gamma(2 * k + 4, kSingle) + Gamma(2 * k + 4, kDouble)) * spread;
  if (std::isfinite(average)) {
    line.money += average * pieces;
    line.moneyAbs += std::fabs(average * pieces);
  }
  line.tolerance += std::fabs(pieces) * priceBound;

  if (!squeezeClients_) {
    ++line.lines;
    line.prices += thousandths * kThousandth;
    return;
  }
  pending_.push_back({ClientKeyOf(run.row, run.line), thousandths, tenths});
  if (!clientSlots_.empty())
    __builtin_prefetch(&clientSlots_[pending_.back().key.hash & (clientSlots_.size() - 1)]);
  if (pending_.size() == kPendingRuns) AddPendingRuns();
}

void ExportControl::AddPendingRuns() {
  constexpr uint64_t kTag = ~uint64_t(0) << 32;
  if (!clientSlots_.empty()) {
    for (const PendingRun& run : pending_) {
      const uint64_t entry = clientSlots_[run.key.hash & (clientSlots_.size() - 1)];
      if (entry != 0 && (entry & kTag) == (run.key.hash & kTag))
        __builtin_prefetch(&clientLines_[(entry & ~kTag) - 1]);
    }
  }
  for (const PendingRun& run : pending_) {
    ClientLine& client = ClientLineFor(run.key);
    ++client.lines;
    // Exact while both factors stay below 2^53 and the sums do not overflow.
    constexpr PieceUnits kExact = PieceUnits(1) << 53;
    PieceUnits product = 0;
    client.exact = client.exact && run.thousandths > -kExact && run.thousandths < kExact &&
                   run.tenths > -kExact && run.tenths < kExact &&
                   !__builtin_mul_overflow(run.thousandths, run.tenths, &product) &&
                   !__builtin_add_overflow(client.amount, product, &client.amount);
    client.tenths += run.tenths;
    const double pieces = static_cast<double>(run.tenths) / 10;
    client.amountAbs += std::fabs(static_cast<double>(run.thousandths) / 1000 * pieces);
    client.quantityAbs += std::fabs(pieces);
  }
  pending_.clear();
}

ExportControl::ClientLine ExportControl::ClientKeyOf(int row, size_t line) const {
  // One client line per account, security code and buy/sell code of the
  // run's first deal, cell for cell.
  const DealGrid& grid = source_.grid;
  const int columns[3] = {source_.format.clientIdCol, source_.format.shareCodCol, source_.format.operCodCol};
  ClientLine key{row};
  key.line = line;
  std::string_view cells[3];
  size_t size = 0;
  for (int c = 0; c < 3; ++c) {
    cells[c] = grid.Cell(columns[c], row);
    size += cells[c].size();
    key.sizes[c] = static_cast<uint8_t>(std::min<size_t>(cells[c].size(), 255));
  }
  auto mix = [](uint64_t h, uint64_t v) {
    h = (h ^ v) * 0x9E3779B97F4A7C15ULL;
    return h ^ (h >> 29);
  };
  const bool packed = size <= sizeof key.packed;
  uint64_t hash = 0;
  if (packed) {
    char bytes[sizeof key.packed] = {};
    size_t at = 0;
    for (const std::string_view cell : cells) {
      if (!cell.empty()) std::memcpy(bytes + at, cell.data(), cell.size());
      at += cell.size();
    }
    std::memcpy(key.packed, bytes, sizeof bytes);
    hash = mix(mix(mix(key.sizes[0] | key.sizes[1] << 8 | key.sizes[2] << 16, key.packed[0]), key.packed[1]),
               key.packed[2]);
  } else {
    key.sizes[0] = key.sizes[1] = key.sizes[2] = 255;  // never equal to a packed key's
    for (const std::string_view cell : cells) hash = mix(hash, std::hash<std::string_view>()(cell));
  }
  key.hash = hash * 0xFF51AFD7ED558CCDULL;
  return key;
}

ExportControl::ClientLine& ExportControl::ClientLineFor(const ClientLine& key) {
  const DealGrid& grid = source_.grid;
  const int columns[3] = {source_.format.clientIdCol, source_.format.shareCodCol, source_.format.operCodCol};
  const bool packed = key.sizes[0] != 255;
  auto same = [&](const ClientLine& client) {
    if (std::memcmp(client.packed, key.packed, sizeof key.packed) != 0 ||
        std::memcmp(client.sizes, key.sizes, sizeof key.sizes) != 0)
      return false;
    if (packed) return true;
    for (int c = 0; c < 3; ++c)
      if (grid.Cell(columns[c], client.row) != grid.Cell(columns[c], key.row)) return false;
    return true;
  };
  constexpr uint64_t kTag = ~uint64_t(0) << 32;
  if (clientSlots_.empty()) clientSlots_.assign(1024, 0);
  size_t mask = clientSlots_.size() - 1;
  size_t slot = key.hash & mask;
  for (; clientSlots_[slot] != 0; slot = (slot + 1) & mask) {
    if ((clientSlots_[slot] & kTag) != (key.hash & kTag)) continue;
    ClientLine& client = clientLines_[(clientSlots_[slot] & ~kTag) - 1];
    if (client.hash == key.hash && same(client)) return client;
  }
  clientLines_.push_back(key);
  clientSlots_[slot] = (key.hash & kTag) | clientLines_.size();
  if (2 * clientLines_.size() > clientSlots_.size()) {  // no more than half full
    clientSlots_.assign(2 * clientSlots_.size(), 0);
    mask = clientSlots_.size() - 1;
    for (size_t i = 0; i < clientLines_.size(); ++i) {
      size_t at = clientLines_[i].hash & mask;
      while (clientSlots_[at] != 0) at = (at + 1) & mask;
      clientSlots_[at] = (clientLines_[i].hash & kTag) | (i + 1);
    }
  }
  return clientLines_.back();
}

void ExportControl::CloseClientLines() {
  CloseRun();
  AddPendingRuns();
  if (clientLinesClosed_) return;
  clientLinesClosed_ = true;
  // A client line's price is its lines' amount over their quantity, in
  // double, rounded to three decimals. The exact quotient is known; the
  // build's lies within gamma(2n + 8) relative to (sum |price x quantity| +
  // |price| x sum |quantity|) / |quantity| of it (the n terms of each sum,
  // their factors, the quotient), so only a quotient that close to a half
  // thousandth may round either way.
  for (const ClientLine& client : clientLines_) {
    ControlLine& line = result_.lines[client.line];
    ++line.lines;
    const double quantity = static_cast<double>(client.tenths) / 10;
    if (!client.exact || client.tenths == 0) {
      line.pricesKnown = false;
      line.tolerance = INFINITY;
      continue;
    }
    const bool negative = (client.amount < 0) != (client.tenths < 0);
    const PieceUnits num = client.amount < 0 ? -client.amount : client.amount;
    const PieceUnits den = client.tenths < 0 ? -client.tenths : client.tenths;
    const PieceUnits whole = num / den, twice = 2 * (num % den);
    const PieceUnits rounded = twice >= den ? whole + 1 : whole;  // half away from zero
    const double price = static_cast<double>(num) / static_cast<double>(den) / 1000;
    const double n = static_cast<double>(client.lines);
    const double bound =
        Gamma(2 * n + 8, kDouble) * (client.amountAbs + price * client.quantityAbs) / std::fabs(quantity);
    const double distance =  // from the nearest half thousandth, in thousandths
        static_cast<double>(twice > den ? twice - den : den - twice) / static_cast<double>(2 * den);
    if (distance <= bound * 1000) {
      const PieceUnits low = twice >= den ? rounded - 1 : rounded;
      line.prices += (negative ? -(low + 1) : low) * kThousandth;
      ++line.pricesOpen;
    } else {
      line.prices += (negative ? -rounded : rounded) * kThousandth;
    }
    line.tolerance += std::fabs(quantity) * (kLinePriceRounding + bound);
  }
}

void ExportControl::Refused(const ExportLines& lines, const ExportLine& exportLine) {
  CloseRun();
  const int buy = OperTypeOf(lines.OperCode(exportLine));
  ControlLine& line = result_.lines[LineIndex(TrimBlanks(lines.Ticker(exportLine)), buy ? "B" : "S")];
  ++line.rowsRefused;
  line.piecesRefused += Rounded(exportLine.quantity, 1) * kTenth;
  line.pricesRefused += Rounded(exportLine.price, 3) * kThousandth;
  line.moneyRefused += exportLine.price * exportLine.quantity;
  line.moneyWrittenAbs += std::fabs(exportLine.price * exportLine.quantity);
}

Reconciliation ExportControl::Finish(const std::vector<DbfField>& fields, const RecordsReadBack& readBack) {
  CloseClientLines();
  Reconciliation& result = result_;
  try {
    // The columns are looked for when the first records come (a read that
    // fails tells why first), else at the end.
    const DbfField* columns[4] = {nullptr, nullptr, nullptr, nullptr};
    auto findColumns = [&] {
      if (columns[0] != nullptr) return;
      const char* names[4] = {"TICKER", "OPERTYPE", "PRICE", "QTY"};
      for (int i = 0; i < 4; ++i) {
        for (const DbfField& f : fields)
          if (SameText(f.name, names[i])) columns[i] = &f;
        if (columns[i] == nullptr) throw EDBEngineError(std::string("Нет такого поля: ") + names[i]);
      }
    };
    uint32_t recordLength = 1;
    for (const DbfField& f : fields) recordLength += f.length;
    // The line of a row follows from the bytes of its TICKER and OPERTYPE
    // alone: they are decoded once per pair met, later rows only looked up.
    HashMap<std::string, size_t, WordHash, std::equal_to<>> lineOfBytes;
    std::string key, scratch, text;
    auto visit = [&](const char* records, uint32_t n) {
      findColumns();
      const DbfField& tickerField = *columns[0];
      const DbfField& operField = *columns[1];
      key.resize(size_t(tickerField.length) + operField.length);
      for (uint32_t r = 0; r < n; ++r) {
        const char* rec = records + size_t(r) * recordLength;
        if (rec[0] == '*') continue;  // deleted: not a row of the table
        std::memcpy(key.data(), rec + tickerField.offset, tickerField.length);
        std::memcpy(key.data() + tickerField.length, rec + operField.offset, operField.length);
        auto known = lineOfBytes.find(std::string_view(key));
        if (known == lineOfBytes.end()) {
          const DbfValue cell = ScanField(tickerField, rec, scratch);
          const std::string tickerText(
              TrimBlanks(cell.kind == DbfValue::Kind::Text ? cell.text : cell.Text()));
          const int oper = WrittenOperType(operField, rec, scratch, text);
          const size_t index =
              oper >= 0 ? LineIndex(tickerText, oper == 1 ? "B" : "S") : LineIndex(tickerText, text);
          known = lineOfBytes.emplace(key, index).first;
        }
        const size_t index = known->second;
        ControlLine& line = result.lines[index];
        ++line.rows;
        PieceUnits price = 0, qty = 0;
        if (!ReadUnits(FieldBytes(*columns[2], rec), price) ||
            !ReadUnits(FieldBytes(*columns[3], rec), qty)) {
          ++line.unreadable;
          continue;
        }
        line.piecesWritten += qty;
        line.pricesWritten += price;
        const double money =
            static_cast<double>(price) / kPieceScale * (static_cast<double>(qty) / kPieceScale);
        line.moneyWritten += money;
        line.moneyWrittenAbs += std::fabs(money);
      }
    };
    readBack(visit);
    findColumns();
    result.checked = true;
  } catch (const EDBEngineError& e) {
    ShowExceptionInfo(e, "Не могу прочитать выходной файл: контрольные суммы не проверены");
  }

  // Both money sums are taken in double: gamma(terms) in double of both
  // sums of absolute values.
  for (ControlLine& line : result.lines) {
    line.tolerance +=
        Gamma(static_cast<double>(line.deals + line.lines + line.rows + line.rowsRefused + 2), kDouble) *
        (line.moneyAbs + line.moneyWrittenAbs);
    AddLineTo(result.total, line);
  }

  return std::move(result_);
}

void ExportControl::ShowDifferences(const Reconciliation& result) {
  if (!result.checked || result.Agrees()) return;  // a failed reading back has been shown
  const std::vector<std::string> differences = result.Differences();
  ShowMessDlg("Контрольные суммы не сходятся", &differences, nullptr, -1, -1, MsgKind::Error);
}

}  // namespace drs
