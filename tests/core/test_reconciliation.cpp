#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "DbfBytes.h"
#include "ExportFixture.h"
#include "TempDir.h"
#include "engine/DbfFormat.h"
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
      {"a price up by its last decimal",
       2,
       73,
       "           250.10001",
       {"СБЕР S: штук 30, записано 30; сумма 7504.00, записано 7504.00; сумма цен 500.3, записано "
        "500.30001"}},
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

// The control on its own: the lines of a build, some written as records a
// table of the output columns holds, some refused before writing.
TEST(ExportControlTest, MarkedDealsAreTheLinesWrittenAndRefused) {
  const std::vector<test::FieldSpec> fields = {
      {"CLIENTID", 'C', 16, 0}, {"TICKER", 'C', 50, 0}, {"OPERTYPE", 'N', 6, 0}, {"PRICE", 'N', 20, 5},
      {"QTY", 'N', 20, 5},      {"DATES", 'D', 8, 0},   {"SDEL", 'C', 11, 0},    {"BROCID", 'C', 16, 0}};
  std::vector<DbfField> dbfFields;
  for (const test::FieldSpec& f : fields)
    dbfFields.push_back({f.name, f.type, 0, uint8_t(f.length), uint8_t(f.decimals)});
  DbfLayout(dbfFields);
  // Lot 1 and a quarter lot: the line holds 0.3 pieces; 1/3 lot: 0.3 too.
  DealsFixture f({{"1001", "GAZP", "B", "100.50", "10", "77"},
                  {"1001", "X", "B", "7.125", "0.25", "78"},
                  {"1001", "X", "B", "7", "0.333", "79"},
                  {"1002", "СБЕР", "S", "250.10", "2", "80"}});
  f.lists.ParseLine("@X=1;", 1);
  struct Case {
    const char* what;
    std::vector<int> written, refused;  // lines by number
    bool agrees;
    Texts journal;  // the journal's lines of X B and of the total
  } cases[] = {
      {"all written",
       {0, 1, 2, 3},
       {},
       true,
       {"X B: сделок 2, лотов 0.583, штук 0.6, сумма 4.24; записано строк 2, штук 0.6, сумма 4.24",
        "ИТОГО: сделок 4, лотов 12.583, штук 1200.6, сумма 150524.24; записано строк 4, штук 1200.6, сумма "
        "150524.24"}},
      {"one refused",
       {0, 2, 3},
       {1},
       true,
       {"X B: сделок 2, лотов 0.583, штук 0.6, сумма 4.24; записано строк 1, штук 0.3, сумма 2.10; отклонено "
        "строк 1, штук 0.3, сумма 2.14",
        "ИТОГО: сделок 4, лотов 12.583, штук 1200.6, сумма 150524.24; записано строк 3, штук 1200.3, сумма "
        "150522.10; отклонено строк 1, штук 0.3, сумма 2.14"}},
      {"one neither written nor refused", {0, 2, 3}, {}, false, {}},
      {"one written and refused", {0, 1, 2, 3}, {1}, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ExportLines lines(f.Source());
    ExportControl control(f.Source(), false);
    ASSERT_FALSE(lines.Build(false, &control));
    std::string records;
    for (int i : c.written) {
      const ExportLine& line = lines.Lines()[size_t(i)];
      records += test::RecordBytes(
          fields, {std::string(lines.Account(line)), std::string(lines.Ticker(line)),
                   std::to_string(OperTypeOf(lines.OperCode(line))), FormatFixed(line.price, 3),
                   FormatFixed(line.quantity, 1), "20261207", std::string(lines.Number(line)), "BRK01"});
    }
    for (int i : c.refused) control.Refused(lines, lines.Lines()[size_t(i)]);
    RecordingMessages messages;
    ScopedMessageHandler scope(&messages);
    const Reconciliation result = control.Finish(
        dbfFields, [&](const auto& visit) { visit(records.data(), uint32_t(c.written.size())); });
    EXPECT_TRUE(result.checked);
    EXPECT_EQ(result.Agrees(), c.agrees);
    ExportControl::ShowDifferences(result);
    EXPECT_EQ(messages.shown.size(), c.agrees ? 0u : 1u);
    if (c.journal.empty()) continue;
    const Texts journal = result.JournalLines("DEALS");
    EXPECT_EQ(journal[3], c.journal[0]);
    EXPECT_EQ(journal[6], c.journal[1]);
  }
}

}  // namespace
}  // namespace drs
