#include "export/ExportLines.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "deals/ActiveFormat.h"
#include "deals/DealGrid.h"
#include "deals/Marking.h"
#include "deals/ReplaceList.h"
#include "utils/Pages.h"
#include "utils/Utils.h"

namespace drs {

namespace {

constexpr double kPow10[] = {1, 10, 100, 1000, 10000, 100000, 1000000};

ExportBuildError NumberFormatError() { return {ExportBuildError::Kind::NumberFormat, kNumberFormatMessage}; }

// A client squeeze key: account, security code and buy/sell code. Short
// keys, most of a report's, are packed with their lengths into three words,
// so that a probe compares words instead of reading the grid; cells are
// compared one by one, so account "12" with security "3X" never meets
// account "123" with "X".
struct ClientKey {
  uint64_t words[3] = {0, 0, 0};  // the packed cells; a long key's hash in the first
  uint8_t sizes[3] = {0, 0, 0};
  bool packed = false;
};

constexpr size_t kPackedBytes = sizeof(ClientKey::words);

uint64_t Mix(uint64_t h, uint64_t v) {
  h = (h ^ v) * 0x9E3779B97F4A7C15ULL;
  return h ^ (h >> 29);
}

uint64_t Avalanche(uint64_t h) {
  h *= 0xFF51AFD7ED558CCDULL;
  return h ^ (h >> 32);
}

uint64_t KeyHash(const ClientKey& key) {
  if (!key.packed) return key.words[0];
  return Avalanche(
      Mix(Mix(Mix(key.sizes[0] | key.sizes[1] << 8 | key.sizes[2] << 16, key.words[0]), key.words[1]),
          key.words[2]));
}

ClientKey MakeClientKey(std::string_view account, std::string_view ticker, std::string_view operCode) {
  ClientKey key;
  const std::string_view cells[3] = {account, ticker, operCode};
  if (account.size() + ticker.size() + operCode.size() <= kPackedBytes) {
    char bytes[kPackedBytes] = {};
    size_t at = 0;
    for (int c = 0; c < 3; ++c) {
      if (!cells[c].empty()) std::memcpy(bytes + at, cells[c].data(), cells[c].size());
      at += cells[c].size();
      key.sizes[c] = static_cast<uint8_t>(cells[c].size());
    }
    std::memcpy(key.words, bytes, kPackedBytes);
    key.packed = true;
    return key;
  }
  uint64_t h = 0;
  for (const std::string_view cell : cells) {
    h = Mix(h, cell.size());
    size_t at = 0;
    for (; at + 8 <= cell.size(); at += 8) {
      uint64_t word;
      std::memcpy(&word, cell.data() + at, 8);
      h = Mix(h, word);
    }
    uint64_t tail = 0;
    if (at < cell.size()) std::memcpy(&tail, cell.data() + at, cell.size() - at);
    h = Mix(h, tail);
  }
  key.words[0] = Avalanche(h);
  return key;
}

// Equal keys, unless both are too long to pack: then the cells decide.
bool SamePackedKey(const ClientKey& a, const ClientKey& b) {
  return a.packed == b.packed && a.words[0] == b.words[0] && a.words[1] == b.words[1] &&
         a.words[2] == b.words[2] && a.sizes[0] == b.sizes[0] && a.sizes[1] == b.sizes[1] &&
         a.sizes[2] == b.sizes[2];
}

}  // namespace

namespace {

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
  std::unordered_map<std::string_view, int> lotCache;
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
  constexpr uint32_t kFirst = uint32_t(1) << 31;
  HugePageVector<uint32_t> group(n);
  {
    // Groups by key in an open-addressing table, no more than half full, of
    // each group's number and hash: no node per key, and a probe reads the
    // group's key only on an equal hash. The table places of the lines
    // ahead are asked for, and then the keys they hold, so that a line's
    // lookup seldom waits for memory.
    // Room for as many groups as half the lines before the table grows.
    size_t capacity = 1024;
    while (capacity < n) capacity <<= 1;
    HugePageVector<uint64_t> slots(capacity, 0);  // hash >> 32 << 32 | group + 1; 0 is free
    size_t mask = slots.size() - 1;
    HugePageVector<ClientKey> keys;
    keys.reserve(n);
    struct Pending {
      ClientKey key;
      uint64_t hash;
    };
    constexpr size_t kAhead = 16;  // lines whose place is asked for
    constexpr size_t kNear = 8;    // lines whose group's key is asked for
    Pending ahead[kAhead];
    constexpr uint64_t kTag = ~uint64_t(0) << 32;
    auto fetch = [&](size_t i) {
      Pending& p = ahead[i % kAhead];
      p.key = MakeClientKey(Account(lines_[i]), Ticker(lines_[i]), OperCode(lines_[i]));
      p.hash = KeyHash(p.key);
      __builtin_prefetch(&slots[p.hash & mask]);
    };
    auto look = [&](size_t i) {
      const Pending& p = ahead[i % kAhead];
      const uint64_t entry = slots[p.hash & mask];
      if (entry != 0 && (entry & kTag) == (p.hash & kTag)) __builtin_prefetch(&keys[(entry & ~kTag) - 1]);
    };
    auto sameCells = [this, &sums](uint32_t g, const ExportLine& line) {
      const ExportLine first{sums[g].row};
      return Account(first) == Account(line) && Ticker(first) == Ticker(line) &&
             OperCode(first) == OperCode(line);
    };
    for (size_t i = 0; i < std::min(n, kAhead); ++i) fetch(i);
    for (size_t i = 0; i < std::min(n, kNear); ++i) look(i);
    for (size_t i = 0; i < n; ++i) {
      const Pending p = ahead[i % kAhead];
      if (i + kAhead < n) fetch(i + kAhead);
      if (i + kNear < n) look(i + kNear);
      const ExportLine& line = lines_[i];
      size_t slot = p.hash & mask;
      bool found = false;
      for (; slots[slot] != 0; slot = (slot + 1) & mask) {
        const uint64_t entry = slots[slot];
        const uint32_t g = static_cast<uint32_t>((entry & ~kTag) - 1);
        if ((entry & kTag) == (p.hash & kTag) && SamePackedKey(keys[g], p.key) &&
            (p.key.packed || sameCells(g, line))) {
          group[i] = g;
          found = true;
          break;
        }
      }
      if (found) continue;
      const uint32_t g = static_cast<uint32_t>(keys.size());
      group[i] = g | kFirst;
      keys.push_back(p.key);
      sums.push_back({line.price * line.quantity, line.quantity, line.row});
      slots[slot] = (p.hash & kTag) | (g + 1);
      if (2 * keys.size() > slots.size()) {
        slots.assign(2 * slots.size(), 0);
        mask = slots.size() - 1;
        for (uint32_t k = 0; k < keys.size(); ++k) {
          const uint64_t hash = KeyHash(keys[k]);
          size_t at = hash & mask;
          while (slots[at] != 0) at = (at + 1) & mask;
          slots[at] = (hash & kTag) | (k + 1);
        }
      }
    }
  }
  for (size_t i = n; i-- > 0;) {
    if (group[i] & kFirst) continue;
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
