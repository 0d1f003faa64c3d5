// Deal reports that are damaged, oddly encoded or not files at all: each
// loads as far as it makes sense or is refused with a message; nothing
// crashes, hangs or leaves the grid half-changed.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include "RecordingMessages.h"

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "TempDir.h"
#include "deals/DealList.h"
#include "support/Messages.h"
#include "utils/Cp1251.h"

namespace drs {
namespace {

using test::Recorder;

// 1 deal number, 2 order number, 3 account, 4 security, 5 buy/sell, 6 price, 7 lots.
const char kFormat[] =
    "[IntValues]\r\nFieldSep=0\r\nDecSep=1\r\nFormat=0\r\nLot=100\r\n[ExtFormat]\r\nCount=7\r\n"
    "Item0=Сделка;1;Да;1;70;;6;;\r\nItem1=Заявка;2;Да;2;70;;5;;\r\nItem2=Счет;3;Да;3;80;;0;;\r\n"
    "Item3=ЦБ;4;Да;4;90;;1;;\r\nItem4=Оп;5;Да;5;40;;4;;\r\nItem5=Цена;6;Да;6;70;;3;;\r\n"
    "Item6=Лоты;7;Да;7;60;;2;;\r\n";

class BadReportTest : public ::testing::Test {
 protected:
  BadReportTest() : scope_(&rec) {
    test::WriteBytes(dir.File("f.ini"), Utf8ToCp1251(kFormat));
    report = dir.File("r.txt");
    deals.LoadFormat(dir.File("f.ini"));
  }
  void SetUp() override { ASSERT_TRUE(deals.Format().formatValid); }

  // Reads a good three-deal report first, so a refused file can be seen to
  // leave it alone.
  void LoadGoodReport() {
    test::WriteBytes(report, "1;10;150;SBER;B;1.5;2\r\n2;11;160;GAZP;S;2.5;3\r\n3;12;170;LKOH;B;3.5;4\r\n");
    ASSERT_TRUE(deals.OpenReport(report, "100", "200"));
    ASSERT_EQ(deals.Grid().RowCount(), 4);
    rec.texts.clear();
  }
  std::string Cell(int col, int row) const { return std::string(deals.Grid().Cell(col, row)); }
  int Deals() const { return deals.Grid().RowCount() - 1; }

  test::TempDir dir;
  Recorder rec{kAnswerNo};
  DealList deals;
  std::string report;

 private:
  ScopedMessageHandler scope_;
};

TEST_F(BadReportTest, LineEndsOfEveryKindGiveTheSameDeals) {
  const std::vector<std::string> ends = {"\r\n", "\n", "\r"};
  for (const std::string& end : ends) {
    for (bool finalEnd : {true, false}) {
      std::string text =
          "1;10;150;SBER;B;1.5;2" + end + "2;11;00160;GAZP;S;2.5;3" + end + end + "3;12;170;LKOH;B;3.5;4";
      if (finalEnd) text += end;
      test::WriteBytes(report, text);
      ASSERT_TRUE(deals.OpenReport(report, "100", "200"));
      SCOPED_TRACE(testing::Message() << "end " << int(end.back()) << " final " << finalEnd);
      ASSERT_EQ(Deals(), 3);
      EXPECT_EQ(Cell(0, 3), "3");
      EXPECT_EQ(Cell(6, 3), "4");  // the last field of a line without an end is whole
      EXPECT_EQ(Cell(2, 2), "160");
      EXPECT_EQ(deals.Marks().Count(), 3u);
      EXPECT_TRUE(rec.texts.empty());
    }
  }
}

TEST_F(BadReportTest, MegabyteLineLoadsWhole) {
  const std::string big(1 << 20, 'x');
  test::WriteBytes(report, "1;10;150;SBER;B;1.5;2\r\n2;" + big + ";160;GAZP;S;2.5;3\r\n" + big + "\r\n");
  ASSERT_TRUE(deals.OpenReport(report, "100", "200"));
  ASSERT_EQ(Deals(), 3);
  EXPECT_EQ(deals.Grid().Cell(1, 2).size(), big.size());
  EXPECT_EQ(Cell(2, 2), "160");
  EXPECT_EQ(Cell(6, 2), "3");
  // A line of one long field: its account is missing and shows as "?".
  EXPECT_EQ(deals.Grid().Cell(0, 3).size(), big.size());
  EXPECT_EQ(Cell(2, 3), "?");
  EXPECT_EQ(deals.Marks().Count(), 2u);
}

TEST_F(BadReportTest, NulBytesStayInsideTheirFields) {
  using namespace std::string_literals;
  test::WriteBytes(report,
                   "1;1\0"
                   "0;150;SB\0ER;B;1.5;2\r\n\0\r\n2;11;160;GAZP;S;2.5;3\r\n"s);
  ASSERT_TRUE(deals.OpenReport(report, "100", "200"));
  // A line of a lone NUL is not blank: it is a deal without an account.
  ASSERT_EQ(Deals(), 3);
  EXPECT_EQ(Cell(1, 1), std::string("1\0"
                                    "0",
                                    3));
  EXPECT_EQ(Cell(3, 1), std::string("SB\0ER", 5));
  EXPECT_EQ(Cell(2, 1), "150");
  EXPECT_EQ(Cell(2, 2), "?");
  EXPECT_EQ(Cell(2, 3), "160");
  EXPECT_EQ(Cell(6, 3), "3");
}

TEST_F(BadReportTest, BytesOutsideTheCodePageDoNotShiftFields) {
  // 0x98 has no letter in 1251; 0xFF is "я"; a lone 0xC0 is "А".
  test::WriteBytes(report, std::string("1;10;150;\x98\xFF\xC0;B;1.5;2\r\n2;\x98;160;GAZP;S;2.5;3\r\n"));
  ASSERT_TRUE(deals.OpenReport(report, "100", "200"));
  ASSERT_EQ(Deals(), 2);
  EXPECT_EQ(Utf8ToCp1251(Cell(3, 1)), "\x98\xFF\xC0");
  EXPECT_EQ(Cell(4, 1), "B");
  EXPECT_EQ(Cell(2, 2), "160");
  EXPECT_EQ(deals.Marks().Count(), 2u);
}

TEST_F(BadReportTest, Utf8ByteOrderMarkDoesNotSpoilTheFirstDeal) {
  test::WriteBytes(report,
                   "\xEF\xBB\xBF"
                   "150;10;150;SBER;B;1.5;2\r\n2;11;160;GAZP;S;2.5;3\r\n");
  ASSERT_TRUE(deals.OpenReport(report, "100", "200"));
  ASSERT_EQ(Deals(), 2);
  EXPECT_EQ(Cell(0, 1), "150");
  // With the account first, the mark would have kept it from being marked.
  test::WriteBytes(dir.File("f2.ini"),
                   Utf8ToCp1251("[IntValues]\r\nFieldSep=0\r\n[ExtFormat]\r\nCount=7\r\n"
                                "Item0=Счет;1;Да;1;80;;0;;\r\nItem1=Заявка;2;Да;2;70;;5;;\r\n"
                                "Item2=ЦБ;3;Да;3;90;;1;;\r\nItem3=Оп;4;Да;4;40;;4;;\r\n"
                                "Item4=Цена;5;Да;5;70;;3;;\r\nItem5=Лоты;6;Да;6;60;;2;;\r\n"
                                "Item6=Сделка;7;Да;7;60;;6;;\r\n"));
  deals.LoadFormat(dir.File("f2.ini"));
  ASSERT_TRUE(deals.Format().formatValid);
  test::WriteBytes(report,
                   "\xEF\xBB\xBF"
                   "150;10;SBER;B;1.5;2;1\r\n");
  ASSERT_TRUE(deals.OpenReport(report, "100", "200"));
  ASSERT_EQ(Deals(), 1);
  EXPECT_EQ(Cell(0, 1), "150");
  EXPECT_TRUE(deals.IsMarked(1));
}

TEST_F(BadReportTest, DirectoryIsNotAReport) {
  LoadGoodReport();
  ASSERT_TRUE(deals.OpenReport(dir.Path(), "100", "200"));
  ASSERT_EQ(rec.texts.size(), 1u);
  EXPECT_EQ(rec.texts[0], "Файл " + dir.Path() + "  не найден.");
  EXPECT_FALSE(deals.LastReportRead());
  EXPECT_EQ(Deals(), 3);  // the grid keeps what it showed
}

TEST_F(BadReportTest, UnreadableFileIsReportedAndTheGridKept) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads files whatever their mode";
  LoadGoodReport();
  const std::string closed = dir.File("closed.txt");
  test::WriteBytes(closed, "1;10;150;SBER;B;1.5;2\r\n");
  ASSERT_EQ(::chmod(closed.c_str(), 0), 0);
  ASSERT_TRUE(deals.OpenReport(closed, "100", "200"));
  ASSERT_EQ(rec.texts.size(), 1u);
  EXPECT_EQ(rec.texts[0], "Ошибка чтения файла " + closed + ": Нет доступа");
  EXPECT_EQ(rec.kinds[0], MsgKind::Error);
  EXPECT_FALSE(deals.LastReportRead());
  EXPECT_EQ(Deals(), 3);
}

// A named pipe nobody writes to would block an ordinary open for ever; a
// device such as /dev/zero never ends. Both must be refused at once.
TEST_F(BadReportTest, PipesAndDevicesAreRefusedWithoutWaiting) {
  LoadGoodReport();
  const std::string fifo = dir.File("pipe.txt");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  for (const std::string& path : {fifo, std::string("/dev/zero")}) {
    SCOPED_TRACE(path);
    rec.texts.clear();
    auto done = std::async(std::launch::async, [&] { return deals.OpenReport(path, "100", "200"); });
    if (done.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      // Let the stuck reader go: a writer that closes at once ends its read.
      int w = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
      if (w >= 0) ::close(w);
      done.wait();
      FAIL() << "reading " << path << " did not return";
    }
    EXPECT_TRUE(done.get());
    ASSERT_EQ(rec.texts.size(), 1u);
    EXPECT_EQ(rec.texts[0], "Ошибка чтения файла " + path + ": Это не обычный файл");
    EXPECT_FALSE(deals.LastReportRead());
    EXPECT_EQ(Deals(), 3);
  }
}

TEST_F(BadReportTest, FormatFileThatIsAPipeReadsAsEmpty) {
  const std::string fifo = dir.File("format.pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  auto done = std::async(std::launch::async, [&] { deals.LoadFormat(fifo); });
  if (done.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    int w = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (w >= 0) ::close(w);
    done.wait();
    FAIL() << "the format load waited on a pipe";
  }
  EXPECT_FALSE(deals.Format().formatValid);
  ASSERT_EQ(rec.texts.size(), 1u);
  EXPECT_EQ(rec.texts[0], "Ошибка формата. Отсутствует  номер позиции \"счет клиента\" во входном файле");
}

TEST_F(BadReportTest, UnmarkedViewOfAVanishedOrUnreadableReport) {
  LoadGoodReport();
  ASSERT_EQ(deals.Marks().Count(), 3u);
  deals.ToggleMark(2);
  const std::string fifo = dir.File("pipe.txt");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  auto done = std::async(std::launch::async, [&] { deals.ShowUnmarked(fifo, "100", "200"); });
  if (done.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    int w = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (w >= 0) ::close(w);
    done.wait();
    FAIL() << "the unmarked view waited on a pipe";
  }
  ASSERT_EQ(rec.texts.size(), 1u);
  EXPECT_EQ(rec.texts[0], "Ошибка чтения файла " + fifo + ": Это не обычный файл");
  EXPECT_EQ(deals.DealStatus()[1], "Не отмеченныее сделки");
}

}  // namespace
}  // namespace drs
