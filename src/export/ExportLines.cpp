#include "export/ExportLines.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "deals/ActiveFormat.h"
#include "deals/DealGrid.h"
#include "deals/Marking.h"
#include "deals/ReplaceList.h"
#include "utils/Utils.h"

namespace drs {

namespace {

constexpr double kPow10[] = {1, 10, 100, 1000, 10000, 100000, 1000000};

ExportBuildError NumberFormatError() { return {ExportBuildError::Kind::NumberFormat, kNumberFormatMessage}; }

// The three texts of a client squeeze key, compared field by field so that
// account "12" with security "3X" never meets account "123" with "X".
struct ClientKey {
  std::string_view account, ticker, operCode;
  bool operator==(const ClientKey&) const = default;
};

struct ClientKeyHash {
  size_t operator()(const ClientKey& k) const noexcept {
    std::hash<std::string_view> h;
    size_t seed = h(k.account);
    seed ^= h(k.ticker) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
    seed ^= h(k.operCode) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
    return seed;
  }
};

}  // namespace

namespace {

// The value in units of the last decimal, rounded half away from zero. The
// product of a double and a power of ten up to 10^6 is exact in extended
// precision, so the rounding sees the exact value. False beyond 2^62 units.
bool ScaledUnits(double value, int decimals, int64_t& units) {
  if (!std::isfinite(value)) return false;
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

ExportBuildError ExportLines::Build(bool squeezeOrders) {
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
  // The lot list is searched once per distinct security code text.
  std::unordered_map<std::string_view, int> lotCache;
  auto lotOf = [&](std::string_view code) {
    auto it = lotCache.find(code);
    if (it != lotCache.end()) return it->second;
    int lot = source_.lists.LotFor(code, format.defaultLot);
    lotCache.emplace(code, lot);
    return lot;
  };

  // One line per marked deal without the order squeeze; with it, far fewer
  // may come, and the room for all would stay unused.
  if (!squeezeOrders) lines_.reserve(static_cast<size_t>(marks.Count()));
  for (int row = nextMarked(0); row != 0;) {
    const ParsedNumber price = ParseNumber(grid.Cell(format.costCol, row), format.decSepChar);
    const ParsedNumber firstLots = ParseNumber(grid.Cell(format.shareCntCol, row), format.decSepChar);
    if (!price.ok || !firstLots.ok) {
      lines_.clear();
      return NumberFormatError();
    }
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
  // Groups by key in an open-addressing table of line indexes: no node per
  // key, which matters for hundreds of thousands of lines. A probe with an
  // equal hash compares the cells of the group's first line.
  size_t capacity = 16;
  while (capacity < 2 * n) capacity <<= 1;
  constexpr uint32_t kEmpty = UINT32_MAX;
  std::vector<uint32_t> slots(capacity, kEmpty);  // group number
  std::vector<uint32_t> group(n);
  std::vector<uint32_t> first;  // first line of each group, in order of appearance
  std::vector<size_t> groupHash;
  const ClientKeyHash hash;
  auto keyOf = [this](const ExportLine& line) {
    return ClientKey{Account(line), Ticker(line), OperCode(line)};
  };
  for (size_t i = 0; i < n; ++i) {
    const ClientKey key = keyOf(lines_[i]);
    const size_t h = hash(key);
    size_t slot = h & (capacity - 1);
    for (;;) {
      const uint32_t g = slots[slot];
      if (g == kEmpty) {
        slots[slot] = static_cast<uint32_t>(first.size());
        group[i] = static_cast<uint32_t>(first.size());
        first.push_back(static_cast<uint32_t>(i));
        groupHash.push_back(h);
        break;
      }
      if (groupHash[g] == h && keyOf(lines_[first[g]]) == key) {
        group[i] = g;
        break;
      }
      slot = (slot + 1) & (capacity - 1);
    }
  }
  std::vector<uint32_t>().swap(slots);
  std::vector<size_t>().swap(groupHash);
  // Sums start with the group's first line; the others are added from the
  // last towards the second, which fixes the rounding of the result.
  struct Sum {
    double amount, total;
  };
  std::vector<Sum> sums(first.size());
  for (size_t g = 0; g < first.size(); ++g) {
    const ExportLine& line = lines_[first[g]];
    sums[g] = {line.price * line.quantity, line.quantity};
  }
  for (size_t i = n; i-- > 0;) {
    const uint32_t g = group[i];
    if (first[g] == i) continue;
    sums[g].amount += lines_[i].price * lines_[i].quantity;
    sums[g].total += lines_[i].quantity;
  }
  // The result goes in place: group g's first line is line g or a later one,
  // so no line still to be read is overwritten.
  for (size_t g = 0; g < first.size(); ++g) {
    const ExportLine line = lines_[first[g]];
    const Sum& sum = sums[g];
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
  lines_.resize(first.size());
  return {};
}

}  // namespace drs
