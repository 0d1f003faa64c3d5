// Bad tables, other readers of our files, live results and crash safety.
#include <signal.h>
#include <sys/wait.h>

#include <regex>

#include "engine_fixture.h"

using namespace enginetest;
using drs::EDBEngineError;
using drs::TQuery;

namespace {

std::string OpenError(const fs::path& dir, const std::string& table) {
  TQuery q;
  q.SetDatabaseName(dir.string());
  q.SetSQL(ColumnCheck(table));
  try {
    q.Open();
  } catch (const EDBEngineError& e) {
    return e.what();
  }
  return {};
}

void WriteBytes(const fs::path& p, const std::string& b) { std::ofstream(p, std::ios::binary) << b; }

}  // namespace

TEST_F(EngineTest, BadTablesGiveClearErrors) {
  std::string good = ReadAll(out);
  WriteBytes(dir / "TEXT.DBF", "CLIENTID;TICKER\n1001;GAZP\n" + std::string(300, 'x'));
  WriteBytes(dir / "EMPTY.DBF", "");
  std::string counted = good;
  counted[4] = 5;  // five records claimed, none there
  WriteBytes(dir / "SHORT.DBF", counted);
  std::string reclen = good;
  reclen[10] = 100;  // record length that is not the sum of the fields
  WriteBytes(dir / "RECLEN.DBF", reclen);
  std::string hdr = good;
  hdr[8] = char(0xFF), hdr[9] = char(0x7F);  // header longer than the file
  WriteBytes(dir / "HDR.DBF", hdr);
  WriteBytes(dir / "NOEND.DBF", good.substr(0, 288) + "X");
  std::string huge = good;
  huge[7] = char(0xFF);  // a record count in the billions must not hang
  WriteBytes(dir / "HUGE.DBF", huge);
  fs::create_directories(dir / "FOLDER.DBF");

  for (const char* t : {"TEXT", "EMPTY", "SHORT", "RECLEN", "HDR", "NOEND", "HUGE"}) {
    std::string e = OpenError(dir, t);
    EXPECT_NE(e.find(std::string(t) + ".DBF"), std::string::npos) << t << ": " << e;
  }
  EXPECT_NE(OpenError(dir, "SHORT").find("5 записей"), std::string::npos);
  EXPECT_NE(OpenError(dir, "NOSUCH").find("не найдена"), std::string::npos);
  EXPECT_NE(OpenError(dir, "FOLDER"), "");
  EXPECT_NE(OpenError(dir, "").find("имя таблицы"), std::string::npos);
  EXPECT_NE(OpenError(dir / "nofolder", "DEALS"), "");
  // Inserting into a bad table changes nothing.
  TQuery ins;
  ins.SetDatabaseName(dir.string());
  ins.SetSQL(kInsertDeal);
  ins.SetMacro("M", "SHORT");
  ins.RegenerateSQL();
  Bind(ins, {"1", "A", 1, 1, 1});
  try {
    ins.ExecSQL();
    ADD_FAILURE();
  } catch (const EDBEngineError& e) {
    EXPECT_FALSE(e.RowOnly()) << e.what();
  }
  EXPECT_EQ(ReadAll(dir / "SHORT.DBF"), counted);
}

TEST_F(EngineTest, OtherReadersSeeWhatWeWrote) {
  if (Shell("command -v dbfdump").empty() || Shell("command -v ogrinfo").empty())
    GTEST_SKIP() << "no dbfdump/ogrinfo";
  Insert({{"1001", "GAZP", 1, 100.65, 400, "77", "BRK01"}, {"1002", "SBER", 0, 250.5, 10, "78", "BRK01"}});
  // Raw field texts: dbfdump leaves dates out unless asked for the raw form.
  std::string dump = Shell("dbfdump -m -r '" + out + "'");
  for (const char* expected :
       {"CLIENTID: 1001 *\n", "TICKER: SBER *\n", "OPERTYPE: *1 *\n", "PRICE: *100\\.65000 *\n",
        "QTY: *10\\.00000 *\n", "DATES: 20240315\n", "SDEL: 78 *\n", "BROCID: BRK01 *\n"})
    EXPECT_TRUE(std::regex_search(dump, std::regex(expected))) << expected << "\n" << dump;
  std::string ogr = Shell("ogrinfo -ro -al '" + out + "' 2>&1");
  EXPECT_NE(ogr.find("Feature Count: 2"), std::string::npos) << ogr;
  EXPECT_NE(ogr.find("CLIENTID (String) = 1002"), std::string::npos) << ogr;
  EXPECT_NE(ogr.find("PRICE (Real) = 250.5"), std::string::npos) << ogr;
  EXPECT_NE(ogr.find("DATES (Date) = 2024/03/15"), std::string::npos) << ogr;

  // After the clear statement nobody sees a row.
  TQuery q;
  q.SetDatabaseName(dir.string());
  q.SetSQL(Clear("DEALS"));
  q.ExecSQL();
  EXPECT_EQ(Shell("dbfdump '" + out + "' | wc -l"), "1\n");  // the header line only
  EXPECT_NE(Shell("ogrinfo -ro -al '" + out + "' 2>&1").find("Feature Count: 0"), std::string::npos);
}

TEST_F(EngineTest, LiveResultEditsReachTheFile) {
  Insert({{"1001", "GAZP", 1, 10, 100}, {"1002", "SBER", 0, 20, 5}, {"1003", "LKOH", 1, 30, 7}});
  TQuery live;
  live.SetDatabaseName(dir.string());
  live.SetSQL(kOutputView);
  live.SetMacro("M", "DEALS");
  live.RegenerateSQL();
  live.SetRequestLive(true);
  live.Open();
  ASSERT_TRUE(live.CanModify());
  ASSERT_EQ(live.RecordCount(), 3);
  EXPECT_EQ(live.Row(1)[0].AsString(), "1002");

  live.SetCell(1, 1, "ГАЗП");
  live.SetCell(1, 4, "12.5");
  live.SetCell(1, 5, "01.02.2024");
  std::string b = ReadAll(out);
  EXPECT_EQ(b.substr(289 + 148 + 17, 5), "\xC3\xC0\xC7\xCF ");
  EXPECT_EQ(b.substr(289 + 148 + 93, 20), "            12.50000");
  EXPECT_EQ(b.substr(289 + 148 + 113, 8), "20240201");
  EXPECT_EQ(live.Row(1)[1].AsString(), "ГАЗП");
  // Values the fields refuse are the row's fault, not the table's.
  for (auto [field, value] : {std::pair{0, std::string(17, '9')}, {3, "дорого"}, {5, "32.01.2024"}}) {
    try {
      live.SetCell(1, field, value);
      ADD_FAILURE() << value;
    } catch (const EDBEngineError& e) {
      EXPECT_TRUE(e.RowOnly()) << value;
    }
  }
  EXPECT_EQ(ReadAll(out), b);

  int64_t at = live.InsertRow({"2000", "VTBR", "1", "0.05", "1000", "15.03.2024", "9", "B"});
  EXPECT_EQ(at, 3);
  EXPECT_EQ(Count(ReadAll(out)), 4u);
  live.DeleteRow(0);
  EXPECT_EQ(live.RecordCount(), 3);
  EXPECT_EQ(live.Row(0)[0].AsString(), "1002");

  // Another reader sees the edited table.
  TQuery other;
  other.SetDatabaseName(dir.string());
  other.SetSQL(SumsBySecurity("DEALS"));
  other.Open();
  std::vector<std::string> got;
  for (; !other.Eof(); other.Next()) got.push_back(other.AsString(0) + "/" + other.AsString(2));
  EXPECT_EQ(got, (std::vector<std::string>{"LKOH/7", "VTBR/1000", "ГАЗП/12.5"}));
  if (!Shell("command -v ogrinfo").empty()) {
    EXPECT_EQ(Shell("ogrinfo -ro -al '" + out + "' 2>&1 | grep -ac '^OGRFeature'"), "3\n");
  }

  live.Refresh();
  EXPECT_EQ(live.RecordCount(), 3);
  // Deleting the last rows leaves an empty file.
  live.DeleteRow(0);
  live.DeleteRow(0);
  live.DeleteRow(0);
  EXPECT_EQ(ReadAll(out).size(), 289u);

  TQuery notLive;
  notLive.SetDatabaseName(dir.string());
  notLive.SetSQL(SumsBySecurity("DEALS"));
  notLive.SetRequestLive(true);
  EXPECT_THROW(notLive.Open(), EDBEngineError);
}

TEST_F(EngineTest, KilledWriterLeavesAValidFile) {
  for (int round = 0; round < 5; ++round) {
    CreateOutputTable(out);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      try {
        TQuery q;
        PrepareInsert(q);
        for (int i = 0;; ++i) {
          Bind(q, {std::to_string(i), "GAZP", 1, 1.5, double(i)});
          q.ExecSQL();
        }
      } catch (...) {
      }
      ::_exit(1);
    }
    ::usleep(20000 + 7000 * round);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    std::string b = ReadAll(out);
    uint32_t n = Count(b);
    ASSERT_LE(289u + size_t(n) * 148, b.size());
    TQuery q;
    q.SetDatabaseName(dir.string());
    q.SetSQL("select count(*), max(QTY) from \"DEALS\"");
    q.Open();
    EXPECT_EQ(q.AsFloat(0), double(n));
    if (n > 0) {
      EXPECT_EQ(q.AsFloat(1), double(n - 1));
    }
  }
}
