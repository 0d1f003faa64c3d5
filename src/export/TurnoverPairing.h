// Pairs the grouped sums of the output deal table (security, operation type,
// sum of QTY) into rows of units bought, sold and their difference.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace drs {

// One row of a turnover table. Amounts are the numbers their texts (up to
// 15 significant digits, AmountText) read back as.
struct TurnoverRow {
  std::string account;  // empty in the mode by security
  std::string ticker;
  double bought = 0;
  double sold = 0;
  double saldo = 0;
};

// Amounts travel as text: a sum is written with up to 15 significant digits
// and read back as a number.
std::string AmountText(double value);
double AmountValue(std::string_view text);
// AmountValue(AmountText(value)), mostly without the text.
double RoundedAmount(double value);

class TurnoverPairing {
 public:
  // Starts the rows of one account (mode by account); securities are told
  // apart per account.
  void BeginAccount(std::string account);
  // Room for `rows` more rows, when their number is known beforehand.
  void Reserve(size_t rows);
  // One result row. Operation type "0" is a sale, any other text a purchase.
  // Every sale or purchase of a security (letter case of the code ignored)
  // is summed into its one row, so no row is paired with another's sums.
  void Add(std::string_view ticker, std::string_view operType, double sum);
  // The rows in order of first appearance, saldo = bought - sold.
  std::vector<TurnoverRow> Finish();

 private:
  std::string account_;
  std::unordered_map<std::string, size_t> seen_;  // folded ticker -> row, for the current account
  std::vector<TurnoverRow> rows_;
};

}  // namespace drs
