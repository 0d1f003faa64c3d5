#include "export/ExportLines.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "deals/ActiveFormat.h"
#include "deals/DealGrid.h"
#include "deals/Marking.h"
#include "deals/ReplaceList.h"
#include "export/ClientGroups.h"
#include "utils/HashMap.h"
#include "utils/Pages.h"
#include "utils/Utils.h"

namespace drs {

namespace {

constexpr double kPow10[] = {1, 10, 100, 1000, 10000, 100000, 1000000};

ExportBuildError NumberFormatError() { return {ExportBuildError::Kind::NumberFormat, kNumberFormatMessage}; }

// The value in units of the last decimal, rounded half away from zero. The
// product of a double and a power of ten up to 10^4 is exact in extended
// precision, so the rounding sees the exact value. False beyond 2^62 units.
bool ScaledUnits(double value, int decimals, int64_t& units) {
  if (!std::isfinite(value)) return false;
  const double product = value * kPow10[decimals];
  if (decimals <= 4 && std::fabs(product) < 0x1p52) {
    // The rounded product is the double nearest the exact one, so no other
    // half-integer lies between them: only when the rounded product is a
    // half-integer itself does the exact one decide, by the side it lies on.
    double rounded = std::round(product);
    if (std::fabs(product - std::trunc(product)) == 0.5) {
      const double rest = std::fma(value, kPow10[decimals], -product);  // exact: product + rest
      if (rest != 0) rounded = rest > 0 ? std::ceil(product) : std::floor(product);
    }
    units = static_cast<int64_t>(rounded);
    return true;
  }
  const long double scaled = std::roundl(static_cast<long double>(value) * kPow10[decimals]);
  if (std::fabs(scaled) >= 4611686018427387904.0L) return false;
  units = static_cast<int64_t>(scaled);
  return true;
}

constexpr int64_t kExactUnits = int64_t(1) << 53;  // every such count is a double

int ClampDecimals(int decimals) { return decimals < 0 ? 0 : decimals > 6 ? 6 : decimals; }

}  // namespace

std::string FormatFixed(double value, int decimals) {
  decimals = ClampDecimals(decimals);
  char buf[400];
  int64_t units = 0;
  if (ScaledUnits(value, decimals, units)) {
    const bool negative = units < 0;
    auto r = std::to_chars(buf, buf + sizeof buf, negative ? -units : units);
    std::string digits(buf, r.ptr);
    if (digits.size() <= static_cast<size_t>(decimals)) digits.insert(0, decimals + 1 - digits.size(), '0');
    if (decimals > 0) digits.insert(digits.size() - decimals, ".");
    return negative ? "-" + digits : digits;  // zero has no sign
  }
  // Huge values: every digit before the point is significant anyway.
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  if (r.ec != std::errc()) return "0";
  return std::string(buf, r.ptr);
}

double RoundFixed(double value, int decimals) {
  decimals = ClampDecimals(decimals);
  int64_t units = 0;
  // units / 10^d correctly rounded is the double the text reads back as.
  if (ScaledUnits(value, decimals, units) && units > -kExactUnits && units < kExactUnits) {
    return units == 0 ? 0.0 : static_cast<double>(units) / kPow10[decimals];
  }
  const std::string text = FormatFixed(value, decimals);
  double result = 0;
  std::from_chars(text.data(), text.data() + text.size(), result);
  return result;
}

int OperTypeOf(std::string_view operCode) { return operCode == "B" ? 1 : 0; }

bool ParseTradeDate(std::string_view text, int& year, int& month, int& day) {
  int parts[3] = {0, 0, 0};
  int lengths[3] = {0, 0, 0};
  int part = 0;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      if (++lengths[part] > 4) return false;
      parts[part] = parts[part] * 10 + (c - '0');
    } else if (c == '.' && part < 2 && lengths[part] > 0) {
      ++part;
    } else {
      return false;
    }
  }
  if (part != 2 || lengths[0] > 2 || lengths[1] > 2 || lengths[2] != 4) return false;
  day = parts[0];
  month = parts[1];
  year = parts[2];
  return ValidDate(year, month, day);
}

std::string_view ExportLines::Account(const ExportLine& line) const {
  return source_.grid.Cell(source_.format.clientIdCol, line.row);
}
std::string_view ExportLines::Ticker(const ExportLine& line) const {
  return source_.grid.Cell(source_.format.shareCodCol, line.row);
}
std::string_view ExportLines::OperCode(const ExportLine& line) const {
  return source_.grid.Cell(source_.format.operCodCol, line.row);
}
std::string_view ExportLines::Number(const ExportLine& line) const {
  return source_.grid.Cell(source_.format.numberCol, line.row);
}

std::string ExportLines::Text(const ExportLine& line, std::string_view tradeDate,
                              std::string_view brokerAcc) const {
  std::string text;
  for (std::string_view field : {Account(line), Ticker(line), OperCode(line)}) {
    text.append(field);
    text.push_back('\t');
  }
  text += FormatFixed(line.price, 3);
  text.push_back('\t');
  text += FormatFixed(line.quantity, 1);
  text.push_back('\t');
  text.append(tradeDate);
  text.push_back('\t');
  text.append(Number(line));
  text.push_back('\t');
  text.append(brokerAcc);
  return text;
}

bool ExportLines::SameOrder(int a, int b) const { return SameDeal(source_.grid, source_.format, a, b); }

ExportBuildError ExportLines::Build(bool squeezeOrders, DealObserver* observer) {
  lines_.clear();
  const DealGrid& grid = source_.grid;
  const ActiveFormat& format = source_.format;
  const MarkedRows& marks = source_.marks;
  const int last = grid.RowCount() - 1;
  auto nextMarked = [&](int row) {
    for (int r = row + 1; r <= last; ++r) {
      if (marks.IsMarked(r)) return r;
    }
    return 0;
  };
  // The lot list is searched once per distinct security code text, and the
  // code of the line before is tried first.
  HashMap<std::string_view, int> lotCache;
  const std::pair<const std::string_view, int>* lastLot = nullptr;
  auto lotOf = [&](std::string_view code) {
    if (lastLot != nullptr && lastLot->first == code) return lastLot->second;
    auto it = lotCache.find(code);
    if (it == lotCache.end())
      it = lotCache.emplace(code, source_.lists.LotFor(code, format.defaultLot)).first;
    lastLot = &*it;
    return it->second;
  };

  // Room for one line per marked deal: with the order squeeze far fewer may
  // come, and the room never written costs no memory.
  lines_.reserve(static_cast<size_t>(marks.Count()));
  for (int row = nextMarked(0); row != 0;) {
    const ParsedNumber price = ParseNumber(grid.Cell(format.costCol, row), format.decSepChar);
    const ParsedNumber firstLots = ParseNumber(grid.Cell(format.shareCntCol, row), format.decSepChar);
    if (!price.ok || !firstLots.ok) {
      lines_.clear();
      return NumberFormatError();
    }
    if (observer) observer->Deal(row, price.value, firstLots.value, false);
    const int lot = lotOf(grid.Cell(format.shareCodCol, row));
    float lots = firstLots.value;
    float amount = price.value * lots;
    int runEnd = row;
    int next = nextMarked(row);
    if (squeezeOrders) {
      while (next != 0 && SameOrder(next, row)) {
        const ParsedNumber p = ParseNumber(grid.Cell(format.costCol, next), format.decSepChar);
        const ParsedNumber q = ParseNumber(grid.Cell(format.shareCntCol, next), format.decSepChar);
        if (!p.ok || !q.ok) {
          lines_.clear();
          return NumberFormatError();
        }
        if (observer) observer->Deal(next, p.value, q.value, true);
        // The product at extended precision, the sum kept in single.
        amount = static_cast<float>(static_cast<long double>(amount) +
                                    static_cast<long double>(p.value) * static_cast<long double>(q.value));
        lots = lots + q.value;
        runEnd = next;
        next = nextMarked(next);
      }
    }
    if (lots == 0) {
      std::string where = runEnd == row ? "в строке " + std::to_string(row)
                                        : "в строках " + std::to_string(row) + "-" + std::to_string(runEnd);
      lines_.clear();
      return {ExportBuildError::Kind::ZeroQuantity,
              "Количество лотов сделок " + where + " (счет " +
                  std::string(grid.Cell(format.clientIdCol, row)) + ", ЦБ " +
                  std::string(grid.Cell(format.shareCodCol, row)) +
                  ") равно нулю: цену рассчитать нельзя. Экспорт не выполнен."};
    }
    const float unitPrice = amount / lots;
    const float quantity = static_cast<float>(static_cast<long double>(lot) * static_cast<long double>(lots));
    if (!std::isfinite(unitPrice) || !std::isfinite(quantity)) {
      lines_.clear();
      return NumberFormatError();
    }
    lines_.push_back({row, RoundFixed(unitPrice, 3), RoundFixed(quantity, 1)});
    row = next;
  }
  return {};
}

ExportBuildError ExportLines::SqueezeClients() {
  const size_t n = lines_.size();
  // Sums start with the group's first line; the others are added from the
  // last towards the second, which fixes the rounding of the result.
  struct Sum {
    double amount, total;
    int row;  // of the group's first line
  };
  HugePageVector<Sum> sums;
  sums.reserve(n);  // only the room used costs memory
  // The group of each line; the first line of a group is flagged.
  HugePageVector<uint32_t> group = ClientGroupOf(*this);
  for (size_t i = 0; i < n; ++i) {
    if (!(group[i] & kFirstOfGroup)) continue;
    const ExportLine& line = lines_[i];
    sums.push_back({line.price * line.quantity, line.quantity, line.row});
  }
  for (size_t i = n; i-- > 0;) {
    if (group[i] & kFirstOfGroup) continue;
    Sum& sum = sums[group[i]];
    sum.amount += lines_[i].price * lines_[i].quantity;
    sum.total += lines_[i].quantity;
  }
  HugePageVector<uint32_t>().swap(group);
  // The result goes in place: the sums hold all that is still to be read.
  for (size_t g = 0; g < sums.size(); ++g) {
    const Sum& sum = sums[g];
    const ExportLine line{sum.row};
    if (sum.total == 0) {
      std::string message = "Суммарное количество ЦБ " + std::string(Ticker(line)) + " по счету " +
                            std::string(Account(line)) + " (операция \"" + std::string(OperCode(line)) +
                            "\", строка " + std::to_string(line.row) +
                            ") равно нулю: цену рассчитать нельзя. Экспорт не выполнен.";
      lines_.clear();
      return {ExportBuildError::Kind::ZeroQuantity, message};
    }
    const double price = sum.amount / sum.total;
    if (!std::isfinite(price) || !std::isfinite(sum.total)) {
      lines_.clear();
      return NumberFormatError();
    }
    lines_[g] = {line.row, RoundFixed(price, 3), RoundFixed(sum.total, 1)};
  }
  lines_.resize(sums.size());
  return {};
}

}  // namespace drs
