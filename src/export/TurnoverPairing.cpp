#include "export/TurnoverPairing.h"

#include <charconv>

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

void TurnoverPairing::BeginAccount(std::string account) {
  account_ = std::move(account);
  seen_.clear();
}

void TurnoverPairing::Add(std::string_view ticker, std::string_view operType, double sum) {
  auto [it, added] = seen_.try_emplace(FoldCase(ticker), rows_.size());
  if (added) {
    TurnoverRow row;
    row.account = account_;
    row.ticker = std::string(ticker);
    rows_.push_back(std::move(row));
  }
  TurnoverRow& row = rows_[it->second];
  std::string& side = operType == "0" ? row.sold : row.bought;
  const double value = AmountValue(AmountText(sum));
  side = AmountText(AmountValue(side) + value);
}

std::vector<TurnoverRow> TurnoverPairing::Finish() {
  for (TurnoverRow& row : rows_) row.saldo = AmountText(AmountValue(row.bought) - AmountValue(row.sold));
  seen_.clear();
  return std::move(rows_);
}

}  // namespace drs
