#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "ExportFixture.h"
#include "TempDir.h"
#include "engine/Query.h"
#include "export/Export.h"
#include "export/TurnoverPairing.h"
#include "export/TurnoverTable.h"
#include "export/Turnovers.h"

namespace drs {
namespace {

using Row = std::vector<std::string>;  // account, ticker, bought, sold, saldo

std::vector<Row> Flat(const std::vector<TurnoverRow>& rows) {
  std::vector<Row> out;
  for (const TurnoverRow& r : rows)
    out.push_back({r.account, r.ticker, AmountText(r.bought), AmountText(r.sold), AmountText(r.saldo)});
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
  EXPECT_EQ(Flat(p.Finish()),
            (std::vector<Row>{{"1001", "GAZP", "100", "0", "100"}, {"1002", "GAZP", "0", "40", "-40"}}));
}

TEST(TurnoverPairing, OtherOperationTypesAreOnePurchaseAndNothingShifts) {
  // Types 1 and 2 of GAZP are both purchases of GAZP; LKOH keeps its own sums.
  TurnoverPairing p;
  p.Add("GAZP", "0", 30);
  p.Add("GAZP", "1", 100);
  p.Add("GAZP", "2", 7);
  p.Add("LKOH", "0", 10);
  p.Add("LKOH", "1", 4);
  EXPECT_EQ(Flat(p.Finish()),
            (std::vector<Row>{{"", "GAZP", "107", "30", "77"}, {"", "LKOH", "4", "10", "-6"}}));
}

TEST(TurnoverPairing, TickersDifferingInCaseAreOneSecurity) {
  // Binary order puts "gazp" after "LKOH"; its purchase stays with GAZP.
  TurnoverPairing p;
  p.Add("GAZP", "0", 30);
  p.Add("LKOH", "0", 10);
  p.Add("gazp", "1", 5);
  EXPECT_EQ(Flat(p.Finish()),
            (std::vector<Row>{{"", "GAZP", "5", "30", "-25"}, {"", "LKOH", "0", "10", "-10"}}));
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
  EXPECT_EQ(AmountText(p.Finish()[0].saldo), "0");
}

TEST(TurnoverAmounts, RoundingWithoutTextMatchesTheText) {
  // Sums of decimals, values beyond 15 digits, tiny and huge, both signs.
  std::vector<double> values = {
      0.1 + 0.2,           1234567.891, 123456789012.34567, 1e20,  1e-7, 2.5e-300, 999999999999999.5,
      0.30000000000000004, 1.0 / 3,     12345.123456789,    -7.25, -0.0, 5e15,     9.999999999999999e14};
  double sum = 0;
  for (int i = 1; i <= 3000; ++i) {
    sum += (i % 97) * 0.01 + (i % 7) * 1000.125;
    values.push_back(sum);
    values.push_back(-sum / 3);
  }
  for (double v : values) {
    const double viaText = AmountValue(AmountText(v));
    EXPECT_EQ(RoundedAmount(v), viaText) << AmountText(v);
    EXPECT_FALSE(std::signbit(RoundedAmount(v)) && v == 0);
  }
}

// The rows written in one go give the bytes their insert statements give; a
// row the table refuses leaves the table as it was.
TEST(TurnoverTable, WrittenRowsMatchTheirInsertStatements) {
  auto row = [](std::string account, std::string ticker, std::string bought, std::string sold) {
    TurnoverRow r{std::move(account), std::move(ticker), AmountValue(bought), AmountValue(sold), 0};
    r.saldo = AmountValue(AmountText(r.bought - r.sold));
    return r;
  };
  const std::vector<std::vector<TurnoverRow>> cases = {
      {},
      {row("1001", "GAZP", "100", "0"), row("1001", "Газпром ао", "0.000004", "-0.000004"),
       row(std::string(50, '9'), "SBER", "12345678901234", "0.1234567")},
      {row("1", "A", "nan", "1"), row("1", "B", "1e+15", "0"), row("1", "C", "1", "1")},
      {row("1", "A", "5", "0"), row("1", std::string(51, 'T'), "1", "0")},
      {row("1", std::string(51, 'T'), "1", "0")},
  };
  for (bool byAccount : {false, true}) {
    for (size_t c = 0; c < cases.size(); ++c) {
      test::TempDir dir;
      const std::string appended = dir.File("A.DBF"), inserted = dir.File("B.DBF");
      ASSERT_TRUE(CreateTurnoverTable(appended, byAccount));
      ASSERT_TRUE(CreateTurnoverTable(inserted, byAccount));
      std::string appendError, insertError;
      const std::string empty = test::ReadBytes(appended);
      try {
        WriteTurnoverTable(appended, byAccount, cases[c]);
      } catch (const EDBEngineError& e) {
        appendError = e.what();
      }
      TQuery insert;
      insert.SetDatabaseName(dir.Path());
      insert.SetSQL(byAccount ? "insert into b (clientid,ticker,buy,sal,saldo) values (:a,:t,:b,:s,:d)"
                              : "insert into b (ticker,buy,sal,saldo) values (:t,:b,:s,:d)");
      try {
        for (const TurnoverRow& r : cases[c]) {
          if (byAccount) insert.SetString("a", r.account);
          insert.SetString("t", r.ticker);
          insert.SetFloat("b", r.bought);
          insert.SetFloat("s", r.sold);
          insert.SetFloat("d", r.saldo);
          insert.ExecSQL();
        }
      } catch (const EDBEngineError& e) {
        insertError = e.what();
      }
      EXPECT_EQ(appendError.empty(), c < 2) << c;
      EXPECT_EQ(appendError, insertError) << c;
      EXPECT_EQ(test::ReadBytes(appended), c < 2 ? test::ReadBytes(inserted) : empty)
          << "case " << c << " by account " << byAccount;
    }
  }
}

// The output table in one temporary folder, the working folder in another.
class TurnoversTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_CONFIG_HOME", out.Path().c_str(), 1);
    previous = std::filesystem::current_path();
    std::filesystem::current_path(work.Path());
    outFile = out.File("DEALS.DBF");
    CreateOutputTable(outFile);
  }
  void TearDown() override { std::filesystem::current_path(previous); }

  void AddDeal(const std::string& account, const std::string& ticker, int operType, double qty) {
    TQuery q;
    q.SetDatabaseName(out.Path());
    q.SetSQL(
        "insert into DEALS (CLIENTID,TICKER,OPERTYPE,PRICE,QTY,SDEL,BROCID) values "
        "(:c,:t,:o,1,:q,'1','B')");
    q.SetString("c", account);
    q.SetString("t", ticker);
    q.SetFloat("o", operType);
    q.SetFloat("q", qty);
    q.ExecSQL();
  }

  std::vector<Row> ViewRows() {
    std::vector<Row> rows;
    for (; !view.Eof(); view.Next()) {
      Row row;
      for (int i = 0; i < view.FieldCount(); ++i) row.push_back(view.AsString(i));
      rows.push_back(row);
    }
    return rows;
  }

  TurnoverResult Run(int mode) {
    ScopedMessageHandler scope(&messages);
    return ComputeTurnovers(outFile, mode, view);
  }

  test::TempDir out, work;
  std::filesystem::path previous;
  std::string outFile;
  test::RecordingMessages messages;
  TQuery view;
};

TEST_F(TurnoversTest, BySecurityRebuildsShObInTheWorkingFolder) {
  AddDeal("1001", "GAZP", 1, 100);
  AddDeal("1001", "GAZP", 0, 30);
  AddDeal("1002", "LKOH", 0, 10);
  AddDeal("1003", "SBER", 1, 5);
  TurnoverResult r = Run(kTurnoverBySecurity);
  ASSERT_TRUE(r.shown) << (messages.shown.empty() ? "" : messages.shown[0].text);
  EXPECT_EQ(r.recordCountText, "3");
  EXPECT_EQ(
      ViewRows(),
      (std::vector<Row>{{"GAZP", "100", "30", "70"}, {"LKOH", "0", "10", "-10"}, {"SBER", "5", "0", "5"}}));
  EXPECT_TRUE(std::filesystem::exists(work.File("ShOb.DBF")));
  EXPECT_EQ(r.columns.size(), 4u);
}

TEST_F(TurnoversTest, ByAccountGivesOneRowPerAccountAndSecurity) {
  AddDeal("1001", "GAZP", 1, 100);
  AddDeal("1002", "GAZP", 0, 40);
  ASSERT_TRUE(Run(kTurnoverBySecurity).shown);
  TurnoverResult r = Run(kTurnoverByAccount);
  ASSERT_TRUE(r.shown);
  EXPECT_EQ(r.recordCountText, "2");
  EXPECT_EQ(ViewRows(),
            (std::vector<Row>{{"1001", "GAZP", "100", "0", "100"}, {"1002", "GAZP", "0", "40", "-40"}}));
  // The other mode's table stays.
  EXPECT_TRUE(std::filesystem::exists(work.File("ShOb.DBF")));
  EXPECT_TRUE(std::filesystem::exists(work.File("CLOb.DBF")));
  ASSERT_EQ(r.columns.size(), 5u);
  EXPECT_STREQ(r.columns[0].title, "Номер ");
}

// The view is ordered from the rows at hand and reads the table as asked;
// its statement, run by Refresh, reads the same, in any order of access.
TEST_F(TurnoversTest, TheViewShowsWhatItsStatementReads) {
  AddDeal("2002", "SBER", 1, 5);
  AddDeal("1001", "ЛУКОЙЛ", 0, 2.5);
  AddDeal("2002", "AFLT", 0, 1);
  AddDeal("1001", "GAZP", 1, 100);
  AddDeal("", "GAZP", 1, 3);
  AddDeal("10010", "GAZP", 0, 40);
  for (int mode : {kTurnoverBySecurity, kTurnoverByAccount}) {
    ASSERT_TRUE(Run(mode).shown);
    std::vector<Row> byIndex;
    for (int64_t i = view.RecordCount() - 1; i >= 0; --i) {
      Row row;
      for (const DbValue& v : view.Row(i)) row.push_back(v.AsString());
      byIndex.insert(byIndex.begin(), row);
    }
    const std::vector<Row> shown = ViewRows();
    EXPECT_EQ(shown, byIndex);
    view.Refresh();
    EXPECT_EQ(ViewRows(), shown) << mode;
    EXPECT_EQ(shown.size(), mode == kTurnoverByAccount ? 6u : 4u);
  }
}

TEST_F(TurnoversTest, HandEditedTypesAndLetterCaseDoNotShiftTheRows) {
  AddDeal("1", "GAZP", 1, 100);
  AddDeal("1", "GAZP", 2, 7);
  AddDeal("1", "GAZP", 0, 30);
  AddDeal("1", "LKOH", 0, 10);
  AddDeal("1", "gazp", 1, 3);
  ASSERT_TRUE(Run(kTurnoverBySecurity).shown);
  EXPECT_EQ(ViewRows(), (std::vector<Row>{{"GAZP", "110", "30", "80"}, {"LKOH", "0", "10", "-10"}}));
}

TEST_F(TurnoversTest, AnEmptyTableGivesAnEmptyTurnoverTable) {
  TurnoverResult r = Run(kTurnoverByAccount);
  ASSERT_TRUE(r.shown);
  EXPECT_EQ(r.recordCountText, "0");
  EXPECT_TRUE(ViewRows().empty());
}

TEST_F(TurnoversTest, AMissingOutputTableLeavesTheTurnoverTablesAlone) {
  AddDeal("1", "GAZP", 1, 100);
  ASSERT_TRUE(Run(kTurnoverBySecurity).shown);
  const std::string before = test::ReadBytes(work.File("ShOb.DBF"));
  outFile = out.File("NONE.DBF");
  messages.shown.clear();
  EXPECT_FALSE(Run(kTurnoverBySecurity).shown);
  EXPECT_FALSE(Run(kTurnoverByAccount).shown);
  ASSERT_EQ(messages.shown.size(), 2u);
  EXPECT_EQ(messages.shown[0].text, "Не могу открыть запрос");
  EXPECT_FALSE(messages.shown[0].details.empty());
  EXPECT_EQ(test::ReadBytes(work.File("ShOb.DBF")), before);
  EXPECT_FALSE(std::filesystem::exists(work.File("CLOb.DBF")));
  // No mode chosen: nothing at all.
  messages.shown.clear();
  EXPECT_FALSE(Run(-1).shown);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(TurnoversTest, FollowsTheWorkingFolderAndReplacesOtherSpellings) {
  AddDeal("1", "GAZP", 1, 100);
  test::TempDir other;
  std::filesystem::current_path(other.Path());
  test::WriteBytes(other.File("shob.dbf"), "stale");
  ASSERT_TRUE(Run(kTurnoverBySecurity).shown);
  EXPECT_TRUE(std::filesystem::exists(other.File("ShOb.DBF")));
  EXPECT_FALSE(std::filesystem::exists(other.File("shob.dbf")));
  EXPECT_FALSE(std::filesystem::exists(work.File("ShOb.DBF")));
  EXPECT_EQ(ViewRows(), (std::vector<Row>{{"GAZP", "100", "0", "100"}}));
  std::filesystem::current_path(work.Path());
}

}  // namespace
}  // namespace drs
