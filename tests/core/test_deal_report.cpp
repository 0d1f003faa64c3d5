#include <gtest/gtest.h>

#include "TempDir.h"
#include "deals/ActiveFormat.h"
#include "deals/DealGrid.h"
#include "deals/DealReport.h"
#include "utils/Cp1251.h"

namespace drs {
namespace {

std::vector<std::string> Lines(const ReportLines& lines) {
  std::vector<std::string> out;
  for (size_t i = 0; i < lines.Count(); ++i) out.emplace_back(lines.Line(i));
  return out;
}

TEST(ProcessAccountTest, ExamplesOfTheGridText) {
  EXPECT_EQ(ProcessAccount(" 00123 /A1"), "123/");
  EXPECT_EQ(ProcessAccount("0012345"), "12345");
  EXPECT_EQ(ProcessAccount("AB/X"), "AB/");
  EXPECT_EQ(ProcessAccount("12 34"), "12 34");
  EXPECT_EQ(ProcessAccount(""), "?");
  EXPECT_EQ(ProcessAccount("  \t"), "?");
  EXPECT_EQ(ProcessAccount("000"), "");
  EXPECT_EQ(ProcessAccount("0 0/"), "/");
  EXPECT_EQ(ProcessAccount("150/"), "150/");
  EXPECT_EQ(ProcessAccount("1/2/3"), "1/");
}

TEST(ReportNameTest, QuotesAreDropped) {
  EXPECT_EQ(ReportFileName("\"/tmp/a b.txt\""), "/tmp/a b.txt");
  EXPECT_EQ(ReportFileName("/tmp/a.txt"), "/tmp/a.txt");
  EXPECT_EQ(ReportFileName("\""), "");
  EXPECT_EQ(ReportFileName("\"x"), "");  // first and last character, whatever the last is
}

TEST(ReportLinesTest, EveryLineEndAndBlankLines) {
  ReportLines lines;
  lines.Parse("a;1\r\nb;2\nc;3\rd;4\r\n\r\n  \t\r\n\n\re;5", ';', 1);
  EXPECT_EQ(Lines(lines), (std::vector<std::string>{"a;1", "b;2", "c;3", "d;4", "e;5"}));
  lines.Parse("", ';', 1);
  EXPECT_EQ(lines.Count(), 0u);
  lines.Parse("\r\n\r\n   \r\n", ';', 1);
  EXPECT_EQ(lines.Count(), 0u);
}

TEST(ReportLinesTest, QuestionMarkGoesWhereTheEmptyAccountIs) {
  ReportLines lines;
  lines.Parse("1;2;;4\r\n;x\r\n1;2;3;4\r\n1;2;\r\n", ';', 3);
  EXPECT_EQ(Lines(lines), (std::vector<std::string>{"1;2;?;4", ";x", "1;2;3;4", "1;2;?"}));
  lines.Parse(";x\r\n", ';', 1);
  EXPECT_EQ(Lines(lines), (std::vector<std::string>{"?;x"}));
  // The copies go behind a last line without a line break, which ends there.
  lines.Parse("a;;b\r\nc;d;e", ';', 2);
  EXPECT_EQ(Lines(lines), (std::vector<std::string>{"a;?;b", "c;d;e"}));
}

TEST(ReportLinesTest, ShortLineKeepsItsOtherFields) {
  ReportLines lines;
  lines.Parse("a;b\r\n", ';', 5);
  EXPECT_EQ(Lines(lines), (std::vector<std::string>{"a;b"}));
}

TEST(DecodeReportTest, MatchesTheCodecOnMixedText) {
  std::string bytes =
      "12345678abc;" + Utf8ToCp1251("Счет№ ёЁ") + "zzzzzzzzzzzzzzzz" + std::string("\x98\xFF\x80", 3) + "end";
  EXPECT_EQ(DecodeReport(bytes), Cp1251ToUtf8(bytes));
  EXPECT_EQ(DecodeReport(""), "");
  // In place with room to spare, and through a copy without it.
  for (size_t room : {bytes.size() * 3, bytes.size()}) {
    std::string text;
    text.reserve(room);
    text = bytes;
    DecodeReportInPlace(text);
    EXPECT_EQ(text, Cp1251ToUtf8(bytes)) << room;
  }
}

class FillTest : public ::testing::Test {
 protected:
  FillTest() {
    // Grid: account (field 3), field 1, field 4; a hidden entry at position 4.
    format.fieldSepChar = ';';
    format.clientIdField = 3;
    format.clientIdCol = 0;
    format.entries = {
        {"Счет", "3", "Да", "1", "80", "", "0"},
        {"Номер", "1", "Да", "2", "60", "", "6"},
        {"Четыре", "4", "Да", "3", "60", "", "1"},
        {"Скрыто", "2", "Нет", "4", "60", "", ""},
    };
    grid.SetColCount(3);
    grid.SetRowCount(2);
  }
  ActiveFormat format;
  DealGrid grid;
  std::string error;
};

TEST_F(FillTest, AccountColumnIsProcessedOtherFieldsRaw) {
  ReportLines lines;
  lines.Parse("1;2;;4\r\n7;8; 0012 /Z;  x  \r\n9\r\n", ';', format.clientIdField);
  ASSERT_TRUE(FillDealGrid(lines, format, grid, nullptr, error));
  ASSERT_EQ(grid.RowCount(), 4);
  EXPECT_EQ(grid.Cell(0, 1), "?");
  EXPECT_EQ(grid.Cell(1, 1), "1");
  EXPECT_EQ(grid.Cell(2, 1), "4");
  EXPECT_EQ(grid.Cell(0, 2), "12/");
  EXPECT_EQ(grid.Cell(2, 2), "  x  ");
  EXPECT_EQ(grid.Cell(0, 3), "?");
  EXPECT_EQ(grid.Cell(1, 3), "9");
  EXPECT_EQ(grid.Cell(2, 3), "");
}

TEST_F(FillTest, KeepFilterTakesLineNumbersOfKeptLines) {
  ReportLines lines;
  lines.Parse("1;a;A1\r\n\r\n2;b;B2\r\n3;c;C3\r\n", ';', format.clientIdField);
  ASSERT_TRUE(FillDealGrid(
      lines, format, grid, [](int n) { return n != 2; }, error));
  ASSERT_EQ(grid.RowCount(), 3);
  EXPECT_EQ(grid.Cell(1, 1), "1");
  EXPECT_EQ(grid.Cell(1, 2), "3");
}

TEST_F(FillTest, FieldNumberThatIsNotAnIntegerStopsFilling) {
  format.entries[2][kFileFieldNo] = "four";
  ReportLines lines;
  lines.Parse("1;2;3;4\r\n", ';', format.clientIdField);
  EXPECT_FALSE(FillDealGrid(lines, format, grid, nullptr, error));
  EXPECT_EQ(error, "'four' - недопустимое целое значение");
  EXPECT_EQ(grid.RowCount(), 1);
}

TEST_F(FillTest, FieldNumberBelowOneGivesTheEmptyText) {
  for (const char* number : {"0", "-1"}) {
    ReportLines lines;  // the fill takes the lines' text
    lines.Parse("1;2;ACC;4\r\n", ';', format.clientIdField);
    format.entries[2][kFileFieldNo] = number;
    ASSERT_TRUE(FillDealGrid(lines, format, grid, nullptr, error));
    EXPECT_EQ(grid.Cell(0, 1), "ACC");
    EXPECT_EQ(grid.Cell(2, 1), "") << "field " << number;
  }
}

TEST_F(FillTest, FarFieldNumbersAndTabSeparator) {
  format.fieldSepChar = '\t';
  format.entries[2][kFileFieldNo] = "5000";
  std::string line = "1\t2\tACC";
  for (int i = 4; i <= 5000; ++i) line += "\t" + std::to_string(i);
  ReportLines lines;
  lines.Parse(line, '\t', format.clientIdField);
  ASSERT_TRUE(FillDealGrid(lines, format, grid, nullptr, error));
  EXPECT_EQ(grid.Cell(0, 1), "ACC");
  EXPECT_EQ(grid.Cell(2, 1), "5000");
}

TEST_F(FillTest, RowsPackedIntoTheTextKeepEveryCellThroughLaterChanges) {
  // Column 3 shows field 1 again, so a row may need more room than its line.
  format.entries[2][kFileFieldNo] = "1";
  const std::string wide(70000, 'w');
  ReportLines lines;
  lines.Parse("12345;b;007\r\n1;;\r\n" + wide + ";x;5\r\nabc;d;E/F\r\n", ';', format.clientIdField);
  ASSERT_TRUE(FillDealGrid(lines, format, grid, nullptr, error));
  EXPECT_EQ(lines.Count(), 0u);
  const std::vector<std::vector<std::string>> expected = {
      {"7", "12345", "12345"}, {"?", "1", "1"}, {"5", wide, wide}, {"E/", "abc", "abc"}};
  ASSERT_EQ(grid.RowCount(), 5);
  for (int r = 1; r <= 4; ++r)
    for (int c = 0; c < 3; ++c) EXPECT_EQ(grid.Cell(c, r), expected[r - 1][c]) << r << "," << c;
  // A longer text, a cell's own text and a shorter one; the neighbours stay.
  grid.SetCell(0, 1, "a much longer account");
  grid.SetCell(1, 4, grid.Cell(1, 4).substr(1));
  grid.SetCell(2, 3, "short");
  EXPECT_EQ(grid.Cell(0, 1), "a much longer account");
  EXPECT_EQ(grid.Cell(1, 1), "12345");
  EXPECT_EQ(grid.Cell(2, 1), "12345");
  EXPECT_EQ(grid.Cell(1, 4), "bc");
  EXPECT_EQ(grid.Cell(2, 4), "abc");
  EXPECT_EQ(grid.Cell(1, 3), wide);
  EXPECT_EQ(grid.Cell(2, 3), "short");
  grid.SetColCount(2);
  EXPECT_EQ(grid.Cell(0, 1), "a much longer account");
  EXPECT_EQ(grid.Cell(1, 3), wide);
  EXPECT_EQ(grid.Cell(2, 1), "");
}

TEST(ReadReportTest, UnreadableFileGivesAMessage) {
  test::TempDir dir;
  ReportLines lines;
  std::string error;
  EXPECT_FALSE(ReadReport(dir.Path(), ';', 1, lines, error));
  EXPECT_NE(error.find("Ошибка чтения файла"), std::string::npos);
  test::WriteBytes(dir.File("r.txt"), Utf8ToCp1251("Счет;1\r\n"));
  ASSERT_TRUE(ReadReport(dir.File("r.txt"), ';', 1, lines, error));
  EXPECT_EQ(Lines(lines), (std::vector<std::string>{"Счет;1"}));
  // A byte-order mark goes; the same bytes later in the file stay.
  test::WriteBytes(dir.File("r.txt"),
                   "\xEF\xBB\xBF"
                   "150;1\r\n\xEF\xBB\xBF;2\r\n");
  ASSERT_TRUE(ReadReport(dir.File("r.txt"), ';', 1, lines, error));
  EXPECT_EQ(Lines(lines), (std::vector<std::string>{"150;1", Cp1251ToUtf8("\xEF\xBB\xBF") + ";2"}));
}

}  // namespace
}  // namespace drs
