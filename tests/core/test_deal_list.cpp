#include <gtest/gtest.h>

#include "RecordingMessages.h"

#include <filesystem>

#include "TempDir.h"
#include "deals/DealList.h"
#include "support/Messages.h"
#include "utils/Cp1251.h"

namespace drs {
namespace {

using test::Recorder;

// Format: 1 deal number, 2 order number, 3 account, 4 security, 5 buy/sell,
// 6 price, 7 lots; all shown in that order.
const char kFormat[] =
    "[IntValues]\r\nFieldSep=0\r\nDecSep=1\r\nFormat=0\r\nLot=100\r\n[ExtFormat]\r\nCount=8\r\n"
    "Item0=Сделка;1;Да;1;70;;6;;\r\nItem1=Заявка;2;Да;2;70;;5;;\r\nItem2=Счет;3;Да;3;80;;0;;\r\n"
    "Item3=ЦБ;4;Да;4;90;;1;;\r\nItem4=Оп;5;Да;5;40;;4;;\r\nItem5=Цена;6;Да;6;70;;3;;\r\n"
    "Item6=Лоты;7;Да;7;60;;2;;\r\nItem7=Время;8;Да;8;60;;;;\r\n";

class DealListTest : public ::testing::Test {
 protected:
  DealListTest() : scope_(&rec) {
    test::WriteBytes(dir.File("f.ini"), Utf8ToCp1251(kFormat));
    report = dir.File("r.txt");
  }
  void Report(const std::string& text) { test::WriteBytes(report, Utf8ToCp1251(text)); }
  void Load() {
    deals.LoadFormat(dir.File("f.ini"));
    ASSERT_TRUE(deals.Format().formatValid);
  }
  std::vector<int> Marked() const { return deals.Marks().Rows(); }
  std::string Acc(int row) const { return std::string(deals.Grid().Cell(2, row)); }

  test::TempDir dir;
  Recorder rec;
  DealList deals;
  std::string report;

 private:
  ScopedMessageHandler scope_;
};

const char kFive[] =
    "1;10;100;SBER;B;1.5;2;t\r\n"
    "2;11;150/;SBER;B;1.5;2;t\r\n"
    "3;12;00200;GAZP;S;1.5;2;t\r\n"
    "4;13;99;GAZP;S;1.5;2;t\r\n"
    "5;14;201;GAZP;S;1.5;2;t\r\n";

TEST_F(DealListTest, FormatStatusAndFormatCheckOfTheOpenButton) {
  EXPECT_FALSE(deals.OpenReport(report, "100", "200"));
  ASSERT_EQ(rec.texts.size(), 1u);
  EXPECT_EQ(rec.texts[0], "Не определен или содержит ошибки формат отображания");
  EXPECT_FALSE(deals.DealsShown());
  EXPECT_FALSE(deals.ExportAllowed());
  Load();
  EXPECT_EQ(deals.FormatStatus()[0], "Файл настройки параметров: " + dir.File("f.ini"));
  EXPECT_EQ(deals.FormatStatus()[2], "Десятичн. разделит.: <.>");
  EXPECT_EQ(deals.Grid().ColWidth(7), 60);
}

TEST_F(DealListTest, OpenMarksTheRangeAndCounts) {
  Load();
  Report(kFive);
  ASSERT_TRUE(deals.OpenReport(report, "100", "200"));
  EXPECT_TRUE(rec.texts.empty());
  EXPECT_EQ(Marked(), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(Acc(3), "200");
  EXPECT_EQ(deals.UnmarkedAccounts(), (std::vector<std::string>{"201"}));
  EXPECT_EQ(deals.DealStatus()[0], "Всего 5 сделок");
  EXPECT_EQ(deals.DealStatus()[1], "Отмеченных  сделок: 3");
  EXPECT_TRUE(deals.DealsShown());
  EXPECT_TRUE(deals.ExportAllowed());
  EXPECT_EQ(deals.Mode(), ViewMode::All);
  auto lines = deals.UnmarkedJournalLines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2], "201");
}

TEST_F(DealListTest, QuotedNameAndMissingFile) {
  Load();
  Report(kFive);
  ASSERT_TRUE(deals.OpenReport("\"" + report + "\"", "100", "200"));
  EXPECT_EQ(deals.Grid().RowCount(), 6);
  ASSERT_TRUE(deals.OpenReport(dir.File("none.txt"), "100", "200"));
  ASSERT_EQ(rec.texts.size(), 1u);
  EXPECT_EQ(rec.texts[0], "Файл " + dir.File("none.txt") + "  не найден.");
  EXPECT_EQ(rec.kinds[0], MsgKind::Information);
  // The grid and marks stay; the unmarked accounts were cleared.
  EXPECT_EQ(deals.Grid().RowCount(), 6);
  EXPECT_EQ(deals.DealStatus()[1], "Отмеченных  сделок: 3");
  EXPECT_TRUE(deals.UnmarkedAccounts().empty());
  EXPECT_TRUE(deals.ExportAllowed());
  EXPECT_FALSE(deals.LastReportRead());
}

TEST_F(DealListTest, ReportWithoutDealsClearsTheMarks) {
  Load();
  Report(kFive);
  deals.OpenReport(report, "100", "200");
  Report("\r\n   \r\n");
  ASSERT_TRUE(deals.OpenReport(report, "100", "200"));
  EXPECT_EQ(deals.Grid().RowCount(), 1);
  EXPECT_EQ(deals.DealStatus()[0], "Всего 0 сделок");
  EXPECT_EQ(deals.DealStatus()[1], "Отмеченных  сделок: 0");
  EXPECT_TRUE(deals.ExportAllowed());
}

TEST_F(DealListTest, UnreadableReportLosesNothing) {
  Load();
  Report(kFive);
  deals.OpenReport(report, "100", "200");
  std::string folder = dir.File("sub");
  std::filesystem::create_directory(folder);
  deals.OpenReport(folder, "100", "200");
  ASSERT_EQ(rec.texts.size(), 1u);
  EXPECT_EQ(deals.Grid().RowCount(), 6);
  EXPECT_EQ(deals.Marks().Count(), 3);
}

TEST_F(DealListTest, EmptyAccountFieldShowsQuestionMark) {
  Load();
  Report("1;2;;4;B;1;1;t\r\n");
  deals.OpenReport(report, "", "");
  EXPECT_EQ(Acc(1), "?");
  EXPECT_EQ(deals.Grid().Cell(3, 1), "4");
  EXPECT_TRUE(deals.Marks().Empty());
}

TEST_F(DealListTest, ToggleMarkAndItsAccountList) {
  Load();
  Report(kFive);
  deals.OpenReport(report, "100", "200");
  deals.ToggleMark(2);
  EXPECT_FALSE(deals.IsMarked(2));
  EXPECT_EQ(deals.UnmarkedAccounts(), (std::vector<std::string>{"201", "150/"}));
  EXPECT_EQ(deals.DealStatus()[1], "Отмеченных  сделок: 2");
  deals.ToggleMark(2);
  EXPECT_TRUE(deals.IsMarked(2));
  EXPECT_EQ(deals.UnmarkedAccounts(), (std::vector<std::string>{"201"}));
  EXPECT_EQ(deals.DealStatus()[1], "Отмеченных  сделок: 3");
  deals.ToggleMark(5);  // marks 201 by hand
  EXPECT_TRUE(deals.UnmarkedAccounts().empty());
  deals.ToggleMark(0);
  deals.ToggleMark(99);
  EXPECT_EQ(deals.Marks().Count(), 4);
}

TEST_F(DealListTest, UnmarkedViewShowsTheOtherLinesAndMarksThemAfresh) {
  Load();
  Report(std::string(kFive) + "\r\n6;15;120;SBER;B;1;1;t\r\n");
  deals.OpenReport(report, "100", "200");
  deals.ToggleMark(6);  // 120 unmarked by hand
  ASSERT_EQ(Marked(), (std::vector<int>{1, 2, 3}));
  deals.ShowUnmarked(report, "100", "200");
  EXPECT_EQ(deals.Mode(), ViewMode::Unmarked);
  EXPECT_FALSE(deals.ExportAllowed());
  ASSERT_EQ(deals.Grid().RowCount(), 4);
  EXPECT_EQ(Acc(1), "99");
  EXPECT_EQ(Acc(2), "201");
  EXPECT_EQ(Acc(3), "120");
  EXPECT_EQ(Marked(), (std::vector<int>{3}));  // back in range, marked again
  EXPECT_EQ(deals.Grid().ColWidth(7), 95);
  EXPECT_EQ(deals.DealStatus()[0], "Всего 3 сделок");
  EXPECT_EQ(deals.DealStatus()[1], "Не отмеченныее сделки");
  EXPECT_EQ(deals.UnmarkedAccounts(), (std::vector<std::string>{"201", "120"}));
  // No double click in this view.
  deals.ToggleMark(1);
  EXPECT_FALSE(deals.IsMarked(1));
  // Pressed again: the marks of this view are taken as line numbers.
  deals.ShowUnmarked(report, "100", "200");
  EXPECT_EQ(deals.Grid().RowCount(), 6);
  EXPECT_EQ(Acc(1), "100");  // every line but the third
  EXPECT_EQ(Acc(3), "99");
  EXPECT_EQ(Marked(), (std::vector<int>{1, 2, 5}));
}

TEST_F(DealListTest, UnmarkedViewWithoutMarksOrWithoutReport) {
  Load();
  Report(kFive);
  deals.OpenReport(report, "", "");
  deals.ShowUnmarked(report, "", "");
  ASSERT_EQ(rec.texts.size(), 1u);
  EXPECT_EQ(rec.texts[0], "Нет отмеченных сделок");
  EXPECT_EQ(deals.Mode(), ViewMode::All);
  EXPECT_TRUE(deals.ExportAllowed());

  deals.OpenReport(report, "100", "200");
  deals.ShowUnmarked(dir.File("gone.txt"), "100", "200");
  ASSERT_EQ(rec.texts.size(), 2u);
  EXPECT_EQ(rec.texts[1], "Файл " + dir.File("gone.txt") + "  не найден.");
  EXPECT_EQ(deals.DealStatus()[0], "Всего 5 сделок");
  EXPECT_EQ(deals.DealStatus()[1], "Не отмеченныее сделки");
  EXPECT_FALSE(deals.ExportAllowed());
}

TEST_F(DealListTest, AllMarkedGivesAnEmptyViewAndKeepsTheMarks) {
  Load();
  Report("1;10;150;SBER;B;1;1;t\r\n2;11;160;SBER;B;1;1;t\r\n");
  deals.OpenReport(report, "100", "200");
  deals.ShowUnmarked(report, "100", "200");
  EXPECT_EQ(deals.Grid().RowCount(), 1);
  EXPECT_EQ(deals.Marks().Count(), 2);
  EXPECT_EQ(deals.DealStatus()[0], "Всего 0 сделок");
}

TEST_F(DealListTest, RelatedRowsAfterLoading) {
  Load();
  EXPECT_TRUE(deals.IsRelated(1));  // the single empty row of a fresh format
  Report(
      "1;10;100;SBER;B;1;1;t\r\n"
      "2;10;100;GAZP;B;1;1;t\r\n"
      "3;11;100;GAZP;B;1;1;t\r\n"
      "4;10;100;GAZP;B;1;1;t\r\n");
  deals.OpenReport(report, "", "");
  EXPECT_EQ(deals.DealKey(1), "100B10");
  EXPECT_TRUE(deals.IsRelated(1));
  EXPECT_TRUE(deals.IsRelated(2));
  EXPECT_FALSE(deals.IsRelated(3));
  EXPECT_FALSE(deals.IsRelated(4));
}

}  // namespace
}  // namespace drs

namespace drs {
namespace {

TEST_F(DealListTest, FormatReloadDropsTheRowsAndTheirMarks) {
  Load();
  Report(kFive);
  deals.OpenReport(report, "100", "200");
  ASSERT_EQ(deals.Marks().Count(), 3);
  Load();
  EXPECT_EQ(deals.Grid().RowCount(), 2);
  EXPECT_EQ(deals.Grid().Cell(2, 1), "");
  EXPECT_FALSE(deals.IsMarked(1));  // the blank row is not drawn or exported as marked
  EXPECT_TRUE(deals.Marks().Empty());
}

}  // namespace
}  // namespace drs
