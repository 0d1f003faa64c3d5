// The export as one transaction, tried as other programs and odd tables
// would try it: every case either writes exactly the rows it means to or
// leaves the file byte for byte, with one message saying why.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/file.h>
#include <unistd.h>
#endif

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>

#include "DbfBytes.h"
#include "ExportFixture.h"
#include "OtherLock.h"
#include "TempDir.h"
#include "engine/DbfFile.h"
#include "engine/Query.h"
#include "export/Export.h"
#include "export/ExportProgress.h"
#include "export/Turnovers.h"
#include "support/Messages.h"
#include "utils/Cp1251.h"
#include "utils/Cp866.h"

namespace drs {
namespace {

using test::DealsFixture;
using test::FieldSpec;
using test::ReadBytes;
using test::RecordingMessages;
using test::TempDir;
using Texts = std::vector<std::string>;

const std::vector<FieldSpec> kOutput = {
    {"CLIENTID", 'C', 16, 0}, {"TICKER", 'C', 50, 0}, {"OPERTYPE", 'N', 6, 0}, {"PRICE", 'N', 20, 5},
    {"QTY", 'N', 20, 5},      {"DATES", 'D', 8, 0},   {"SDEL", 'C', 11, 0},    {"BROCID", 'C', 16, 0}};

// The output columns with one of them redefined.
std::vector<FieldSpec> OutputWith(const FieldSpec& changed) {
  std::vector<FieldSpec> fields = kOutput;
  for (FieldSpec& f : fields)
    if (std::string(f.name) == changed.name) f = changed;
  return fields;
}

// Holds an exclusive lock on a file as another program would.
struct OtherProgramsLock : test::OtherProgramsLock {
  explicit OtherProgramsLock(const std::string& path) : test::OtherProgramsLock(path) { EXPECT_TRUE(Held()); }
};

class ExportTransactionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
    settings.outFileName = dir.File("DEALS.DBF");
    settings.writeMode = 1;
    settings.tradeDate = "07.12.2026";
    settings.brokerAcc = "BRK01";
    DbfFile::SetLockWait(std::chrono::milliseconds(200));
  }
  void TearDown() override { DbfFile::SetLockWait(std::chrono::milliseconds(5000)); }

  ExportResult Run(const DealsFixture& f) {
    messages.shown.clear();
    ScopedMessageHandler scope(&messages);
    return ExportMarkedDeals(f.Source(), settings, progress, view);
  }

  TempDir dir;
  ExportSettings settings;
  RecordingMessages messages;
  SilentProgress progress;
  TQuery view;
};

DealsFixture Deals(std::vector<std::string> prices, const std::string& lots = "1") {
  std::vector<test::Deal> deals;
  for (size_t i = 0; i < prices.size(); ++i)
    deals.push_back(
        {"10" + std::to_string(i), "GAZP", i % 2 ? "S" : "B", prices[i], lots, std::to_string(i)});
  return DealsFixture(deals, 1);
}

// Tables another program made: what goes in, what is refused before the
// first byte, and what stays byte for byte.
TEST_F(ExportTransactionTest, ForeignTablesTakeExactlyWhatTheyCanHold) {
  struct Case {
    const char* what;
    std::vector<FieldSpec> fields;
    bool endMark;  // the table ends with 0x1A, as other programs write it
    int mode;
    std::vector<std::string> prices;
    std::string lots;
    size_t written;     // rows the table takes; 0: the file stays byte for byte
    const char* first;  // the first message after the question
  };
  const std::vector<Case> cases = {
      {"fractional pieces", kOutput, false, 1, {"10", "20"}, "0.25", 2, ""},
      {"OPERTYPE as text", OutputWith({"OPERTYPE", 'C', 1, 0}), true, 1, {"10", "20"}, "1", 2, ""},
      {"OPERTYPE with decimals", OutputWith({"OPERTYPE", 'N', 6, 2}), false, 1, {"10", "20"}, "1", 2, ""},
      {"OPERTYPE float", OutputWith({"OPERTYPE", 'F', 6, 2}), false, 1, {"10", "20"}, "1", 2, ""},
      {"PRICE of two decimals",
       OutputWith({"PRICE", 'N', 19, 2}),
       true,
       1,
       {"0.001", "250.123", "250.12"},
       "1",
       1,
       "Ошибка записи в выходной файл"},
      {"every line refused",
       OutputWith({"CLIENTID", 'C', 2, 0}),
       true,
       1,
       {"10", "20"},
       "1",
       0,
       "Ошибка записи в выходной файл"},
      {"overwrite, PRICE of two decimals",
       OutputWith({"PRICE", 'N', 19, 2}),
       true,
       0,
       {"10"},
       "1",
       0,
       "Файл не соответствует  формату!"},
      {"overwrite, narrow TICKER",
       OutputWith({"TICKER", 'C', 10, 0}),
       false,
       0,
       {"10"},
       "1",
       0,
       "Файл не соответствует  формату!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<std::string> old = {
        test::RecordBytes(c.fields, {"1", "LKOH", "1", "5", "1", "20240101", "9", "B"})};
    test::WriteTable(settings.outFileName, c.fields, old);
    if (c.endMark) test::WriteBytes(settings.outFileName, ReadBytes(settings.outFileName) + '\x1A');
    const std::string before = ReadBytes(settings.outFileName);
    settings.writeMode = c.mode;
    const ExportResult result = Run(Deals(c.prices, c.lots));
    const std::string after = ReadBytes(settings.outFileName);
    ASSERT_GE(messages.shown.size(), 1u);
    if (*c.first) {
      ASSERT_GE(messages.shown.size(), 2u);
      EXPECT_EQ(messages.shown[1].text, c.first);
    } else {
      EXPECT_EQ(messages.shown.size(), 1u) << messages.shown.back().text;
    }
    if (c.written == 0) {
      EXPECT_EQ(after, before);
      continue;
    }
    ASSERT_TRUE(result.control);
    EXPECT_TRUE(result.control->Agrees());
    EXPECT_EQ(result.written, c.written);
    const uint32_t count = uint32_t(uint8_t(after[4])) | uint32_t(uint8_t(after[5])) << 8;
    EXPECT_EQ(count, 1 + c.written);
    const size_t header = size_t(uint8_t(after[8])) | size_t(uint8_t(after[9])) << 8;
    const size_t length = size_t(uint8_t(after[10])) | size_t(uint8_t(after[11])) << 8;
    EXPECT_EQ(after.size(), header + count * length + (c.endMark ? 1 : 0));
    if (c.endMark) {
      EXPECT_EQ(after.back(), '\x1A');
    }
    EXPECT_EQ(after.compare(header, length, before, header, length), 0) << "the old row moved";
  }
}

// The one file of a name: spellings that differ only in letter case are
// refused without a third file; names the engine cannot take as a table are
// written and shown all the same.
TEST_F(ExportTransactionTest, NamesAreOneFileOrRefused) {
  settings.writeMode = 0;
  test::WriteTable(dir.File("Deals.dbf"), kOutput, {});
  test::WriteTable(dir.File("DEALS.dbf"), kOutput, {});
  settings.outFileName = dir.File("deals.DBF");
  const ExportResult twice = Run(Deals({"10"}));
  EXPECT_FALSE(twice.finished);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "Ошибка записи в выходной файл");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);

  for (const char* name : {".dbf", "sqlite_x.dbf", "main.x.dbf", "Сделки дня.dbf"}) {
    SCOPED_TRACE(name);
    settings.outFileName = dir.File(name);
    const ExportResult result = Run(Deals({"10", "20"}));
    EXPECT_TRUE(result.Succeeded());
    EXPECT_EQ(result.recordCountText, "2");
    EXPECT_TRUE(view.Active());
    view.Close();
  }
}

// A temporary file a killed write left beside the table goes with the next
// write once it is a minute old and nobody holds it; a young one stays.
TEST_F(ExportTransactionTest, LeftoversOfAKilledWriteAreRemoved) {
  ASSERT_TRUE(Run(Deals({"10"})).Succeeded());
  const std::string stale = dir.File(".DEALS.DBF.aBcD1234.tmp~"),
                    young = dir.File(".DEALS.DBF.young123.tmp~");
  for (const std::string& f : {stale, young}) test::WriteBytes(f, "x");
  std::filesystem::last_write_time(stale,
                                   std::filesystem::file_time_type::clock::now() - std::chrono::minutes(2));
  for (int mode : {1, 0}) {
    settings.writeMode = mode;
    ASSERT_TRUE(Run(Deals({"20"})).Succeeded());
  }
  EXPECT_TRUE(ReadBytes(stale).empty());
  EXPECT_EQ(ReadBytes(young), "x");
}

// Tables other programs make: a logical column the export does not fill is
// left blank (no reader takes a blank for false), a text column of dates
// takes the date as dBASE keeps it where that is all that fits, and a table
// another program holds with flock is waited for and left as it was.
TEST_F(ExportTransactionTest, OtherProgramsTablesGetWhatEveryReaderReadsAlike) {
  struct Case {
    const char* what;
    std::vector<FieldSpec> fields;
    bool flocked;
    size_t at;                                 // where the record's bytes are looked at (flag included)
    std::string bytes;                         // "": the table is refused and stays byte for byte
    std::string beside = {}, besideText = {};  // a file beside the table
    bool productionIndex = false;              // header byte 28
  };
  std::vector<FieldSpec> logical = kOutput;
  logical.push_back({"CHECKED", 'L', 1, 0});
  settings.brokerAcc = "БРК";
  const std::vector<Case> cases = {
      {"logical column", logical, false, 148, " "},
      {"DATES as text of 8", OutputWith({"DATES", 'C', 8, 0}), false, 113, "20261207"},
      {"DATES as text of 10", OutputWith({"DATES", 'C', 10, 0}), false, 113, "2026-12-07"},
      {"held with flock", kOutput, true, 0, ""},
      {"code page 866 beside", kOutput, false, 132, Utf8ToCp866("БРК"), "DEALS.cpg", "CP866\n"},
      {"code page 1251 beside", kOutput, false, 132, Utf8ToCp1251("БРК"), "deals.CPG", "1251"},
      {"UTF-8 beside", kOutput, false, 0, "", "DEALS.cpg", "UTF-8"},
      {"an index beside", kOutput, false, 0, "", "DEALS.MDX", "index"},
      {"an index of its own kind", kOutput, false, 0, "", "deals.cdx", "index"},
      {"a production index flagged", kOutput, false, 0, "", "", "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::WriteTable(settings.outFileName, c.fields, {}, 0);  // no code page in the header
    if (c.productionIndex) test::PatchBytes(settings.outFileName, 28, "\x01");
    if (!c.beside.empty()) test::WriteBytes(dir.File(c.beside), c.besideText);
    const std::string before = ReadBytes(settings.outFileName);
#ifdef _WIN32
    if (c.flocked) continue;  // no flock on Windows
    const ExportResult result = Run(Deals({"10"}));
#else
    const int fd = c.flocked ? ::open(settings.outFileName.c_str(), O_RDONLY) : -1;
    if (c.flocked) {
      ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    }
    const ExportResult result = Run(Deals({"10"}));
    if (fd >= 0) ::close(fd);
#endif
    if (!c.beside.empty()) std::remove(dir.File(c.beside).c_str());
    const std::string after = ReadBytes(settings.outFileName);
    if (c.bytes.empty()) {
      EXPECT_FALSE(result.finished);
      EXPECT_EQ(messages.shown.back().text, "Ошибка записи в выходной файл");
      EXPECT_EQ(after, before);
      continue;
    }
    ASSERT_TRUE(result.Succeeded());
    const size_t header = size_t(uint8_t(after[8])) | size_t(uint8_t(after[9])) << 8;
    EXPECT_EQ(after.substr(header + c.at, c.bytes.size()), c.bytes);
  }
}

// Another program's lock, a read-only table: one message with its cause,
// and the table as it was; the turnover tables keep the same rules.
TEST_F(ExportTransactionTest, LocksAndReadOnlyTablesAreOneMessageAndNoChange) {
  ASSERT_TRUE(Run(Deals({"10", "20"})).Succeeded());
  const std::string before = ReadBytes(settings.outFileName);
  for (int mode : {0, 1}) {
    settings.writeMode = mode;
    OtherProgramsLock lock(settings.outFileName);
    const ExportResult result = Run(Deals({"30"}));
    EXPECT_FALSE(result.finished);
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].text,
              mode == 0 ? "Ошибка очистки выходного файла" : "Ошибка записи в выходной файл");
    ASSERT_FALSE(messages.shown[1].details.empty());
    EXPECT_NE(messages.shown[1].details[0].find("занята другой программой"), std::string::npos);
    EXPECT_EQ(ReadBytes(settings.outFileName), before);
  }

  const std::filesystem::path cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());
  for (bool readOnly : {true, false}) {
    SCOPED_TRACE(readOnly ? "read-only ShOb" : "locked ShOb");
    ASSERT_TRUE(CreateTurnoverTable(dir.File("ShOb.DBF"), false));
    const std::string shob = ReadBytes(dir.File("ShOb.DBF"));
    if (readOnly) ::chmod(dir.File("ShOb.DBF").c_str(), 0444);
    std::optional<OtherProgramsLock> lock;
    if (!readOnly) lock.emplace(dir.File("ShOb.DBF"));
    messages.shown.clear();
    TurnoverResult result;
    {
      ScopedMessageHandler scope(&messages);
      TQuery turnovers;
      result = ComputeTurnovers(settings.outFileName, kTurnoverBySecurity, turnovers);
    }
    EXPECT_FALSE(result.shown);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Ошибка при расчете оборотов");
    EXPECT_EQ(ReadBytes(dir.File("ShOb.DBF")), shob);
    struct stat st {};
    ::stat(dir.File("ShOb.DBF").c_str(), &st);
    EXPECT_EQ((st.st_mode & 0222) == 0, readOnly);
    ::chmod(dir.File("ShOb.DBF").c_str(), 0644);
  }
  std::filesystem::current_path(cwd);
}

}  // namespace
}  // namespace drs
