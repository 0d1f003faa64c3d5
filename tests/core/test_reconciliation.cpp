#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "ExportFixture.h"
#include "TempDir.h"
#include "engine/Query.h"
#include "engine/TableWriter.h"
#include "export/Export.h"
#include "export/ExportProgress.h"

namespace drs {
namespace {

using test::Deal;
using test::DealsFixture;
using test::RecordingMessages;
using test::TempDir;
using Texts = std::vector<std::string>;

// Lots of GAZP and СБЕР from the list (10), LKOH by the default lot (100).
// Deals 1, 2 are one order; 4 joins them under the client squeeze; a "b" is
// no buy and so no client-squeeze partner of an "S".
DealsFixture SixDeals() {
  DealsFixture f({{"1001", "GAZP", "B", "100.50", "10", "77"},
                  {"1001", "GAZP", "B", "100.70", "30", "77"},
                  {"1002", "СБЕР", "S", "250.10", "2", "78"},
                  {"1001", "GAZP", "B", "101", "5", "79"},
                  {"1003", "LKOH", "S", "6500", "1", "80"},
                  {"1004", "LKOH", "S", "1", "1", "80", false},
                  {"1002", "СБЕР", "b", "250.20", "1", "81"}});
  f.lists.ParseLine("@GAZP=10;сбер=10;", 1);
  return f;
}

// Runs something between the last insert and the reading back.
class HookProgress : public SilentProgress {
 public:
  void WaitDone() override {
    if (hook) hook();
  }
  std::function<void()> hook;
};

class ReconciliationTest : public ::testing::Test {
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

  void Exec(const std::string& sql) {
    TQuery q;
    q.SetDatabaseName(dir.Path());
    q.SetSQL(sql);
    q.ExecSQL();
  }

  TempDir dir;
  ExportSettings settings;
  RecordingMessages messages;
  HookProgress progress;
  TQuery view;
};

TEST_F(ReconciliationTest, EveryWriteModeAndSqueezeAgreesOnTheRowsItWrote) {
  // The deals' own totals; the money written differs where the squeezed
  // price is rounded to three decimals (100.68888... -> 100.689).
  const std::string deals[] = {"GAZP\tB\t3\t450\t45310.00\t", "СБЕР\tS\t2\t30\t7504.00\t",
                               "LKOH\tS\t1\t100\t650000.00\t", "ИТОГО\t\t\t6\t580\t702814.00\t"};
  struct Case {
    bool orders, clients;
    int mode;  // 0 overwrite, 1 append onto a table of other rows
    Texts written;
  } cases[] = {
      {false, false, 0, {"3\t450\t45310.00", "2\t30\t7504.00", "1\t100\t650000.00", "6\t580\t702814.00"}},
      {true, false, 0, {"2\t450\t45310.00", "2\t30\t7504.00", "1\t100\t650000.00", "5\t580\t702814.00"}},
      {false, true, 0, {"1\t450\t45310.05", "2\t30\t7504.00", "1\t100\t650000.00", "4\t580\t702814.05"}},
      {true, true, 0, {"1\t450\t45310.05", "2\t30\t7504.00", "1\t100\t650000.00", "4\t580\t702814.05"}},
      {true, false, 1, {"2\t450\t45310.00", "2\t30\t7504.00", "1\t100\t650000.00", "5\t580\t702814.00"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "orders " << c.orders << " clients " << c.clients << " mode "
                                    << c.mode);
    std::remove(settings.outFileName.c_str());
    if (c.mode == 1) {
      // Rows of the same securities already in the table are not this export's.
      settings.writeMode = 0;
      ASSERT_TRUE(Run(DealsFixture({{"9", "GAZP", "B", "7", "1", "1"}, {"9", "LKOH", "S", "7", "3", "2"}}))
                      .control->Agrees());
      Exec("delete from DEALS where rowid = 1");  // a removed record keeps its number
    }
    settings.writeMode = c.mode;
    settings.squeezeOrders = c.orders;
    settings.squeezeClients = c.clients;
    messages.shown.clear();
    const ExportResult result = Run(SixDeals());
    ASSERT_TRUE(result.control);
    EXPECT_TRUE(result.control->checked);
    EXPECT_TRUE(result.control->Agrees());
    Texts expected;
    for (size_t i = 0; i < 4; ++i) expected.push_back(deals[i] + c.written[i]);
    EXPECT_EQ(result.control->ControlText(), expected);
    EXPECT_EQ(messages.shown.size(), 1u) << "only the question about the table";
    const Texts journal = result.control->JournalLines("DEALS");
    EXPECT_EQ(journal.front(), "Контрольные суммы экспорта в DEALS");
    EXPECT_EQ(journal[1], std::string(27, '-'));
    EXPECT_EQ(journal[2].rfind("GAZP B: сделок 3, лотов 45, штук 450, сумма 45310.00; записано строк ", 0),
              0u);
    EXPECT_EQ(journal.back(), "Контрольные суммы сходятся");
  }
}

// Bytes of the records changed on disk after they were written and before
// they are read back: the control sees it, and the table stays as it was.
TEST_F(ReconciliationTest, ARecordChangedBeforeItIsReadBackIsAMismatch) {
  struct Case {
    const char* what;
    uint32_t record;  // from 0
    size_t at;        // in the record, flag included
    std::string bytes;
    Texts details;
  } cases[] = {
      {"a price one kopeck up",
       2,
       73,
       "           250.11000",
       {"СБЕР S: штук 30, записано 30; сумма 7504.00, записано 7504.20"}},
      {"a direction turned",
       5,
       67,
       "     1",
       {"СБЕР S: штук 30, записано 20; сумма 7504.00, записано 5002.00",
        "СБЕР B: штук 0, записано 10; сумма 0.00, записано 2502.00"}},
      {"a row marked deleted", 4, 0, "*", {"LKOH S: штук 100, записано 0; сумма 650000.00, записано 0.00"}},
  };
  ASSERT_TRUE(Run(SixDeals()).Succeeded());
  const std::string before = test::ReadBytes(settings.outFileName);
  for (int mode : {0, 1}) {
    settings.writeMode = mode;
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (mode ? ", append" : ", overwrite"));
      TableWriter::SetReadBackHook([&](const std::string& file, uint64_t first, uint32_t, uint16_t length) {
        test::PatchBytes(file, first + uint64_t(c.record) * length + c.at, c.bytes);
      });
      messages.shown.clear();
      const ExportResult result = Run(SixDeals());
      TableWriter::SetReadBackHook(nullptr);
      ASSERT_TRUE(result.control);
      EXPECT_FALSE(result.control->Agrees());
      EXPECT_FALSE(result.finished);
      ASSERT_EQ(messages.shown.size(), 2u);
      EXPECT_EQ(messages.shown[1].kind, MsgKind::Error);
      EXPECT_EQ(messages.shown[1].text, "Контрольные суммы не сходятся");
      EXPECT_EQ(messages.shown[1].details, c.details);
      EXPECT_EQ(result.control->JournalLines("DEALS").back(), "Контрольные суммы не сходятся");
      EXPECT_EQ(test::ReadBytes(settings.outFileName), before);
    }
  }

  // A table removed before its rows are committed takes none of them, and
  // no new file appears in its place.
  settings.writeMode = 1;
  TableWriter::SetReadBackHook(
      [&](const std::string&, uint64_t, uint32_t, uint16_t) { std::remove(settings.outFileName.c_str()); });
  messages.shown.clear();
  const ExportResult gone = Run(SixDeals());
  TableWriter::SetReadBackHook(nullptr);
  EXPECT_FALSE(gone.finished);
  EXPECT_EQ(messages.shown.back().text, "Ошибка записи в выходной файл");
  EXPECT_TRUE(test::ReadBytes(settings.outFileName).empty());
}

}  // namespace
}  // namespace drs
