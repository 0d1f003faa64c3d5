#include "export/TurnoverPairing.h"

#include <charconv>
#include <cmath>

#include "utils/Pages.h"
#include "utils/TextCase.h"

namespace drs {

std::string AmountText(double value) {
  if (value == 0) return "0";  // also for a negative zero
  // Not printf: the operator's locale must not change the decimal point.
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
  return std::string(buf, r.ptr);
}

double AmountValue(std::string_view text) {
  double value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

double RoundedAmount(double value) {
  if (value == 0) return 0;  // a negative zero reads back as zero
  // A value that is the nearest double to m / 10^k, m of at most 15 digits,
  // is written as that decimal and read back as itself.
  static constexpr double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};
  for (double p : kPow10) {
    const double m = std::nearbyint(value * p);
    if (!(std::fabs(m) < 1e15)) break;
    if (m / p == value) return value;
  }
  return AmountValue(AmountText(value));
}

void TurnoverPairing::BeginAccount(std::string account) {
  account_ = std::move(account);
  seen_.clear();
}

void TurnoverPairing::Reserve(size_t rows) {
  rows_.reserve(rows_.size() + rows);
  AdviseHugePages(rows_.data() + rows_.size(), rows * sizeof(TurnoverRow));
}

void TurnoverPairing::Add(std::string_view ticker, std::string_view operType, double sum) {
  auto [it, added] = seen_.try_emplace(FoldCase(ticker), rows_.size());
  if (added) {
    TurnoverRow& row = rows_.emplace_back();
    row.account = account_;
    row.ticker = std::string(ticker);
  }
  TurnoverRow& row = rows_[it->second];
  double& side = operType == "0" ? row.sold : row.bought;
  side = RoundedAmount(side + RoundedAmount(sum));
}

std::vector<TurnoverRow> TurnoverPairing::Finish() {
  for (TurnoverRow& row : rows_) row.saldo = RoundedAmount(row.bought - row.sold);
  seen_.clear();
  return std::move(rows_);
}

}  // namespace drs
