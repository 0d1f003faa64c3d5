// Ordered results served by the table, number texts, transactions written at
// commit, and files changed by another writer between statements.
#include <sys/stat.h>

#include <charconv>
#include <fstream>
#include <random>
#include <thread>

#include "engine/DbfFile.h"
#include "engine/SqlName.h"
#include "engine_fixture.h"
#include "utils/FileIO.h"

using namespace enginetest;
using drs::EDBEngineError;
using drs::TQuery;

namespace {

std::vector<std::string> Rows(TQuery& q) {
  std::vector<std::string> out;
  for (; !q.Eof(); q.Next()) {
    std::string line;
    for (int i = 0; i < q.FieldCount(); ++i)
      line += (i ? "|" : "") + (q.Value(i).IsNull() ? "<null>" : q.AsString(i));
    out.push_back(line);
  }
  return out;
}

std::vector<std::string> Select(const fs::path& dir, const std::string& sql, const std::string& client = "") {
  TQuery q;
  q.SetDatabaseName(dir.string());
  q.SetSQL(sql);
  if (!client.empty()) q.SetString("clientid", client);
  q.Open();
  return Rows(q);
}

void Exec(TQuery& q, const std::string& sql) {
  q.SetSQL(sql);
  q.ExecSQL();
}

// The text to_chars gives for the value with `decimals` places (a negative
// value that rounds to zero loses its sign).
std::string Fixed(double v, int decimals) {
  char b[400];
  auto r = std::to_chars(b, b + sizeof b, v, std::chars_format::fixed, decimals);
  std::string t(b, r.ptr);
  if (t[0] == '-' && t.find_first_not_of("-0.") == std::string::npos) t.erase(0, 1);
  return t;
}
// ... as it stands right-aligned in a field of `width`.
std::string Expected(double v, int decimals, size_t width) {
  std::string t = Fixed(v, decimals);
  return t.size() > width ? t : std::string(width - t.size(), ' ') + t;
}

}  // namespace

// The sums statements get their rows from the table already in order; the
// result must be the one SQLite's own sort gives (forced here by ordering on
// expressions, which the table cannot serve).
TEST_F(EngineTest, OrderServedByTheTableMatchesSqliteOwnSort) {
  std::vector<Deal> deals;
  // 1251 puts "є" (0xBA) before "а" (0xE0); by code point "а" comes first.
  const std::vector<std::string> tickers = {"SBER", "GAZP", "єє",    "аа",   "Ёж",
                                            "",     "gazp", "GAZP ", "LKOH", "ЯЯ"};
  for (int i = 0; i < 400; ++i) {
    Deal d{std::to_string(1000 + i % 7), tickers[size_t(i * 13) % tickers.size()],
           double(i % 3 == 0 ? -1 : i % 2), 1, double(i % 11) + 0.25};
    deals.push_back(d);
  }
  Insert(deals);
  // A blank operation type reads as NULL and sorts first.
  {
    TQuery q;
    PrepareInsert(q);
    Bind(q, {"1003", "LKOH", 0, 1, 5});
    q.SetNull("OPERTYPE");
    q.ExecSQL();
    Exec(q, "delete from \"DEALS\" where SDEL='1' and rowid % 5 = 0");
  }
  const std::string forced =
      "select  ticker,OPERTYPE,SUM(QTY) summa from \"DEALS\" group by ticker||'',opertype+0 order by "
      "ticker||'',"
      "OPERTYPE+0";
  std::vector<std::string> served = Select(dir, SumsBySecurity("DEALS")), sorted = Select(dir, forced);
  ASSERT_GT(served.size(), 12u);
  EXPECT_EQ(served, sorted);
  EXPECT_EQ(served.front().rfind("|-1|", 0), 0u) << served.front();  // blank ticker first
  // Cyrillic text is ordered by its UTF-8 bytes, not by its 1251 bytes.
  auto at = [&](const std::string& t) {
    for (size_t i = 0; i < served.size(); ++i)
      if (served[i].rfind(t + "|", 0) == 0) return i;
    return served.size();
  };
  EXPECT_LT(at("аа"), at("єє"));
  EXPECT_LT(at("LKOH"), at("SBER"));
  EXPECT_EQ(served[at("LKOH")].substr(0, 12), "LKOH|<null>|");

  for (const char* client : {"1000", "1003", "1006", "9999"}) {
    std::string forcedOne =
        "select  ticker,OPERTYPE,SUM(QTY) summa from \"DEALS\" where clientid=:clientid group by ticker||'',"
        "opertype+0 order by ticker||'',OPERTYPE+0";
    EXPECT_EQ(Select(dir, SumsForAccount("DEALS"), client), Select(dir, forcedOne, client)) << client;
  }
  // Orders the table does not serve still come out right.
  std::vector<std::string> down =
      Select(dir, "select ticker from \"DEALS\" group by ticker order by ticker desc");
  std::vector<std::string> up = Select(dir, "select ticker from \"DEALS\" group by ticker order by ticker");
  std::reverse(down.begin(), down.end());
  EXPECT_EQ(down, up);
  // DISTINCT keeps the order in which the accounts were met.
  EXPECT_EQ(Select(dir, Accounts("DEALS")),
            (std::vector<std::string>{"1000", "1001", "1002", "1003", "1005", "1006", "1004"}));
}

// An update writes shorter values over longer ones: the record is the one an
// insert of the new values makes, with no byte of the old values left.
TEST_F(EngineTest, AnUpdatedRecordIsTheRecordOfItsNewValues) {
  Insert({{"12345678", "LONGTICKER", 1, 12345.678, 987654, "99999", "BRK01"}, {"7", "X", 0, -1, 2, "", ""}});
  drs::TQuery q;
  q.SetDatabaseName(dir.string());
  q.SetSQL(
      "update DEALS set CLIENTID='7', TICKER='X', OPERTYPE=0, PRICE=-1, QTY=2, SDEL=null, BROCID=''"
      " where rowid = 1");
  q.ExecSQL();
  const std::string b = ReadAll(out);
  ASSERT_EQ(Count(b), 2u);
  EXPECT_EQ(b.substr(289, 148), b.substr(289 + 148, 148));
}

TEST_F(EngineTest, NumbersAreWrittenAsExactFixedPointText) {
  std::mt19937_64 rng(7);
  std::vector<double> values = {0.000005,
                                0.0000049999,
                                0.0000150000,
                                2.5e-6,
                                -2.5e-6,
                                -0.000001,
                                0.125,
                                100.65,
                                1e14,
                                99999999999999.99999,
                                123456789012.34567,
                                -0.0,
                                1.5,
                                -1234.56789,
                                0.1 + 0.2,
                                1e-300,
                                0.015625,
                                0.046875,
                                -0.015625,
                                1e15};
  for (int i = 0; i < 3000; ++i) {
    int scale = int(rng() % 15);
    double v = double(int64_t(rng() % 2000000000) - 1000000000) / std::pow(10.0, scale);
    values.push_back(v);
    // Exact halves at the fifth place, where the rounding rule shows.
    values.push_back(double(int64_t(rng() % 200000)) / 100000.0 + 0.000005);
  }
  TQuery q;
  q.SetDatabaseName(dir.string());
  q.SetSQL("begin");
  q.ExecSQL();
  q.SetSQL(kInsertDeal);
  q.SetMacro("M", "DEALS");
  q.RegenerateSQL();
  std::vector<double> written;
  for (double v : values) {
    Bind(q, {"1", "X", 1, v, double(int64_t(v))});
    try {
      q.ExecSQL();
      written.push_back(v);
    } catch (const EDBEngineError&) {
      // Too wide for the field: refused, never cut.
      EXPECT_GT(Fixed(v, 5).size(), 20u) << v;
    }
  }
  Exec(q, "commit");
  std::string b = ReadAll(out);
  ASSERT_EQ(Count(b), written.size());
  for (size_t i = 0; i < written.size(); ++i) {
    const size_t rec = 289 + i * 148;
    ASSERT_EQ(b.substr(rec + 73, 20), Expected(written[i], 5, 20)) << written[i];
    ASSERT_EQ(b.substr(rec + 93, 20), Expected(double(int64_t(written[i])), 5, 20)) << written[i];
  }
}

TEST_F(EngineTest, TransactionIsWrittenAtCommitRecordsFirst) {
  Insert({{"1", "A", 1, 1, 1}, {"2", "B", 1, 1, 2}, {"3", "C", 1, 1, 3}});
  const size_t rows = 9000;  // more than the engine keeps in memory at once
  TQuery q;
  q.SetDatabaseName(dir.string());
  Exec(q, "begin");
  q.SetSQL(kInsertDeal);
  q.SetMacro("M", "DEALS");
  q.RegenerateSQL();
  for (size_t i = 0; i < rows; ++i) {
    Bind(q, {std::to_string(i), "GAZP", 1, 1.5, double(i)});
    q.ExecSQL();
    if (i == 10) {
      // A value that does not fit fails alone; the transaction goes on.
      Bind(q, {std::string(17, '9'), "GAZP", 1, 1.5, 1});
      EXPECT_THROW(q.ExecSQL(), EDBEngineError);
    }
  }
  // Nothing is counted before the commit; other readers see the old table.
  std::string before = ReadAll(out);
  EXPECT_EQ(Count(before), 3u);
  EXPECT_EQ(Select(dir, "select count(*) from \"DEALS\""), (std::vector<std::string>{"3"}));
  Exec(q, "commit");
  std::string b = ReadAll(out);
  ASSERT_EQ(Count(b), 3 + rows);
  EXPECT_EQ(b.size(), 289 + (3 + rows) * 148);
  EXPECT_EQ(b.substr(289 + 3 * 148 + 1, 2), "0 ");
  EXPECT_EQ(b.substr(289 + (3 + rows - 1) * 148 + 1, 5), std::to_string(rows - 1) + " ");
  EXPECT_EQ(
      Select(dir, "select count(*), sum(QTY) from \"DEALS\""),
      (std::vector<std::string>{std::to_string(3 + rows) + "|" + std::to_string(6 + rows * (rows - 1) / 2)}));

  // A rolled back transaction leaves the file as it was, however much of it
  // had been written ahead.
  Exec(q, "begin");
  q.SetSQL(kInsertDeal);
  q.RegenerateSQL();
  for (size_t i = 0; i < rows; ++i) {
    Bind(q, {"R", "LKOH", 0, 2, 1});
    q.ExecSQL();
  }
  Exec(q, "rollback");
  EXPECT_EQ(ReadAll(out), b);

  // Clearing the table in the same transaction as the appends keeps the
  // appended rows only.
  Exec(q, "begin");
  q.SetSQL(kInsertDeal);
  q.RegenerateSQL();
  for (size_t i = 0; i < rows; ++i) {
    Bind(q, {"N", "SBER", 0, 2, 1});
    q.ExecSQL();
  }
  Exec(q, Clear("DEALS"));
  Exec(q, "commit");
  EXPECT_EQ(Select(dir, "select count(*), min(CLIENTID), max(CLIENTID) from \"DEALS\""),
            (std::vector<std::string>{std::to_string(rows) + "|N|N"}));
}

// A delete of every record empties the file at once; any other delete, or
// one inside a transaction, goes record by record to the same file.
TEST_F(EngineTest, DeletingEveryRecordCutsTheFileToItsHeader) {
  const std::pair<const char*, const char*> texts[] = {
      {"delete from \"DEALS\"", "DEALS"},     {" DELETE  FROM deals ;\n", "deals"},
      {"delete from \"A\"\"B\"", "A\"B"},     {"delete from main.DEALS", nullptr},
      {"delete from DEALS where 1", nullptr}, {"delete from \"DEALS", nullptr},
      {"delete fromDEALS", nullptr},          {"delete from 1x", nullptr}};
  for (const auto& [text, table] : texts) {
    std::string name;
    EXPECT_EQ(drs::WholeTableDelete(text, name), table != nullptr) << text;
    if (table) {
      EXPECT_EQ(name, table);
    }
  }

  TQuery q;
  q.SetDatabaseName(dir.string());
  for (const char* text :
       {"delete from \"DEALS\"", "delete from deals;", "delete from DEALS where rowid > 0"}) {
    SCOPED_TRACE(text);
    Insert({{"1", "A", 1, 1, 1}, {"2", "B", 1, 1, 2}, {"3", "C", 1, 1, 3}});
    Exec(q, "delete from DEALS where rowid = 2");
    Exec(q, text);
    const std::string b = ReadAll(out);
    EXPECT_EQ(Count(b), 0u);
    EXPECT_EQ(b.size(), 289u);
    EXPECT_EQ(Select(dir, "select count(*) from DEALS"), (std::vector<std::string>{"0"}));
  }
  // No live record: nothing to delete, the file stays byte for byte.
  Insert({{"1", "A", 1, 1, 1}, {"2", "B", 1, 1, 2}});
  {
    std::fstream f(out, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(289);
    f.put('*');
    f.seekp(289 + 148);
    f.put('*');
  }
  const std::string deleted = ReadAll(out);
  Exec(q, Clear("DEALS"));
  EXPECT_EQ(ReadAll(out), deleted);
}

// A value is bound again only when it changed: every row still gets its own
// values, also after the parameters moved in memory.
TEST_F(EngineTest, EveryRowGetsItsValuesWhenOnlySomeChange) {
  TQuery q;
  PrepareInsert(q);
  Bind(q, {"1", "GAZP", 1, 10, 1});
  q.ExecSQL();
  q.ExecSQL();
  const size_t ticker = q.ParamIndex("TICKER"), price = q.ParamIndex("PRICE");
  const std::string longName(40, 'S');
  q.SetString(ticker, longName);
  q.ExecSQL();
  q.SetString(ticker, "GAZP");
  q.SetFloat(price, 10);
  q.ExecSQL();
  for (int i = 0; i < 40; ++i) q.SetString("UNUSED" + std::to_string(i), std::string(30, 'x'));
  q.SetFloat(price, 11);
  q.ExecSQL();
  EXPECT_EQ(Select(dir, "select CLIENTID,TICKER,PRICE,DATES,BROCID from DEALS"),
            (std::vector<std::string>{"1|GAZP|10|2024-03-15|BRK", "1|GAZP|10|2024-03-15|BRK",
                                      "1|" + longName + "|10|2024-03-15|BRK", "1|GAZP|10|2024-03-15|BRK",
                                      "1|GAZP|11|2024-03-15|BRK"}));
}

TEST_F(EngineTest, EveryAutocommitInsertIsCountedAtOnce) {
  TQuery q;
  PrepareInsert(q);
  for (uint32_t i = 1; i <= 50; ++i) {
    Bind(q, {std::to_string(i), "GAZP", 1, 1, double(i)});
    q.ExecSQL();
    std::string b = ReadAll(out);
    ASSERT_EQ(Count(b), i);
    ASSERT_EQ(b.size(), 289 + i * 148);
  }
}

TEST_F(EngineTest, ChangesByAnotherWriterAreSeenByTheNextStatement) {
  Insert({{"1001", "GAZP", 1, 10, 100}, {"1002", "SBER", 0, 20, 5}});
  TQuery q;
  q.SetDatabaseName(dir.string());
  q.SetSQL(SumsForAccount("DEALS"));
  q.SetString("clientid", "1001");
  q.Open();
  EXPECT_EQ(Rows(q), (std::vector<std::string>{"GAZP|1|100"}));

  // Another program changes the account of the second record in place...
  auto writeAt = [&](std::streamoff at, const std::string& bytes) {
    std::fstream f(out, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(at);
    f.write(bytes.data(), std::streamsize(bytes.size()));
  };
  writeAt(289 + 148 + 1, "1001");
  q.Open();
  EXPECT_EQ(Rows(q), (std::vector<std::string>{"GAZP|1|100", "SBER|0|5"}));
  // ... and appends a record: the bytes, then the count.
  std::string rec = ReadAll(out).substr(289, 148);
  rec.replace(17, 4, "LKOH");
  rec.replace(93, 20, "             7.00000");
  writeAt(289 + 2 * 148, rec);
  writeAt(4, std::string(1, '\3'));
  q.Open();
  EXPECT_EQ(Rows(q), (std::vector<std::string>{"GAZP|1|100", "LKOH|1|7", "SBER|0|5"}));
  // Our next append goes after the other writer's record.
  Insert({{"1003", "VTBR", 1, 1, 1}});
  std::string now = ReadAll(out);
  EXPECT_EQ(Count(now), 4u);
  EXPECT_EQ(now.substr(289 + 2 * 148, 148), rec);
  EXPECT_EQ(now.substr(289 + 3 * 148 + 1, 4), "1003");

  // A file made read-only is no longer written.
  ASSERT_EQ(::chmod(out.c_str(), 0444), 0);
  EXPECT_THROW(Insert({{"1004", "VTBR", 1, 1, 1}}), EDBEngineError);
  EXPECT_EQ(ReadAll(out), now);
  ::chmod(out.c_str(), 0644);
}

// One insert statement executed again and again checks the file in full only
// now and then: another writer's append must still be seen at once, and a
// replaced or read-only file once the recheck interval has passed.
TEST_F(EngineTest, RepeatedInsertSeesOtherWritersAndReplacedFiles) {
  TQuery q;
  PrepareInsert(q);
  auto insert = [&](const std::string& client) {
    Bind(q, {client, "GAZP", 1, 1, 1});
    q.ExecSQL();
  };
  auto waitRecheck = [] {};  // every write looks at the file in full
  insert("1001");
  // Another program appends a record right after our statement...
  std::string rec = ReadAll(out).substr(289, 148);
  rec.replace(1, 4, "7777");
  {
    std::fstream f(out, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(289 + 148);
    f.write(rec.data(), std::streamsize(rec.size()));
    f.seekp(4);
    f.put('\2');
  }
  // ... and our next execution goes after it, not over it.
  insert("1002");
  std::string now = ReadAll(out);
  ASSERT_EQ(Count(now), 3u);
  EXPECT_EQ(now.substr(289 + 148, 148), rec);
  EXPECT_EQ(now.substr(289 + 2 * 148 + 1, 4), "1002");

  // The table is replaced by a new empty one: later rows go to the new file.
  fs::path fresh = dir / "fresh.tmp";
  CreateOutputTable(fresh.string());
  fs::rename(fresh, out);
  waitRecheck();
  insert("1003");
  now = ReadAll(out);
  ASSERT_EQ(Count(now), 1u);
  EXPECT_EQ(now.substr(289 + 1, 4), "1003");

  // Made read-only: refused, the file untouched.
  ASSERT_EQ(::chmod(out.c_str(), 0444), 0);
  waitRecheck();
  EXPECT_THROW(insert("1004"), EDBEngineError);
  EXPECT_EQ(ReadAll(out), now);
  ::chmod(out.c_str(), 0644);

  // Removed by this process: the very next execution knows, without waiting.
  waitRecheck();
  insert("1005");
  ASSERT_TRUE(drs::RemoveFile(out));
  EXPECT_THROW(insert("1006"), EDBEngineError);
  EXPECT_FALSE(fs::exists(out));
}

// Records whose bytes differ but whose values SQLite holds equal ("1" and
// "1.0" in a whole-number field, a text padded with NULs or blanks) fall in
// one group and give one distinct value.
TEST_F(EngineTest, EqualValuesWithOtherBytesAreOneGroup) {
  Insert({{"1001", "GAZP", 1, 10, 100},
          {"1002", "GAZP", 1, 10, 5},
          {"1001", "SBER", 0, 1, 1},
          {"1003", "GAZP", 0, 1, 2}});
  std::string b = ReadAll(out);
  b.replace(289 + 148 + 67, 6, "   1.0");  // OPERTYPE of the second record
  b.replace(289 + 2 * 148 + 1, 16, std::string("1001\0\0\0\0\0\0\0\0\0\0\0\0", 16));  // CLIENTID of the third
  std::ofstream(out, std::ios::binary) << b;
  EXPECT_EQ(Select(dir, SumsBySecurity("DEALS")),
            (std::vector<std::string>{"GAZP|0|2", "GAZP|1|105", "SBER|0|1"}));
  EXPECT_EQ(Select(dir, Accounts("DEALS")), (std::vector<std::string>{"1001", "1002", "1003"}));
  EXPECT_EQ(Select(dir, "select distinct OPERTYPE from \"DEALS\""), (std::vector<std::string>{"1", "0"}));
  EXPECT_EQ(Select(dir, SumsForAccount("DEALS"), "1001"),
            (std::vector<std::string>{"GAZP|1|100", "SBER|0|1"}));
}
