#include <gtest/gtest.h>

#include <sys/stat.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "ExportFixture.h"
#include "TempDir.h"
#include "engine/Query.h"
#include "export/Export.h"
#include "export/ExportProgress.h"
#include "export/MakeDBF.h"
#include "support/Progress.h"

namespace drs {
namespace {

using test::Deal;
using test::DealsFixture;
using test::ReadBytes;
using test::RecordingMessages;
using test::TempDir;
using Texts = std::vector<std::string>;

class ExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
    settings.outFileName = dir.File("DEALS.DBF");
    settings.writeMode = 0;
    settings.tradeDate = "07.12.2026";
    settings.brokerAcc = "BRK01";
  }

  ExportResult Run(const DealsFixture& f) {
    ScopedMessageHandler scope(&messages);
    return ExportMarkedDeals(f.Source(), settings, progress, view);
  }

  // Every record of the table as its texts, in file order.
  std::vector<Texts> Records(const std::string& table = "DEALS") {
    TQuery q;
    q.SetDatabaseName(dir.Path());
    q.SetSQL("select CLIENTID,TICKER,OPERTYPE,PRICE,QTY,DATES,SDEL,BROCID from \"" + table + "\"");
    q.Open();
    std::vector<Texts> rows;
    for (; !q.Eof(); q.Next()) {
      Texts row;
      for (int i = 0; i < 8; ++i) row.push_back(q.AsString(i));
      rows.push_back(row);
    }
    return rows;
  }

  TempDir dir;
  ExportSettings settings;
  RecordingMessages messages;
  SilentProgress progress;
  TQuery view;
};

DealsFixture FiveDeals() {
  DealsFixture f({{"1001", "GAZP", "B", "100.50", "10", "77"},
                  {"1001", "GAZP", "B", "100.70", "30", "77"},
                  {"1002", "SBER", "b", "250.1", "2", "78"},
                  {"1003", "LKOH", "S", "6500", "1", "79"},
                  {"1004", "VTBR", "S", "0.05", "7", "80"},
                  {"1005", "MGNT", "B", "5000", "1", "81"}});
  f.lists.ParseLine("@GAZP=10;SBER=10;", 1);
  return f;
}

TEST_F(ExportTest, ANewTableGetsTheLinesAndTheCountThenAnAppendAddsToIt) {
  settings.squeezeOrders = true;
  ExportResult first = Run(FiveDeals());
  EXPECT_EQ(messages.Texts(), Texts{"Создать файл " + settings.outFileName + " ?"})
      << (messages.shown.back().details.empty() ? "" : messages.shown.back().details[0]);
  ASSERT_TRUE(first.finished);
  EXPECT_EQ(first.recordCountText, "5");
  EXPECT_TRUE(view.Active());
  std::vector<Texts> rows = Records();
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0], (Texts{"1001", "GAZP", "1", "100.65", "400", "2026-12-07", "77", "BRK01"}));
  EXPECT_EQ(rows[1][2], "0") << "a lower-case b is no buy";
  EXPECT_EQ(rows[1][4], "20");
  EXPECT_EQ(rows[3][3], "0.05");

  DealsFixture three({{"2001", "X", "B", "1", "1", "1"},
                      {"2002", "X", "B", "1", "1", "2"},
                      {"2003", "X", "B", "1", "1", "3"}});
  settings.writeMode = 1;
  messages.shown.clear();
  ExportResult second = Run(three);
  EXPECT_EQ(messages.Texts(), Texts{"Выходной файл существует,режим дозаписи, продолжать?"});
  EXPECT_EQ(second.recordCountText, "8");
  EXPECT_EQ(Records().size(), 8u);
}

TEST_F(ExportTest, TheCreatedTableIsTheEmptyEightColumnFileBeforeInserts) {
  // Nothing marked inside the grid is caught before any question.
  DealsFixture none({{"1", "X", "B", "1", "1", "1", false}});
  EXPECT_FALSE(Run(none).finished);
  EXPECT_EQ(messages.Texts(), Texts{"Нет отмеченных сделок!"});
  EXPECT_FALSE(test::ReadBytes(settings.outFileName).size());

  CreateOutputTable(settings.outFileName);
  const std::string bytes = ReadBytes(settings.outFileName);
  ASSERT_EQ(bytes.size(), 289u);
  EXPECT_EQ(static_cast<unsigned char>(bytes[8]) | static_cast<unsigned char>(bytes[9]) << 8, 289);
  EXPECT_EQ(static_cast<unsigned char>(bytes[10]) | static_cast<unsigned char>(bytes[11]) << 8, 148);
}

TEST_F(ExportTest, AnswersNoLeaveEverythingAsItWas) {
  messages.answers = {kAnswerNo};
  EXPECT_FALSE(Run(FiveDeals()).finished);
  EXPECT_FALSE(std::ifstream(settings.outFileName).good()) << "no table without a yes";

  CreateOutputTable(settings.outFileName);
  const std::string before = ReadBytes(settings.outFileName);
  for (int mode : {0, 1}) {
    settings.writeMode = mode;
    messages.answers = {kAnswerNo};
    EXPECT_FALSE(Run(FiveDeals()).finished);
    EXPECT_EQ(ReadBytes(settings.outFileName), before);
  }
  settings.writeMode = -1;
  messages.shown.clear();
  EXPECT_FALSE(Run(FiveDeals()).finished);
  EXPECT_EQ(messages.Texts(), Texts{"Определите режим записи"});
}

TEST_F(ExportTest, OverwriteRefusesATableOfOtherColumns) {
  auto make = [&](std::vector<const char*> names) {
    TDBF dbf;
    for (const char* name : names) dbf.AddField(name, 'C', 10, 0);
    dbf.FileName = settings.outFileName;
    dbf.CreateTable();
    return ReadBytes(settings.outFileName);
  };
  for (auto names :
       {std::vector<const char*>{"CLIENTID", "TICKER", "OPERTYPE", "PRICE", "QTY", "DATES", "SDEL"},
        std::vector<const char*>{"TICKER", "CLIENTID", "OPERTYPE", "PRICE", "QTY", "DATES", "SDEL",
                                 "BROCID"}}) {
    const std::string before = make(names);
    messages.shown.clear();
    EXPECT_FALSE(Run(FiveDeals()).finished);
    EXPECT_EQ(messages.Texts(), (Texts{"Выходной файл существует и будет перезаписан, продолжать?",
                                       "Файл не соответствует  формату!"}));
    EXPECT_EQ(ReadBytes(settings.outFileName), before);
  }

  // Append makes no check; the missing column is reported once, before
  // anything is written.
  const std::string seven = make({"CLIENTID", "TICKER", "OPERTYPE", "PRICE", "QTY", "DATES", "SDEL"});
  settings.writeMode = 1;
  messages.shown.clear();
  ExportResult result = Run(FiveDeals());
  EXPECT_EQ(result.failedLines, 6u);
  ASSERT_EQ(messages.shown.size(), 2u);
  EXPECT_EQ(messages.shown.back().text, "Ошибка записи в выходной файл");
  EXPECT_EQ(messages.shown.back().details, Texts{"В таблице DEALS нет поля BROCID"});
  EXPECT_EQ(ReadBytes(settings.outFileName), seven);
}

TEST_F(ExportTest, OverwriteKeepsYesterdaysTableWhenADealOrTheDateIsBad) {
  ASSERT_TRUE(Run(FiveDeals()).finished);
  const std::string yesterday = ReadBytes(settings.outFileName);
  ASSERT_EQ(Records().size(), 6u);

  DealsFixture badNumber({{"1", "X", "B", "1,5,", "1", "1"}});
  messages.shown.clear();
  EXPECT_FALSE(Run(badNumber).finished);
  EXPECT_EQ(messages.Texts().back(),
            "Ошибка числового формата во входном файле. Смотрите поля количество и Цена");
  EXPECT_EQ(ReadBytes(settings.outFileName), yesterday);

  DealsFixture zeroLots({{"1", "X", "B", "10", "0", "1"}});
  messages.shown.clear();
  EXPECT_FALSE(Run(zeroLots).finished);
  EXPECT_EQ(messages.shown.back().kind, MsgKind::Error);
  EXPECT_NE(messages.Texts().back().find("строке 1"), std::string::npos);
  EXPECT_EQ(ReadBytes(settings.outFileName), yesterday);

  settings.tradeDate = "31.11.2026";
  messages.shown.clear();
  EXPECT_FALSE(Run(FiveDeals()).finished);
  EXPECT_NE(messages.Texts().back().find("31.11.2026"), std::string::npos);
  EXPECT_EQ(ReadBytes(settings.outFileName), yesterday);

  // A bad date does not create a missing table either.
  settings.outFileName = dir.File("NEW.DBF");
  EXPECT_FALSE(Run(FiveDeals()).finished);
  EXPECT_FALSE(std::ifstream(settings.outFileName).good());

  // With everything good the overwrite clears the old rows first.
  settings.outFileName = dir.File("DEALS.DBF");
  settings.tradeDate = "08.12.2026";
  DealsFixture one({{"9", "Y", "B", "2", "1", "5"}});
  ExportResult result = Run(one);
  EXPECT_EQ(result.recordCountText, "1");
  EXPECT_EQ(Records()[0][5], "2026-12-08");
}

TEST_F(ExportTest, BothSqueezesMergeOneAccountSecurityAndDirection) {
  DealsFixture f(
      {{"1", "X", "B", "10", "1", "a"}, {"1", "X", "B", "20", "1", "b"}, {"1", "X", "S", "30", "1", "c"}}, 1);
  settings.squeezeOrders = true;
  settings.squeezeClients = true;
  ASSERT_TRUE(Run(f).finished);
  std::vector<Texts> rows = Records();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (Texts{"1", "X", "1", "15", "2", "2026-12-07", "a", "BRK01"}));
  EXPECT_EQ(rows[1][6], "c");
}

// Counts reports; cancels at a given position like a pressed "Отмена".
class CountingProgress : public ExportProgress {
 public:
  void Begin(const std::string& c, const std::vector<std::string>& s) override {
    caption = c;
    steps = s;
  }
  void ShowProgress(int step, long long position, long long total) override {
    reports.push_back({step, position, total});
    if (position == cancelAt)
      throw EProgressTerminate(" Экспорт данных", ProgressCounterText(position, total), position);
  }
  void WaitDone() override { ++waits; }
  void End() noexcept override { ++ends; }

  std::string caption;
  std::vector<std::string> steps;
  std::vector<std::array<long long, 3>> reports;
  long long cancelAt = -1;
  int waits = 0, ends = 0;
};

TEST_F(ExportTest, ProgressFollowsEachLineAndACancelLeavesTheTableAsItWas) {
  CountingProgress counting;
  {
    ScopedMessageHandler scope(&messages);
    ExportMarkedDeals(FiveDeals().Source(), settings, counting, view);
  }
  EXPECT_EQ(counting.caption, "Экспорт данных в DEALS");
  EXPECT_EQ(counting.steps, Texts{" Экспорт данных"});
  ASSERT_EQ(counting.reports.size(), 6u);
  EXPECT_EQ(counting.reports[2], (std::array<long long, 3>{0, 3, 6}));
  EXPECT_EQ(counting.waits, 1);
  EXPECT_EQ(counting.ends, 1);

  const std::string before = ReadBytes(settings.outFileName);
  for (int mode : {0, 1}) {
    settings.writeMode = mode;
    CountingProgress cancelling;
    cancelling.cancelAt = 2;
    ScopedMessageHandler scope(&messages);
    const ExportResult result = ExportMarkedDeals(FiveDeals().Source(), settings, cancelling, view);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.tableState, "Таблица DEALS не изменена, записей в ней: 6");
    EXPECT_EQ(cancelling.ends, 1);
    EXPECT_EQ(cancelling.waits, 0);
    EXPECT_FALSE(view.Active());
    EXPECT_EQ(ReadBytes(settings.outFileName), before);
  }
}

TEST_F(ExportTest, AQuotedPathWithBlanksAndBackslashesIsOneTable) {
  std::filesystem::create_directory(dir.File("a b"));
  settings.outFileName = "\"" + dir.File("a b") + "\\OUT.DBF\"";
  ExportResult result = Run(FiveDeals());
  EXPECT_EQ(messages.Texts()[0], "Создать файл " + dir.File("a b") + "\\OUT.DBF ?");
  EXPECT_EQ(result.recordCountText, "6");
  EXPECT_GE(ReadBytes(dir.File("a b/OUT.DBF")).size(), 289u + 6 * 148);
}

TEST_F(ExportTest, AFailingLineAmongThousandsCostsOnlyItself) {
  // Lines are written in groups; a line the engine refuses (a price too
  // wide for N 20.5) must not take the lines around it along.
  std::vector<Deal> deals;
  for (int i = 0; i < 9000; ++i) {
    deals.push_back({std::to_string(1000 + i), "X", "B", i == 4500 ? "1e20" : "10", "1", std::to_string(i)});
  }
  DealsFixture f(deals, 1);
  ExportResult result = Run(f);
  EXPECT_EQ(result.failedLines, 1u);
  EXPECT_EQ(result.recordCountText, "8999");
  size_t reports = 0;
  for (const auto& shown : messages.shown) reports += shown.text == "Ошибка записи в выходной файл";
  EXPECT_EQ(reports, 1u);
  std::vector<Texts> rows = Records();
  ASSERT_EQ(rows.size(), 8999u);
  EXPECT_EQ(rows[4499][0], "5499");
  EXPECT_EQ(rows[4500][0], "5501");
  EXPECT_EQ(rows.back()[0], "9999");
}

// A table that cannot be created or written at all: the cause once, and
// nothing else; no "Готово" over a full bar.
TEST_F(ExportTest, AFailureOfTheWholeTableIsShownOnceWithItsCause) {
  struct Case {
    const char* what;
    std::string out;
    int mode;
    std::string bytes;  // the file there before, none when empty
    const char* cause;  // a text in the details, "" for any
  };
  const std::vector<Case> cases = {
      {"missing folder", dir.File("none/DEALS.DBF"), 0, "", "Файл или папка не найдены"},
      {"not a dBASE table", dir.File("TEXT.DBF"), 1, std::string(600, 'x'), ""},
      {"table of no fields", dir.File("BARE.DBF"), 1, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    settings.outFileName = c.out;
    settings.writeMode = c.mode;
    if (!c.bytes.empty()) test::WriteBytes(c.out, c.bytes);
    if (std::string(c.what) == "table of no fields") {
      TDBF bare;
      bare.FileName = c.out;
      ASSERT_TRUE(bare.CreateTable());
    }
    const std::string before = ReadBytes(c.out);
    messages.shown.clear();
    CountingProgress counting;
    ExportResult result;
    {
      ScopedMessageHandler scope(&messages);
      result = ExportMarkedDeals(FiveDeals().Source(), settings, counting, view);
    }
    EXPECT_FALSE(result.Succeeded());
    EXPECT_EQ(result.failedLines, 6u);
    EXPECT_EQ(counting.waits, 0);
    EXPECT_TRUE(counting.reports.empty());
    size_t failures = 0;
    bool cause = false;
    for (const auto& s : messages.shown) {
      if (s.text != "Ошибка записи в выходной файл") continue;
      ++failures;
      for (const std::string& d : s.details) cause = cause || d.find(c.cause) != std::string::npos;
      EXPECT_FALSE(s.details.empty());
    }
    EXPECT_EQ(failures, 1u);
    EXPECT_TRUE(cause);
    EXPECT_EQ(messages.shown.back().text, "Ошибка записи в выходной файл");
    EXPECT_EQ(ReadBytes(c.out), before);
  }
}

// Values one line alone cannot store: a handful of dialogs, every line in
// the journal, one closing count; the other lines are written.
TEST_F(ExportTest, FailuresOfSingleLinesShowAFewDialogsAndJournalEveryOne) {
  std::vector<Deal> deals;
  for (int i = 0; i < 12; ++i) {
    const std::string account = i % 3 == 0 ? std::to_string(i) : std::string(20, 'A') + std::to_string(i);
    deals.push_back({account, "X", "B", "10", "1", std::to_string(i)});
  }
  CountingProgress counting;
  ExportResult result;
  {
    ScopedMessageHandler scope(&messages);
    result = ExportMarkedDeals(DealsFixture(deals, 1).Source(), settings, counting, view);
  }
  EXPECT_TRUE(result.finished);
  EXPECT_FALSE(result.Succeeded());
  EXPECT_EQ(result.failedLines, 8u);
  EXPECT_EQ(Records().size(), 4u);
  EXPECT_EQ(counting.waits, 0);
  size_t dialogs = 0;
  for (const auto& s : messages.shown) dialogs += s.text == "Ошибка записи в выходной файл";
  EXPECT_EQ(dialogs, 5u);
  ASSERT_EQ(messages.journal.size(), 8u);
  EXPECT_EQ(messages.journal[0].rfind("Строка 2: ", 0), 0u) << messages.journal[0];
  EXPECT_NE(messages.journal[7].find("A11"), std::string::npos) << messages.journal[7];
  // The count closes; the control totals account for the refused lines.
  EXPECT_EQ(messages.shown.back().text, "Не записано строк: 8 из 12. Ошибки строк записаны в журнал.");
  ASSERT_TRUE(result.control);
  EXPECT_TRUE(result.control->Agrees());
  EXPECT_EQ(result.control->total.rowsRefused, 8);
}

}  // namespace
}  // namespace drs
