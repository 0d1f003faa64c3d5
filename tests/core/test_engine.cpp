#include <ctime>
#include <functional>

#include "OtherLock.h"
#include "engine_fixture.h"
#include "utils/Errors.h"

using namespace enginetest;
using drs::EDBEngineError;
using drs::TQuery;

namespace {

std::string TodayBytes() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return {static_cast<char>(tm.tm_year % 256), static_cast<char>(tm.tm_mon + 1),
          static_cast<char>(tm.tm_mday)};
}

}  // namespace

TEST_F(EngineTest, InsertDealAppendsDbaseRecord) {
  Insert({{"1001", "GAZP", 1, 100.65, 400, "77", "BRK01"}, {"Счёт-1", "ЛУКОЙЛ", 0, 0.5, 12.25, "8", ""}});
  std::string b = ReadAll(out);
  ASSERT_EQ(b.size(), 289u + 2 * 148);
  EXPECT_EQ(Count(b), 2u);
  EXPECT_EQ(b.substr(1, 3), TodayBytes());
  std::string r = b.substr(289, 148);
  EXPECT_EQ(r[0], ' ');
  EXPECT_EQ(r.substr(1, 16), "1001            ");
  EXPECT_EQ(r.substr(17, 50), "GAZP" + std::string(46, ' '));
  EXPECT_EQ(r.substr(67, 6), "     1");
  EXPECT_EQ(r.substr(73, 20), "           100.65000");
  EXPECT_EQ(r.substr(93, 20), "           400.00000");
  EXPECT_EQ(r.substr(113, 8), "20240315");
  EXPECT_EQ(r.substr(121, 11), "77         ");
  EXPECT_EQ(r.substr(132, 16), "BRK01           ");
  std::string r2 = b.substr(289 + 148, 148);
  // Text is stored in Windows-1251: one byte per letter.
  EXPECT_EQ(r2.substr(1, 7), "\xD1\xF7\xB8\xF2-1 ");
  EXPECT_EQ(r2.substr(17, 7), "\xCB\xD3\xCA\xCE\xC9\xCB ");
  EXPECT_EQ(r2.substr(67, 6), "     0");
  EXPECT_EQ(r2.substr(93, 20), "            12.25000");
  EXPECT_EQ(r2.substr(132, 16), std::string(16, ' '));
}

TEST_F(EngineTest, OutputViewReadsBackInColumnOrder) {
  Insert({{"1001", "GAZP", 1, 100.65, 400}, {"Счёт", "ЛУКОЙЛ", 0, 7, 3}});
  TQuery q;
  q.SetDatabaseName(dir.string());
  q.SetSQL(kOutputView);
  EXPECT_NE(q.Text().find("from 0=0"), std::string::npos);
  q.SetMacro("M", "DEALS");
  q.RegenerateSQL();
  q.Open();
  EXPECT_EQ(q.FieldNames(), (std::vector<std::string>{"CLIENTID", "TICKER", "OPERTYPE", "PRICE", "QTY",
                                                      "DATES", "SDEL", "BROCID"}));
  EXPECT_EQ(q.RecordCount(), 2);
  ASSERT_FALSE(q.Eof());
  EXPECT_EQ(q.AsString("clientid"), "1001");
  EXPECT_EQ(q.AsString("OPERTYPE"), "1");
  EXPECT_EQ(q.Value("OPERTYPE").kind, drs::DbValue::Kind::Int);
  EXPECT_DOUBLE_EQ(q.AsFloat("PRICE"), 100.65);
  EXPECT_EQ(q.AsString("DATES"), "2024-03-15");
  EXPECT_EQ(q.Field(5).kind, drs::FieldKind::Date);
  q.Next();
  EXPECT_EQ(q.AsString(0), "Счёт");
  EXPECT_EQ(q.AsString(1), "ЛУКОЙЛ");
  EXPECT_EQ(q.AsString(2), "0");
  q.Next();
  EXPECT_TRUE(q.Eof());
  q.First();
  EXPECT_EQ(q.AsString(0), "1001");
}

TEST_F(EngineTest, UnsetMacroAndBadStatementsRaiseEngineError) {
  TQuery q;
  q.SetDatabaseName(dir.string());
  q.SetSQL(kOutputView);
  EXPECT_THROW(q.Open(), EDBEngineError);
  q.SetSQL("select nosuch from \"DEALS\"");
  try {
    q.Open();
    FAIL();
  } catch (const EDBEngineError& e) {
    EXPECT_NE(std::string(e.what()).find("nosuch"), std::string::npos);
  }
  q.SetSQL("select * from \"DEALS\"; delete from \"DEALS\"");
  EXPECT_THROW(q.Open(), EDBEngineError);
  // A parameter never given a value.
  q.SetSQL(kInsertDeal);
  q.SetMacro("M", "DEALS");
  q.RegenerateSQL();
  EXPECT_THROW(q.ExecSQL(), EDBEngineError);
  EXPECT_EQ(Count(ReadAll(out)), 0u);
  EXPECT_THROW(q.SetDate("DATE", 2023, 2, 29), drs::EConvertError);
}

TEST_F(EngineTest, ColumnCheckAndClearWithBlankInName) {
  std::string spaced = (dir / "My Deals.DBF").string();
  CreateOutputTable(spaced);
  Insert({{"1", "A", 1, 1, 1}, {"2", "B", 0, 2, 2}, {"3", "C", 1, 3, 3}}, "My Deals");
  TQuery q;
  q.SetDatabaseName(dir.string());
  q.SetSQL(ColumnCheck("My Deals"));
  q.Open();
  ASSERT_EQ(q.FieldCount(), 8);
  EXPECT_EQ(q.FieldNames()[7], "BROCID");
  q.Close();
  q.SetSQL(Clear("My Deals"));
  q.ExecSQL();
  std::string b = ReadAll(spaced);
  EXPECT_EQ(b.size(), 289u);
  EXPECT_EQ(Count(b), 0u);
  q.SetSQL(ColumnCheck("my deals"));
  q.Open();
  EXPECT_TRUE(q.Eof());
  EXPECT_EQ(q.RecordCount(), 0);
  // The bare name through the macro is quoted when it needs to be.
  EXPECT_EQ(drs::MacroTableName("My Deals"), "\"My Deals\"");
  EXPECT_EQ(drs::MacroTableName("DEALS.2"), "\"DEALS.2\"");
  EXPECT_EQ(drs::MacroTableName("DEALS"), "DEALS");
  EXPECT_EQ(drs::MacroTableName("order"), "\"order\"");
}

TEST_F(EngineTest, SumsAccountsAndTurnoverTables) {
  Insert({{"1001", "GAZP", 1, 10, 100},
          {"1002", "GAZP", 0, 10, 30},
          {"1001", "LKOH", 0, 10, 10},
          {"1002", "SBER", 1, 10, 5},
          {"1001", "GAZP", 1, 10, 50}});
  TQuery q;
  q.SetDatabaseName(dir.string());
  q.SetSQL(SumsBySecurity("DEALS"));
  q.Open();
  std::vector<std::string> got;
  for (; !q.Eof(); q.Next()) got.push_back(q.AsString(0) + "/" + q.AsString(1) + "/" + q.AsString(2));
  EXPECT_EQ(got, (std::vector<std::string>{"GAZP/0/30", "GAZP/1/150", "LKOH/0/10", "SBER/1/5"}));

  q.SetSQL(Accounts("DEALS"));
  q.Open();
  std::vector<std::string> accounts;
  for (; !q.Eof(); q.Next()) accounts.push_back(q.AsString(0));
  std::sort(accounts.begin(), accounts.end());
  EXPECT_EQ(accounts, (std::vector<std::string>{"1001", "1002"}));

  TQuery one;
  one.SetDatabaseName(dir.string());
  one.SetSQL(SumsForAccount("DEALS"));
  one.SetString("CLIENTID", "1002");  // parameter names ignore case
  one.Open();
  got.clear();
  for (; !one.Eof(); one.Next())
    got.push_back(one.AsString(0) + "/" + one.AsString(1) + "/" + one.AsString(2));
  EXPECT_EQ(got, (std::vector<std::string>{"GAZP/0/30", "SBER/1/5"}));
  one.SetString("clientid", "1001");
  one.Open();
  EXPECT_EQ(one.RecordCount(), 2);  // GAZP bought twice sums into one row
  one.SetString("clientid", "9999");
  one.Open();
  EXPECT_TRUE(one.Eof());
  // By index, found under any case; a view's own length counts, not a NUL.
  one.SetString(one.ParamIndex("ClientId"), std::string_view("10019").substr(0, 4));
  one.Open();
  EXPECT_EQ(one.RecordCount(), 2);

  // Turnover tables live in the working folder; the file name's case differs.
  fs::current_path(dir);
  CreateShob((dir / "ShOb.DBF").string());
  CreateClob((dir / "CLOb.DBF").string());
  TQuery ins;
  ins.SetSQL(kInsertShob);
  for (auto [t, b, s] : {std::tuple{"SBER", 5.0, 0.0}, {"GAZP", 150.0, 30.0}}) {
    ins.SetString("ticker", t);
    ins.SetFloat("buy", b);
    ins.SetFloat("sal", s);
    ins.SetFloat("saldo", b - s);
    ins.ExecSQL();
  }
  TQuery insc;
  insc.SetSQL(kInsertClob);
  insc.SetString("clientid", "1002");
  insc.SetString("ticker", "GAZP");
  insc.SetFloat("buy", 0);
  insc.SetFloat("sal", 40);
  insc.SetFloat("saldo", -40);
  insc.ExecSQL();
  insc.SetString("clientid", "1001");
  insc.SetFloat("buy", 100);
  insc.SetFloat("sal", 0);
  insc.SetFloat("saldo", 100);
  insc.ExecSQL();

  TQuery view;
  view.SetSQL(kViewShob);
  view.Open();
  EXPECT_EQ(view.RecordCount(), 2);
  EXPECT_EQ(view.Row(0)[0].AsString(), "GAZP");
  EXPECT_EQ(view.Row(0)[3].AsString(), "120");
  EXPECT_EQ(view.Row(1)[0].AsString(), "SBER");
  view.SetSQL(kViewClob);
  view.Open();
  ASSERT_EQ(view.RecordCount(), 2);
  EXPECT_EQ(view.Row(0)[0].AsString(), "1001");
  EXPECT_EQ(view.Row(1)[4].AsString(), "-40");
  std::string raw = ReadAll(dir / "CLOb.DBF");
  EXPECT_EQ(raw.size(), 193u + 2 * 161);
  EXPECT_EQ(raw.substr(193 + 1 + 50 + 50 + 40, 20), "           -40.00000");
}

TEST_F(EngineTest, ValuesThatDoNotFitAreRefusedNamingTheColumn) {
  std::string before = ReadAll(out);
  auto expectRefused = [&](const Deal& d, const std::string& column) {
    try {
      Insert({d});
      ADD_FAILURE() << "accepted " << column;
    } catch (const EDBEngineError& e) {
      EXPECT_NE(std::string(e.what()).find(column), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadAll(out), before);
  };
  expectRefused({"12345678901234567", "GAZP", 1, 1, 1}, "CLIENTID");
  expectRefused({"1", "GAZP", 1234567, 1, 1}, "OPERTYPE");
  expectRefused({"1", "GAZP", 1, 1e15, 1}, "PRICE");
  expectRefused({"1", "GAZP", 1, 1, 1, "123456789012"}, "SDEL");
  expectRefused({"1", "GAZP", 1, 1, 1, "1", "日本"}, "BROCID");
  // Sixteen Cyrillic letters are sixteen bytes in 1251 and fit.
  Insert({{"ЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖ", "GAZP", 1, 1, 1}, {"1", "GAZP", -99999, -0.000001, 1}});
  std::string b = ReadAll(out);
  EXPECT_EQ(Count(b), 2u);
  EXPECT_EQ(b.substr(289 + 148 + 67, 6), "-99999");
  EXPECT_EQ(b.substr(289 + 148 + 73, 20), "             0.00000");
}

TEST_F(EngineTest, PreparedOnceAndReexecuted) {
  TQuery q;
  PrepareInsert(q, "deals");
  for (int i = 0; i < 1000; ++i) {
    Bind(q, {std::to_string(i), "T" + std::to_string(i % 7), double(i % 2), i * 0.5, double(i)});
    q.ExecSQL();
  }
  std::string b = ReadAll(out);
  EXPECT_EQ(Count(b), 1000u);
  EXPECT_EQ(b.size(), 289u + 1000 * 148);
  EXPECT_EQ(b.substr(289 + 999 * 148 + 1, 4), "999 ");
}

TEST_F(EngineTest, EmptyFolderFollowsTheWorkingFolder) {
  fs::create_directories(dir / "a");
  fs::create_directories(dir / "b");
  CreateShob((dir / "a" / "SHOB.DBF").string());
  CreateShob((dir / "b" / "shob.dbf").string());
  TQuery q;
  q.SetSQL(kInsertShob);
  q.SetString("ticker", "X");
  q.SetFloat("buy", 1);
  q.SetFloat("sal", 0);
  q.SetFloat("saldo", 1);
  fs::current_path(dir / "a");
  q.ExecSQL();
  fs::current_path(dir / "b");
  q.ExecSQL();
  q.ExecSQL();
  EXPECT_EQ(Count(ReadAll(dir / "a" / "SHOB.DBF")), 1u);
  EXPECT_EQ(Count(ReadAll(dir / "b" / "shob.dbf")), 2u);
}

TEST_F(EngineTest, RecreatedFileBetweenStatementsIsSeen) {
  fs::current_path(dir);
  CreateShob((dir / "ShOb.DBF").string());
  TQuery q;
  q.SetSQL(kInsertShob);
  q.SetString("ticker", "X");
  q.SetFloat("buy", 1);
  q.SetFloat("sal", 0);
  q.SetFloat("saldo", 1);
  q.ExecSQL();
  q.ExecSQL();
  // The turnover computation deletes the table and writes it afresh.
  fs::remove(dir / "ShOb.DBF");
  CreateShob((dir / "ShOb.DBF").string());
  q.ExecSQL();
  std::string b = ReadAll(dir / "ShOb.DBF");
  EXPECT_EQ(Count(b), 1u);
  EXPECT_EQ(b.size(), 161u + 111);
}

TEST_F(EngineTest, RowCountsOfOrderedStatementsWithAndWithoutLimit) {
  Insert({{"1002", "SBER", 1, 10, 5},
          {"1001", "GAZP", 1, 10, 100},
          {"1001", "LKOH", 0, 10, 10},
          {"1003", "GAZP", 0, 10, 30}});
  TQuery q;
  q.SetDatabaseName(dir.string());
  auto count = [&](const std::string& sql) {
    q.SetSQL(sql);
    q.Open();
    return q.RecordCount();
  };
  EXPECT_EQ(count("select clientid,ticker from DEALS order by clientid,ticker"), 4);
  EXPECT_EQ(count("select clientid from DEALS order by clientid limit 2"), 2);
  EXPECT_EQ(count("select clientid from DEALS order by clientid limit 3 offset 2"), 2);
  EXPECT_EQ(count("select clientid from DEALS order by clientid\nLIMIT 1;"), 1);
  // The words inside quotes, comments or a subquery are not the final order.
  EXPECT_EQ(count("select * from (select clientid from DEALS order by clientid limit 3) order by clientid"),
            3);
  EXPECT_EQ(count("select 'order by' t from DEALS where ticker <> 'x limit 1' order by ticker"), 4);
  EXPECT_EQ(count("select clientid from DEALS -- order by x limit 1\n order by clientid"), 4);
  q.SetSQL("select clientid from DEALS where ticker = :t order by clientid");
  q.SetString("t", "GAZP");
  q.Open();
  EXPECT_EQ(q.RecordCount(), 2);
  // Counting leaves the cursor on the first row in order.
  q.SetSQL("select clientid,ticker from DEALS order by clientid,ticker");
  q.Open();
  EXPECT_EQ(q.RecordCount(), 4);
  EXPECT_EQ(q.AsString(0) + q.AsString(1), "1001GAZP");
}

// A statement that fails half-way (on its second row) throws, leaves the
// table as it was and unlocked, and leaves no file open once its query is gone.
TEST_F(EngineTest, AStatementFailingHalfWayLeavesNothingBehind) {
  Insert({{"1001", "GAZP", 1, 10, 5}, {"1002", "SBER", 0, 20, 6}, {"1003", "LKOH", 1, 30, 7}});
  const std::string before = ReadAll(out);
  auto openFiles = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), {}); };
  // abs() of the least integer is an error SQLite finds only when it gets there.
  const std::string second = "abs(case when rowid = 2 then -9223372036854775807 - 1 else 1 end)";
  struct Case {
    const char* what;
    std::string sql;
    bool live;
    std::function<void(TQuery&)> run;
  } cases[] = {
      {"cursor", "select clientid, " + second + " from DEALS", false,
       [](TQuery& q) {
         q.Open();
         q.Next();
       }},
      {"all rows", "select clientid, " + second + " from DEALS", false,
       [](TQuery& q) {
         q.Open();
         q.Row(2);
       }},
      {"count", "select clientid from DEALS where " + second + " > 0 order by clientid", false,
       [](TQuery& q) {
         q.Open();
         q.RecordCount();
       }},
      {"update", "update DEALS set QTY = " + second, false, [](TQuery& q) { q.ExecSQL(); }},
      {"insert", "insert into DEALS (CLIENTID, QTY) select CLIENTID, " + second + " from DEALS", false,
       [](TQuery& q) { q.ExecSQL(); }},
      {"live edit", "select CLIENTID,QTY from DEALS", true,
       [](TQuery& q) {
         q.Open();
         q.SetCell(1, 1, "1e400");
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto files = openFiles();
    {
      TQuery q;
      q.SetDatabaseName(dir.string());
      q.SetRequestLive(c.live);
      q.SetSQL(c.sql);
      EXPECT_THROW(c.run(q), EDBEngineError);
      EXPECT_EQ(ReadAll(out), before);
      EXPECT_TRUE(drs::test::OtherProgramsLock(out).Held()) << "the table is still locked";
    }
    EXPECT_EQ(openFiles(), files);
  }
}
// Tying a table to another file drops what the connection made for the old one.
TEST_F(EngineTest, ATableTiedToAnotherFileReadsTheNewFile) {
  Insert({{"1001", "GAZP", 1, 10, 5}});
  const std::string other = (dir / "other.txt").string();
  CreateOutputTable(other);
  TQuery q;
  q.SetDatabaseName(dir.string());
  q.SetSQL("select count(*) from T");
  for (const auto& [file, rows] : {std::pair{out, 1.0}, {other, 0.0}, {out, 1.0}}) {
    q.SetTableFile("T", file);
    q.Open();
    EXPECT_EQ(q.AsFloat(0), rows) << file;
  }
}
