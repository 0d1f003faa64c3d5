#include <gtest/gtest.h>

#include "export/TurnoverPairing.h"

namespace drs {
namespace {

using Row = std::vector<std::string>;  // account, ticker, bought, sold, saldo

std::vector<Row> Flat(const std::vector<TurnoverRow>& rows) {
  std::vector<Row> out;
  for (const TurnoverRow& r : rows) out.push_back({r.account, r.ticker, r.bought, r.sold, r.saldo});
  return out;
}

TEST(TurnoverPairing, BySecurityFillsTheMissingSideWithZero) {
  // As the engine returns them: by ticker, then operation type.
  TurnoverPairing p;
  p.Add("GAZP", "0", 30);
  p.Add("GAZP", "1", 100);
  p.Add("LKOH", "0", 10);
  p.Add("SBER", "1", 5);
  EXPECT_EQ(Flat(p.Finish()), (std::vector<Row>{{"", "GAZP", "100", "30", "70"},
                                                 {"", "LKOH", "0", "10", "-10"},
                                                 {"", "SBER", "5", "0", "5"}}));
}

TEST(TurnoverPairing, ByAccountStartsTheSecuritiesAfreshPerAccount) {
  TurnoverPairing p;
  p.BeginAccount("1001");
  p.Add("GAZP", "1", 100);
  p.BeginAccount("1002");
  p.Add("GAZP", "0", 40);
  EXPECT_EQ(Flat(p.Finish()), (std::vector<Row>{{"1001", "GAZP", "100", "0", "100"},
                                                 {"1002", "GAZP", "0", "40", "-40"}}));
}

TEST(TurnoverPairing, OtherOperationTypesAreOnePurchaseAndNothingShifts) {
  // Types 1 and 2 of GAZP are both purchases of GAZP; LKOH keeps its own sums.
  TurnoverPairing p;
  p.Add("GAZP", "0", 30);
  p.Add("GAZP", "1", 100);
  p.Add("GAZP", "2", 7);
  p.Add("LKOH", "0", 10);
  p.Add("LKOH", "1", 4);
  EXPECT_EQ(Flat(p.Finish()), (std::vector<Row>{{"", "GAZP", "107", "30", "77"}, {"", "LKOH", "4", "10", "-6"}}));
}

TEST(TurnoverPairing, TickersDifferingInCaseAreOneSecurity) {
  // Binary order puts "gazp" after "LKOH"; its purchase stays with GAZP.
  TurnoverPairing p;
  p.Add("GAZP", "0", 30);
  p.Add("LKOH", "0", 10);
  p.Add("gazp", "1", 5);
  EXPECT_EQ(Flat(p.Finish()), (std::vector<Row>{{"", "GAZP", "5", "30", "-25"}, {"", "LKOH", "0", "10", "-10"}}));
}

TEST(TurnoverPairing, NoRowsGiveNoRows) {
  TurnoverPairing p;
  EXPECT_TRUE(p.Finish().empty());
}

TEST(TurnoverAmounts, TextHoldsFifteenSignificantDigits) {
  EXPECT_EQ(AmountText(100), "100");
  EXPECT_EQ(AmountText(0.1 + 0.2), "0.3");
  EXPECT_EQ(AmountText(-0.0), "0");
  EXPECT_EQ(AmountText(123456789012.34567), "123456789012.346");
  EXPECT_DOUBLE_EQ(AmountValue(AmountText(1e20)), 1e20);
  // A saldo is formed from the texts, so 15-digit rounding shows in it.
  TurnoverPairing p;
  p.Add("X", "1", 0.1 + 0.2);
  p.Add("X", "0", 0.3);
  EXPECT_EQ(p.Finish()[0].saldo, "0");
}

}  // namespace
}  // namespace drs
