#include <gtest/gtest.h>

#include <cmath>
#include <utility>

#include "ExportFixture.h"
#include "export/ExportLines.h"

namespace drs {
namespace {

using test::Deal;
using test::DealsFixture;
using test::LineTexts;
using Texts = std::vector<std::string>;

// Two deals of one order: 10 lots at 100.50 and 30 at 100.70, lot size 10.
DealsFixture OneOrderTwoDeals() {
  DealsFixture f({{"1001", "GAZP", "B", "100.50", "10", "77"}, {"1001", "GAZP", "B", "100.70", "30", "77"}});
  f.lists.ParseLine("@GAZP=10;", 1);
  return f;
}

TEST(ExportLinesOrderSqueeze, MergesTheDealsOfOneOrderWithTheWeightedPrice) {
  DealsFixture f = OneOrderTwoDeals();
  ExportLines lines(f.Source());
  ASSERT_FALSE(lines.Build(true));
  EXPECT_EQ(LineTexts(lines), Texts{"1001\tGAZP\tB\t100.650\t400.0\t01.02.2024\t77\tBRK"});
}

TEST(ExportLinesOrderSqueeze, WithoutTheSqueezeEachDealIsALine) {
  DealsFixture f = OneOrderTwoDeals();
  ExportLines lines(f.Source());
  ASSERT_FALSE(lines.Build(false));
  EXPECT_EQ(LineTexts(lines), (Texts{"1001\tGAZP\tB\t100.500\t100.0\t01.02.2024\t77\tBRK",
                                     "1001\tGAZP\tB\t100.700\t300.0\t01.02.2024\t77\tBRK"}));
}

TEST(ExportLinesOrderSqueeze, OnlyUnbrokenRunsOfMarkedDealsMerge) {
  // A1 B1 A2: the marked B1 breaks the run of order A.
  DealsFixture broken(
      {{"1", "X", "B", "10", "1", "A"}, {"1", "X", "B", "20", "1", "B"}, {"1", "X", "B", "30", "1", "A"}});
  ExportLines a(broken.Source());
  ASSERT_FALSE(a.Build(true));
  ASSERT_EQ(a.Size(), 3u);
  EXPECT_EQ(a.Number(a.Lines()[0]), "A");
  EXPECT_EQ(a.Number(a.Lines()[1]), "B");
  EXPECT_EQ(a.Number(a.Lines()[2]), "A");

  // An unmarked deal of another order in between does not break it.
  DealsFixture passed({{"1", "X", "B", "10", "1", "A"},
                       {"1", "X", "B", "20", "1", "B", false},
                       {"1", "X", "B", "30", "1", "A"}});
  ExportLines b(passed.Source());
  ASSERT_FALSE(b.Build(true));
  EXPECT_EQ(LineTexts(b), Texts{"1\tX\tB\t20.000\t200.0\t01.02.2024\tA\tBRK"});
}

TEST(ExportLinesOrderSqueeze, KeyIsAccountDirectionAndNumberAndTheRunKeepsTheFirstDeal) {
  // Equal numbers but another direction or account start a new line; the
  // merged line takes the first deal's security and its lot.
  DealsFixture f({{"1", "X", "B", "10", "1", "7"},
                  {"1", "Y", "B", "20", "1", "7"},
                  {"1", "X", "S", "10", "1", "7"},
                  {"2", "X", "S", "10", "1", "7"}});
  f.lists.ParseLine("@Y=5;", 1);
  ExportLines lines(f.Source());
  ASSERT_FALSE(lines.Build(true));
  EXPECT_EQ(LineTexts(lines),
            (Texts{"1\tX\tB\t15.000\t200.0\t01.02.2024\t7\tBRK", "1\tX\tS\t10.000\t100.0\t01.02.2024\t7\tBRK",
                   "2\tX\tS\t10.000\t100.0\t01.02.2024\t7\tBRK"}));
}

TEST(ExportLinesLots, ListedSizeIgnoresCaseOthersTakeTheDefault) {
  DealsFixture f({{"1", "GAZP", "B", "1", "3", "1"}, {"1", "SBER", "B", "1", "3", "2"}}, 50);
  f.lists.ParseLine("@gazp=10;", 1);
  ExportLines lines(f.Source());
  ASSERT_FALSE(lines.Build(false));
  ASSERT_EQ(lines.Size(), 2u);
  EXPECT_EQ(lines.Lines()[0].quantity, 30.0);
  EXPECT_EQ(lines.Lines()[1].quantity, 150.0);
}

TEST(ExportLinesNumbers, PricesAndLotsAreSinglePrecision) {
  // 16777217 has no single-precision value; the line shows its neighbour.
  DealsFixture f({{"1", "X", "B", "16777217", "1", "1"}}, 1);
  ExportLines lines(f.Source());
  ASSERT_FALSE(lines.Build(false));
  EXPECT_EQ(LineTexts(lines)[0], "1\tX\tB\t16777216.000\t1.0\t01.02.2024\t1\tBRK");
}

TEST(ExportLinesNumbers, ABadNumberOfAProcessedDealFailsTheWholeBuild) {
  DealsFixture bad({{"1", "X", "B", "10", "1", "1"}, {"1", "X", "B", "1 000", "1", "2"}});
  ExportLines lines(bad.Source());
  ExportBuildError error = lines.Build(false);
  EXPECT_EQ(error.kind, ExportBuildError::Kind::NumberFormat);
  EXPECT_EQ(error.message, "Ошибка числового формата во входном файле. Смотрите поля количество и Цена");
  EXPECT_EQ(lines.Size(), 0u);

  // The same bad cell in an unmarked row is never read.
  DealsFixture skipped({{"1", "X", "B", "10", "1", "1"}, {"1", "X", "B", "abc", "", "2", false}});
  ExportLines ok(skipped.Source());
  EXPECT_FALSE(ok.Build(false));
  EXPECT_EQ(ok.Size(), 1u);

  // A bad quantity inside a run fails the squeeze as well.
  DealsFixture run({{"1", "X", "B", "10", "1", "1"}, {"1", "X", "B", "10", "x", "1"}});
  ExportLines squeezed(run.Source());
  EXPECT_EQ(squeezed.Build(true).kind, ExportBuildError::Kind::NumberFormat);
}

TEST(ExportLinesNumbers, ZeroLotsAreReportedWithTheirRowsAndNothingIsBuilt) {
  DealsFixture single({{"1", "X", "B", "10", "1", "1"}, {"1001", "GAZP", "S", "10", "0", "2"}});
  ExportLines a(single.Source());
  ExportBuildError error = a.Build(false);
  EXPECT_EQ(error.kind, ExportBuildError::Kind::ZeroQuantity);
  EXPECT_NE(error.message.find("в строке 2"), std::string::npos) << error.message;
  EXPECT_NE(error.message.find("1001"), std::string::npos) << error.message;
  EXPECT_EQ(a.Size(), 0u);

  DealsFixture run({{"1", "X", "B", "10", "5", "1"}, {"1", "X", "B", "11", "-5", "1"}});
  ExportLines b(run.Source());
  error = b.Build(true);
  EXPECT_EQ(error.kind, ExportBuildError::Kind::ZeroQuantity);
  EXPECT_NE(error.message.find("в строках 1-2"), std::string::npos) << error.message;
  // Unmerged, each deal has its own price.
  EXPECT_FALSE(b.Build(false));
  EXPECT_EQ(b.Size(), 2u);
}

TEST(ExportLinesNumbers, NothingMarkedGivesNoLines) {
  DealsFixture f({{"1", "X", "B", "10", "1", "1", false}});
  ExportLines lines(f.Source());
  EXPECT_FALSE(lines.Build(true));
  EXPECT_EQ(lines.Size(), 0u);
}

TEST(ExportLinesClientSqueeze, OneLinePerKeyInOrderOfFirstAppearanceWithTheFirstNumber) {
  DealsFixture f({{"1", "X", "B", "10", "1", "n1"},
                  {"1", "Y", "B", "10", "1", "n2"},
                  {"1", "X", "B", "20", "1", "n3"},
                  {"2", "X", "B", "10", "1", "n4"},
                  {"1", "Y", "S", "10", "1", "n5"},
                  {"1", "Y", "B", "40", "3", "n6"}},
                 1);
  ExportLines lines(f.Source());
  ASSERT_FALSE(lines.Build(true));
  ASSERT_FALSE(lines.SqueezeClients());
  EXPECT_EQ(
      LineTexts(lines),
      (Texts{"1\tX\tB\t15.000\t2.0\t01.02.2024\tn1\tBRK", "1\tY\tB\t32.500\t4.0\t01.02.2024\tn2\tBRK",
             "2\tX\tB\t10.000\t1.0\t01.02.2024\tn4\tBRK", "1\tY\tS\t10.000\t1.0\t01.02.2024\tn5\tBRK"}));
}

TEST(ExportLinesClientSqueeze, ManyKeysKeepTheirGroupsAndOrder) {
  // 2100 accounts, the first 450 three times, apart: more groups than half
  // the lines; every other account too long for a short key.
  auto account = [](int a) { return a % 2 ? std::string(30, 'L') + std::to_string(a) : std::to_string(a); };
  std::vector<Deal> deals;
  for (int round = 0; round < 3; ++round) {
    for (int a = 0; a < (round == 0 ? 2100 : 450); ++a) {
      deals.push_back({account(a), "T", "S", std::to_string(10 + round), "1", std::to_string(round)});
    }
  }
  DealsFixture f(deals, 1);
  ExportLines lines(f.Source());
  ASSERT_FALSE(lines.Build(true));
  ASSERT_FALSE(lines.SqueezeClients());
  ASSERT_EQ(lines.Size(), 2100u);
  for (int a = 0; a < 2100; ++a) {
    const ExportLine& line = lines.Lines()[static_cast<size_t>(a)];
    ASSERT_EQ(lines.Account(line), account(a));
    EXPECT_EQ(lines.Number(line), "0");
    EXPECT_EQ(line.quantity, a < 450 ? 3.0 : 1.0);
    EXPECT_EQ(line.price, a < 450 ? 11.0 : 10.0);
  }
}

TEST(ExportLinesClientSqueeze, KeysCompareFieldByFieldAndExactly) {
  // "12"+"3X" and "123"+"X" are different clients, also as long texts; "b"
  // is not "B".
  DealsFixture f({{"12", "3X", "B", "10", "1", "1"},
                  {"123", "X", "B", "20", "1", "2"},
                  {"12", "3X", "b", "30", "1", "3"},
                  {"1234567890123456", "ABCDEFGHIJK", "B", "10", "1", "4"},
                  {"123456789012345", "6ABCDEFGHIJK", "B", "10", "1", "5"},
                  {"12", "3X", "B", "10", "1", "6"}},
                 1);
  ExportLines lines(f.Source());
  ASSERT_FALSE(lines.Build(true));
  ASSERT_FALSE(lines.SqueezeClients());
  EXPECT_EQ(lines.Size(), 5u);
}

TEST(ExportLinesClientSqueeze, SumsTheFirstLineThenTheOthersFromTheLastTowardsTheSecond) {
  // In double precision 2^53 + 1 - 2^53 is 0 but 2^53 - 2^53 + 1 is 1: only
  // the order first, last, ..., second gives a quantity here.
  DealsFixture f({{"1", "X", "B", "1", "9007199254740992", "a"},
                  {"1", "X", "B", "1", "1", "b"},
                  {"1", "X", "B", "1", "-9007199254740992", "c"}},
                 1);
  ExportLines lines(f.Source());
  ASSERT_FALSE(lines.Build(false));
  ASSERT_FALSE(lines.SqueezeClients());
  EXPECT_EQ(LineTexts(lines), Texts{"1\tX\tB\t1.000\t1.0\t01.02.2024\ta\tBRK"});
}

TEST(ExportLinesClientSqueeze, AZeroTotalIsReportedAndNothingIsLeft) {
  DealsFixture f({{"1", "X", "B", "10", "5", "a"}, {"1", "X", "B", "10", "-5", "b"}});
  ExportLines lines(f.Source());
  ASSERT_FALSE(lines.Build(true));
  ExportBuildError error = lines.SqueezeClients();
  EXPECT_EQ(error.kind, ExportBuildError::Kind::ZeroQuantity);
  EXPECT_NE(error.message.find("X"), std::string::npos);
  EXPECT_EQ(lines.Size(), 0u);
}

TEST(ExportLineFields, OperTypeIsOneOnlyForAnUpperCaseB) {
  EXPECT_EQ(OperTypeOf("B"), 1);
  EXPECT_EQ(OperTypeOf("b"), 0);
  EXPECT_EQ(OperTypeOf("S"), 0);
  EXPECT_EQ(OperTypeOf("B "), 0);
  EXPECT_EQ(OperTypeOf(""), 0);
}

TEST(ExportLineFields, FixedNumbersRoundHalfAwayFromZero) {
  EXPECT_EQ(FormatFixed(100.65f, 3), "100.650");
  EXPECT_EQ(FormatFixed(0.0625, 3), "0.063");
  EXPECT_EQ(FormatFixed(-0.0625, 3), "-0.063");
  EXPECT_EQ(FormatFixed(0.25, 1), "0.3");
  EXPECT_EQ(FormatFixed(2.5, 0), "3");
  EXPECT_EQ(FormatFixed(-0.0004, 3), "0.000");
  EXPECT_EQ(FormatFixed(1234567.04, 1), "1234567.0");
  EXPECT_EQ(FormatFixed(12, 1), "12.0");
  EXPECT_EQ(FormatFixed(10000000000000.0625, 3), "10000000000000.063");
  EXPECT_EQ(FormatFixed(1e20, 1), "100000000000000000000.0");
  // The product with the power of ten rounds to a half in double; the exact
  // product lies on one side of it.
  const std::pair<double, const char*> nearHalves[] = {{1.0005, "1.000"},
                                                       {-1.0005, "-1.000"},
                                                       {0.0005, "0.001"},
                                                       {1.2345, "1.234"},
                                                       {1.0015, "1.002"},
                                                       {3.0005, "3.001"},
                                                       {1000000.0005, "1000000.000"}};
  for (const auto& [value, text] : nearHalves) {
    EXPECT_EQ(FormatFixed(value, 3), text) << value;
    EXPECT_EQ(RoundFixed(value, 3), std::stod(text)) << value;
  }
  EXPECT_EQ(FormatFixed(0.15, 1), "0.1");
  EXPECT_EQ(RoundFixed(100.6500015, 3), 100.65);
  EXPECT_EQ(RoundFixed(10000000000000.0625, 3), 10000000000000.063);
  EXPECT_EQ(RoundFixed(0.1f, 1), 0.1);
  EXPECT_FALSE(std::signbit(RoundFixed(-0.00001, 3)));
}

TEST(ExportLineFields, TradeDateByTheShortDateFormat) {
  int y = 0, m = 0, d = 0;
  ASSERT_TRUE(ParseTradeDate("01.02.2024", y, m, d));
  EXPECT_EQ(y, 2024);
  EXPECT_EQ(m, 2);
  EXPECT_EQ(d, 1);
  EXPECT_TRUE(ParseTradeDate("1.2.2024", y, m, d));
  EXPECT_TRUE(ParseTradeDate("29.02.2024", y, m, d));
  for (const char* bad : {"29.02.2023", "31.04.2024", "00.01.2024", "01.13.2024", "01.02.24", "01-02-2024",
                          "", "  .  .    ", "01.02.2024 ", "01..2024", "1.2.3.2024"}) {
    EXPECT_FALSE(ParseTradeDate(bad, y, m, d)) << bad;
  }
}

}  // namespace
}  // namespace drs
