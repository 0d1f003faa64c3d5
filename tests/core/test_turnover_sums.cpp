#include <gtest/gtest.h>

#include "DbfBytes.h"
#include "TempDir.h"
#include "export/TurnoverPairing.h"
#include "export/TurnoverSums.h"

namespace drs {
namespace {

using test::FieldSpec;
using test::RecordBytes;
using test::TempDir;
using test::WriteTable;
using Rows = std::vector<std::vector<std::string>>;

const std::vector<FieldSpec> kOutput = {
    {"CLIENTID", 'C', 16, 0}, {"TICKER", 'C', 50, 0}, {"OPERTYPE", 'N', 6, 0}, {"PRICE", 'N', 20, 5},
    {"QTY", 'N', 20, 5},      {"DATES", 'D', 8, 0},   {"SDEL", 'C', 11, 0},    {"BROCID", 'C', 16, 0}};

Rows Flat(const std::vector<TurnoverRow>& rows) {
  Rows out;
  for (const TurnoverRow& r : rows)
    out.push_back({r.account, r.ticker, AmountText(r.bought), AmountText(r.sold), AmountText(r.saldo)});
  return out;
}

std::string Record(const std::string& account, const std::string& ticker, const std::string& oper,
                   const std::string& qty, bool deleted = false,
                   const std::vector<FieldSpec>& fields = kOutput) {
  return RecordBytes(fields, {account, ticker, oper, "1", qty, "20261207", "1", "BRK"}, deleted);
}

TEST(TurnoverSums, TheScanGivesWhatTheGroupedStatementsGive) {
  TempDir dir;
  const std::string path = dir.File("DEALS.DBF");
  // The export's layout, and one of another program: types as text, whole
  // quantities (summed exactly until a fraction comes).
  std::vector<FieldSpec> other = kOutput;
  other[2] = {"OPERTYPE", 'C', 3, 0};
  other[4] = {"QTY", 'N', 12, 0};
  for (const auto& fields : {kOutput, other}) {
    auto r = [&](const char* account, const char* ticker, const char* oper, const char* qty,
                 bool deleted = false) { return Record(account, ticker, oper, qty, deleted, fields); };
    WriteTable(path, fields,
               {r("1002", "GAZP", "1", "100.1"), r("1001", "gazp", "0", "0.1"), r("1001", "GAZP", "1", "0.2"),
                r("1001", "GAZP", "1", "0.1"), r("1002", "LKOH", "0", "-10.5"), r("1001", "СБЕР", "2", "7"),
                r("1001", "СБЕР", "", "3"), r("1003", "SBER", "1", ""), r("", "GAZP", "0", "5"),
                r("1001", "GAZP", "1", "1000", true), r("1002", "Ёлка", "1", "12345678901.12345"),
                r("1002", "Ёлка", "1", "0.00001"), r("1003", "ABC", "1.5", "1e2"),
                r("1001", "GAZP", "1", "0.7"), r("1001", "gazp", "0", "-0.1"), r("1002", "LKOH", "0", "4")});
    for (bool byAccount : {false, true}) {
      SCOPED_TRACE(testing::Message() << fields[4].decimals << " " << byAccount);
      TurnoverPairing scanned, queried;
      ASSERT_TRUE(SumTurnoversByScan(path, byAccount, scanned));
      SumTurnoversByQuery(dir.Path(), "DEALS", path, byAccount, queried);
      const Rows rows = Flat(queried.Finish());
      EXPECT_GE(rows.size(), 6u);
      EXPECT_EQ(Flat(scanned.Finish()), rows);
    }
  }
}

TEST(TurnoverSums, TablesTheScanCannotGroupAsTheStatementsAreLeftToThem) {
  TempDir dir;
  const std::string path = dir.File("DEALS.DBF");
  std::vector<FieldSpec> noQty = kOutput, numericAccount = kOutput;
  noQty.erase(noQty.begin() + 4);
  numericAccount[0].type = 'N';
  numericAccount[0].decimals = 0;
  const struct {
    const char* what;
    std::vector<FieldSpec> fields;
    std::vector<std::string> records;
    bool byAccount;
  } cases[] = {
      {"one type in other bytes",
       kOutput,
       {Record("1", "GAZP", "1", "1"), RecordBytes(kOutput, {"1", "GAZP", "1     ", "1", "2"})},
       false},
      {"one account in other bytes",
       kOutput,
       {Record("1", "GAZP", "1", "1"),
        RecordBytes(kOutput, {"1" + std::string(15, '\0'), "GAZP", "1", "1", "2"})},
       true},
      {"no QTY", noQty, {RecordBytes(noQty, {"1", "GAZP", "1", "1"})}, false},
      {"a numeric account",
       numericAccount,
       {RecordBytes(numericAccount, {"1", "GAZP", "1", "1", "1"})},
       true},
      {"no file", kOutput, {}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.fields.size() == kOutput.size() && c.records.empty())
      std::remove(path.c_str());
    else
      WriteTable(path, c.fields, c.records);
    TurnoverPairing pairing;
    EXPECT_FALSE(SumTurnoversByScan(path, c.byAccount, pairing));
    EXPECT_TRUE(pairing.Finish().empty());
  }
}

}  // namespace
}  // namespace drs
