// The engine writes exactly the table it was given, one writer at a time, and
// survives tables that other programs made, cut or damaged.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <regex>

#include "ExportFixture.h"
#include "engine/DbfFile.h"
#include "engine_fixture.h"
#include "export/ExportProgress.h"
#include "export/MakeDBF.h"

using namespace enginetest;
using drs::EDBEngineError;
using drs::TQuery;

namespace {

void PutByte(const fs::path& p, off_t at, unsigned char b) {
  std::fstream f(p, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(at);
  f.put(char(b));
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EDBEngineError& e) {
    return e.what();
  }
  return {};
}

// SQLite's own phrases (names of files and columns may well be Latin).
bool HasSqlitePhrase(const std::string& s) {
  return std::regex_search(s, std::regex("has no|no such|syntax error|values for|column"));
}

drs::test::DealsFixture TwoDeals() {
  return drs::test::DealsFixture(
      {{"1001", "GAZP", "B", "100.5", "1", "77"}, {"1002", "SBER", "S", "250", "2", "78"}});
}

}  // namespace

// Whatever the file is called, export reads, clears and fills that file and
// leaves every other file of the folder as it was.
TEST_F(EngineTest, ExportWritesOnlyTheFileItWasGiven) {
  Insert({{"1", "OLD", 1, 1, 1}});
  const std::string old = ReadAll(out);
  const fs::path longDir = dir / std::string(200, 'd');
  fs::create_directories(longDir);
  struct Case {
    std::string out;      // as the operator typed it
    std::string written;  // the file that must get the rows
    int mode;             // 0 overwrite, 1 append
    bool exists;          // the named file is an output table already
  } cases[] = {
      {(dir / "DEALS\" --.DBF").string(), (dir / "DEALS\" --.DBF").string(), 0, true},
      {(dir / "a%Mb.DBF").string(), (dir / "a%Mb.DBF").string(), 0, true},
      {(dir / "DEALS.BAK").string(), (dir / "DEALS.BAK").string(), 0, false},
      {(dir / "DEALS.txt").string(), (dir / "DEALS.txt").string(), 1, false},
      {(dir / "deals.dbf").string(), (dir / "deals.dbf").string(), 1, true},
      {(dir / "n4").string(), (dir / "n4.DBF").string(), 1, false},
      {"\"" + (longDir / "LONG NAME.DBF").string() + "\"", (longDir / "LONG NAME.DBF").string(), 1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.out);
    if (c.exists) CreateOutputTable(c.written);
    drs::test::RecordingMessages messages;
    drs::ScopedMessageHandler scope(&messages);
    drs::ExportSettings settings;
    settings.outFileName = c.out;
    settings.writeMode = c.mode;
    settings.tradeDate = "07.12.2026";
    settings.brokerAcc = "BRK";
    drs::SilentProgress progress;
    TQuery view;
    const auto result = drs::ExportMarkedDeals(TwoDeals().Source(), settings, progress, view);
    EXPECT_TRUE(result.finished) << (messages.shown.empty() ? "" : messages.shown.back().text);
    EXPECT_EQ(Count(ReadAll(c.written)), 2u);
    EXPECT_EQ(ReadAll(out), old);
    fs::remove(c.written);
  }
}

// Every write holds the file's lock; one that cannot get it within the wait
// is refused and changes nothing.
TEST_F(EngineTest, AWriterWaitsForTheLockAndIsRefusedWhenItStaysTaken) {
  drs::DbfFile::SetLockWait(std::chrono::milliseconds(300));
  Insert({{"1001", "GAZP", 1, 1, 1}});
  const std::string before = ReadAll(out);
  int fd = ::open(out.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  ASSERT_EQ(::fcntl(fd, F_OFD_SETLK, &fl), 0);
  const auto start = std::chrono::steady_clock::now();
  const std::string e = ErrorOf([&] { Insert({{"1002", "SBER", 1, 1, 1}}); });
  EXPECT_NE(e.find("занята другой программой"), std::string::npos) << e;
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
  EXPECT_EQ(ReadAll(out), before);
  // Also when the table is first named inside an explicit transaction.
  EXPECT_NE(ErrorOf([&] {
              TQuery q;
              q.SetDatabaseName(dir.string());
              q.SetSQL("begin");
              q.ExecSQL();
              PrepareInsert(q);
              Bind(q, {"1003", "LKOH", 1, 1, 1});
              q.ExecSQL();
              q.SetSQL("commit");
              q.ExecSQL();
            }).find("занята"),
            std::string::npos);
  EXPECT_EQ(ReadAll(out), before);
  // Readers wait for the writer too.
  EXPECT_NE(ErrorOf([&] {
              TQuery q;
              q.SetDatabaseName(dir.string());
              q.SetSQL(SumsBySecurity("DEALS"));
              q.Open();
            }).find("занята"),
            std::string::npos);
  ::close(fd);
  Insert({{"1002", "SBER", 1, 1, 1}});
  EXPECT_EQ(Count(ReadAll(out)), 2u);
  drs::DbfFile::SetLockWait(std::chrono::milliseconds(5000));
}

// A table cut short by another program while an ordered result walks it
// ends the read with an engine error or the rows read before, never a signal.
TEST_F(EngineTest, ATableCutWhileReadIsNoCrash) {
  std::vector<Deal> deals;
  for (int i = 0; i < 400; ++i)
    deals.push_back({std::to_string(1000 + i), "T" + std::to_string(i % 97), 1, 1, 1});
  Insert(deals);
  EXPECT_EXIT(
      {
        TQuery q;
        q.SetDatabaseName(dir.string());
        q.SetSQL(SumsBySecurity("DEALS"));
        q.Open();
        if (::truncate(out.c_str(), 289) != 0) std::_Exit(3);
        try {
          for (; !q.Eof(); q.Next()) q.AsString(0);
        } catch (const EDBEngineError&) {
        }
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

// Headers that claim records the file never held, tables that other programs
// left longer than their count, and code pages: each is read as it is or
// refused untouched, quickly.
TEST_F(EngineTest, HostileAndForeignHeaders) {
  for (uint32_t claimed : {4000000000u, 0xFFFFFFF0u}) {
    SCOPED_TRACE(claimed);
    const fs::path p = dir / "SPARSE.DBF";
    CreateOutputTable(p.string());
    for (int i = 0; i < 4; ++i) PutByte(p, 4 + i, (claimed >> (8 * i)) & 0xFF);
    fs::resize_file(p, 289 + uintmax_t(claimed) * 148);
    const auto start = std::chrono::steady_clock::now();
    const std::string e = ErrorOf([&] { Insert({{"1", "A", 1, 1, 1}}, "SPARSE"); });
    EXPECT_NE(e.find("повреждён"), std::string::npos) << e;
    EXPECT_NE(ErrorOf([&] {
                TQuery q;
                q.SetDatabaseName(dir.string());
                q.SetSQL(ColumnCheck("SPARSE"));
                q.Open();
              }),
              "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(fs::file_size(p), 289 + uintmax_t(claimed) * 148);
    fs::remove(p);
  }

  // Bytes of a record cut off by a crash go before the first write.
  Insert({{"1001", "GAZP", 1, 1, 1}});
  {
    std::ofstream f(out, std::ios::binary | std::ios::app);
    f << std::string(148 + 70, 'Z');
  }
  Insert({{"1002", "SBER", 0, 1, 1}});
  std::string now = ReadAll(out);
  EXPECT_EQ(Count(now), 2u);
  EXPECT_EQ(now.size(), 289u + 2 * 148);

  // Language byte 0x26 and 0x65: text in 866 both ways; an unknown one is
  // refused and the file stays as it was.
  for (unsigned char driver : {0x26, 0x65}) {
    CreateOutputTable(out);
    PutByte(out, 29, driver);
    Insert({{"Счёт", "Газпром", 1, 1, 1}});
    EXPECT_EQ(ReadAll(out).substr(289 + 17, 7), "\x83\xA0\xA7\xAF\xE0\xAE\xAC");
    TQuery q;
    q.SetDatabaseName(dir.string());
    q.SetSQL(SumsBySecurity("DEALS"));
    q.Open();
    EXPECT_EQ(q.AsString(0), "Газпром");
  }
  CreateOutputTable(out);
  PutByte(out, 29, 0x57);
  const std::string foreign = ReadAll(out);
  EXPECT_NE(ErrorOf([&] { Insert({{"1", "A", 1, 1, 1}}); }).find("кодировке"), std::string::npos);
  EXPECT_EQ(ReadAll(out), foreign);
}

// A table of another program: OPERTYPE as text gets "1"/"0"; SQLite's
// own messages reach the operator in Russian.
TEST_F(EngineTest, ForeignColumnTypesAndMessages) {
  drs::TDBF dbf;
  for (const char* name : {"CLIENTID", "TICKER", "OPERTYPE", "PRICE", "QTY", "DATES", "SDEL", "BROCID"})
    dbf.AddField(name, "C", 12, 0);
  dbf.FileName = (dir / "TEXT.DBF").string();
  dbf.CreateTable();
  Insert({{"1", "GAZP", 1, 2.5, 1}, {"2", "SBER", 0, 3, 1}}, "TEXT");
  const std::string bytes = ReadAll(dir / "TEXT.DBF");  // header 289, records 97
  EXPECT_EQ(bytes.substr(289 + 25, 12), "1           ");
  EXPECT_EQ(bytes.substr(289 + 97 + 25, 12), "0           ");
  EXPECT_EQ(bytes.substr(289 + 37, 12), "2.5         ");

  for (const std::string& sql :
       {std::string("insert into DEALS (NOPE) values (1)"),
        std::string("insert into DEALS (CLIENTID) values (1, 2)"), std::string("select NOPE from DEALS"),
        std::string("selec 1"), std::string("select ЦЕНА from DEALS"),
        std::string("insert into DEALS (ЦЕНА) values (1)")}) {
    const std::string e = ErrorOf([&] {
      TQuery q;
      q.SetDatabaseName(dir.string());
      q.SetSQL(sql);
      q.ExecSQL();
    });
    EXPECT_NE(e, "") << sql;
    EXPECT_FALSE(HasSqlitePhrase(e.substr(0, e.find("\nЗапрос:")))) << e;
  }
}

// Overwrite checks the column types before anything is cleared.
TEST_F(EngineTest, OverwriteRefusesAWrongColumnTypeBeforeClearing) {
  drs::TDBF dbf;
  const char* types = "CCNNNCCC";  // DATES as text
  int i = 0;
  for (const char* name : {"CLIENTID", "TICKER", "OPERTYPE", "PRICE", "QTY", "DATES", "SDEL", "BROCID"})
    dbf.AddField(name, std::string(1, types[i++]), 20, 0);
  dbf.FileName = out;
  dbf.CreateTable();
  Insert({{"1", "GAZP", 1, 2, 1}});
  const std::string before = ReadAll(out);
  drs::test::RecordingMessages messages;
  drs::ScopedMessageHandler scope(&messages);
  drs::ExportSettings settings;
  settings.outFileName = out;
  settings.writeMode = 0;
  settings.tradeDate = "07.12.2026";
  drs::SilentProgress progress;
  TQuery view;
  EXPECT_FALSE(drs::ExportMarkedDeals(TwoDeals().Source(), settings, progress, view).finished);
  EXPECT_EQ(messages.shown.back().text, "Файл не соответствует  формату!");
  EXPECT_EQ(ReadAll(out), before);
}
