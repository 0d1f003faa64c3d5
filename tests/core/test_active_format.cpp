#include <gtest/gtest.h>

#include "RecordingMessages.h"

#include "TempDir.h"
#include "deals/ActiveFormat.h"
#include "deals/DealGrid.h"
#include "support/Messages.h"
#include "utils/Cp1251.h"

namespace drs {
namespace {

using test::Recorder;

const char kWorkedExample[] =
    "[IntValues]\r\nFieldSep=0\r\nDecSep=1\r\nFormat=0\r\nLot=100\r\n\r\n[ExtFormat]\r\nCount=8\r\n"
    "Item0=Номер сделки;1;Да;1;70;Номер сделки;6;;\r\n"
    "Item1=Номер заявки;2;Да;2;70;Номер заявки;5;;\r\n"
    "Item2=Счет;5;Да;3;80;Идентификатор счета;0;;\r\n"
    "Item3=Код ЦБ;6;Да;4;90;Код ЦБ;1;;\r\n"
    "Item4=Операция;7;Да;5;40;Код операции (Покупка / продажа);4;;\r\n"
    "Item5=Цена;8;Да;6;70;Цена сделки;3;;\r\n"
    "Item6=Количество;9;Да;7;60;Количество ЦБ (Лоты);2;;\r\n"
    "Item7=Время;3;Нет;8;60;;;;\r\n";

class ActiveFormatTest : public ::testing::Test {
 protected:
  ActiveFormatTest() : scope_(&rec) {}

  // A format file with the given IntValues lines and ExtFormat items.
  std::string Write(const std::string& intValues, const std::vector<std::string>& items) {
    std::string text =
        "[IntValues]\r\n" + intValues + "[ExtFormat]\r\nCount=" + std::to_string(items.size()) + "\r\n";
    for (size_t i = 0; i < items.size(); ++i) text += "Item" + std::to_string(i) + "=" + items[i] + "\r\n";
    std::string path = dir.File("f" + std::to_string(++files_) + ".ini");
    test::WriteBytes(path, Utf8ToCp1251(text));
    return path;
  }
  // Rows for roles 0..5 in the given kind, all shown, positions 1..6.
  static std::vector<std::string> Roles(const std::vector<std::string>& codes) {
    std::vector<std::string> items;
    for (size_t i = 0; i < codes.size(); ++i) {
      std::string n = std::to_string(i + 1);
      items.push_back("F" + n + ";" + n + ";Да;" + n + ";5" + n + ";;" + codes[i] + ";;");
    }
    return items;
  }

  test::TempDir dir;
  Recorder rec;
  ActiveFormat format;
  DealGrid grid;

 private:
  ScopedMessageHandler scope_;
  int files_ = 0;
};

TEST_F(ActiveFormatTest, WorkedExampleBindsEveryRoleAndTheGridHeader) {
  std::string path = dir.File("ex.ini");
  test::WriteBytes(path, Utf8ToCp1251(kWorkedExample));
  LoadFormat(path, format, grid);
  EXPECT_TRUE(rec.texts.empty());
  ASSERT_TRUE(format.formatValid);
  EXPECT_EQ(format.fieldSepChar, ';');
  EXPECT_EQ(format.decSepChar, '.');
  EXPECT_EQ(format.defaultLot, 100);
  EXPECT_EQ(format.entries.size(), 8u);
  EXPECT_EQ(grid.ColCount(), 7);
  EXPECT_EQ(grid.RowCount(), 2);
  EXPECT_EQ(grid.Cell(2, 0), "Счет");
  EXPECT_EQ(grid.ColWidth(3), 90);
  EXPECT_EQ(format.clientIdField, 5);
  EXPECT_EQ(format.clientIdCol, 2);
  EXPECT_EQ(format.operCodField, 7);
  EXPECT_EQ(format.operCodCol, 4);
  EXPECT_EQ(format.shareCodField, 6);
  EXPECT_EQ(format.shareCntCol, 6);
  EXPECT_EQ(format.costField, 8);
  EXPECT_EQ(format.numberField, 2);  // kind 0: the order number
  EXPECT_EQ(format.numberCol, 1);
  auto status = FormatStatusTexts(path, format);
  EXPECT_EQ(status[0], "Файл настройки параметров: " + path);
  EXPECT_EQ(status[1], "Разделитель полей:   <;>");
  EXPECT_EQ(status[2], "Десятичн. разделит.: <.>");
}

TEST_F(ActiveFormatTest, EmptyListGivesOneEmptyColumnAndTheAccountMessage) {
  grid.SetColCount(3);
  grid.SetCell(0, 0, "old");
  LoadFormat(Write("", {}), format, grid);
  EXPECT_FALSE(format.formatValid);
  EXPECT_EQ(grid.ColCount(), 1);
  EXPECT_EQ(grid.Cell(0, 0), "");
  ASSERT_EQ(rec.texts.size(), 1u);
  EXPECT_EQ(rec.texts[0], "Ошибка формата. Отсутствует  номер позиции \"счет клиента\" во входном файле");
}

TEST_F(ActiveFormatTest, MissingFileReadsAsEmpty) {
  LoadFormat(dir.File("nothing.ini"), format, grid);
  EXPECT_FALSE(format.formatValid);
  ASSERT_EQ(rec.texts.size(), 1u);
  EXPECT_NE(rec.texts[0].find("счет клиента"), std::string::npos);
}

TEST_F(ActiveFormatTest, AllHiddenStillRunsTheRoleChecks) {
  auto items = Roles({"0", "4", "1", "2", "3", "5"});
  for (auto& item : items) item.replace(item.find("Да"), std::string("Да").size(), "Нет");
  LoadFormat(Write("", items), format, grid);
  EXPECT_TRUE(format.formatValid);
  EXPECT_EQ(grid.ColCount(), 1);
  EXPECT_TRUE(rec.texts.empty());
}

TEST_F(ActiveFormatTest, GridPositionGapIsReported) {
  auto items = Roles({"0", "4", "1", "2", "3", "5"});
  items[2] = "F3;3;Да;9;50;;1;;";  // no entry has position 3
  items[4] = "F5;5;Да;2;55;;3;;";  // and 2 twice
  test::RecordingMessages detailed;
  ScopedMessageHandler scope(&detailed);
  const std::string file = Write("", items);
  LoadFormat(file, format, grid);
  EXPECT_FALSE(format.formatValid);
  ASSERT_EQ(detailed.shown.size(), 1u);
  EXPECT_EQ(detailed.shown[0].text, "Ошибка формата. Неверен номер позиции отображения колонки");
  EXPECT_EQ(detailed.shown[0].kind, MsgKind::Error);
  // The file and the rows at fault in the details.
  EXPECT_EQ(
      detailed.shown[0].details,
      (std::vector<std::string>{"Файл настройки параметров: " + file,
                                "Нет строки с номером в сетке 3 (показываемых колонок: 6)",
                                "Строка 3 (ExtFormat Item2, поле \"F3\"): номер в сетке \"9\"",
                                "Строка 5 (ExtFormat Item4, поле \"F5\"): номер в сетке \"2\" повторяется"}));
  EXPECT_EQ(grid.Cell(1, 0), "F2");  // columns before the gap got their captions
}

TEST_F(ActiveFormatTest, FirstEntryOfAPositionWinsAndHiddenEntriesCanFillIt) {
  std::vector<std::string> items = {
      "Hidden;1;Нет;1;10;;0;;",  // hidden but first with position 1
      "Shown;2;Да;1;20;;4;;",    // same position, never shown
      "B;3;Да;2;30;;1;;",       "C;4;Нет;3;30;;2;;", "D;5;Нет;4;30;;3;;", "E;6;Нет;5;30;;5;;",
  };
  LoadFormat(Write("", items), format, grid);
  ASSERT_TRUE(format.formatValid);
  EXPECT_EQ(grid.ColCount(), 2);
  EXPECT_EQ(grid.Cell(0, 0), "Hidden");
  EXPECT_EQ(grid.ColWidth(0), 10);
  EXPECT_EQ(grid.Cell(1, 0), "B");
}

TEST_F(ActiveFormatTest, EachMissingRoleHasItsMessageInOrder) {
  struct Case {
    std::vector<std::string> codes;
    const char* message;
  } cases[] = {
      {{"1", "2", "3", "4", "5"},
       "Ошибка формата. Отсутствует  номер позиции \"счет клиента\" во входном файле"},
      {{"0", "1", "2", "3", "5"},
       "Ошибка формата. Отсутствует  номер позиции \"код операции\" во входном файле"},
      {{"0", "4", "2", "3", "5"}, "Ошибка формата. Отсутствует  номер позиции \"код ЦБ\" во входном файле"},
      {{"0", "4", "1", "3", "5"},
       "Ошибка формата. Отсутствует  номер позиции \"Количество ЦБ (Лоты)\" во входном файле"},
      {{"0", "4", "1", "2", "5"},
       "Ошибка формата. Отсутствует  номер позиции \"Цена сделки\" во входном файле"},
      {{"0", "4", "1", "2", "3", "6"},
       "Ошибка формата. Отсутствует  номер позиции \"Номер заявки\" во входном файле"},
  };
  for (const Case& c : cases) {
    rec.texts.clear();
    LoadFormat(Write("Format=0\r\n", Roles(c.codes)), format, grid);
    EXPECT_FALSE(format.formatValid);
    ASSERT_EQ(rec.texts.size(), 1u);
    EXPECT_EQ(rec.texts[0], c.message);
  }
}

TEST_F(ActiveFormatTest, FormatKindDecidesTheNumberRole) {
  // Kind 1 needs the deal number and ignores the order number.
  LoadFormat(Write("Format=1\r\n", Roles({"0", "4", "1", "2", "3", "5"})), format, grid);
  EXPECT_FALSE(format.formatValid);
  ASSERT_EQ(rec.texts.size(), 1u);
  EXPECT_EQ(rec.texts[0], "Ошибка формата. Отсутствует  номер позиции \"Номер сделки\" во входном файле");

  rec.texts.clear();
  LoadFormat(Write("Format=1\r\n", Roles({"0", "4", "1", "2", "3", "6"})), format, grid);
  EXPECT_TRUE(format.formatValid);
  EXPECT_EQ(format.numberField, 6);
  EXPECT_EQ(format.numberCol, 5);

  // Kind 2 binds no number and keeps the previous binding.
  LoadFormat(Write("Format=2\r\n", Roles({"0", "4", "1", "2", "3"})), format, grid);
  EXPECT_TRUE(format.formatValid);
  EXPECT_TRUE(rec.texts.empty());
  EXPECT_EQ(format.numberField, 6);
}

TEST_F(ActiveFormatTest, RoleCodesCompareAsTextWithFirstMatch) {
  auto items = Roles({"0", "4", "1", "2", "3", "5"});
  items.insert(items.begin() + 1, "Z;9;Нет;1;5;;01;;");  // "01" is not "1"
  items.push_back("Late;8;Нет;2;5;;0;;");                // second account row is ignored
  LoadFormat(Write("", items), format, grid);
  ASSERT_TRUE(format.formatValid);
  EXPECT_EQ(format.shareCodField, 3);
  EXPECT_EQ(format.clientIdField, 1);
}

TEST_F(ActiveFormatTest, NonIntegerNumbersEndTheLoadWithAConversionMessage) {
  auto items = Roles({"0", "4", "1", "2", "3", "5"});
  items[3] = "F4;x4;Да;4;54;;2;;";
  LoadFormat(Write("", items), format, grid);
  EXPECT_FALSE(format.formatValid);
  ASSERT_EQ(rec.texts.size(), 1u);
  EXPECT_EQ(rec.texts[0], "'x4' - недопустимое целое значение");

  rec.texts.clear();
  items = Roles({"0", "4", "1", "2", "3", "5"});
  items[0] = "F1;1;Да;1;wide;;0;;";
  LoadFormat(Write("", items), format, grid);
  EXPECT_FALSE(format.formatValid);
  ASSERT_EQ(rec.texts.size(), 1u);
  EXPECT_EQ(rec.texts[0], "'wide' - недопустимое целое значение");
}

TEST_F(ActiveFormatTest, UnknownSeparatorIndexKeepsThePreviousCharacter) {
  LoadFormat(Write("FieldSep=2\r\nDecSep=0\r\n", Roles({"0", "4", "1", "2", "3", "5"})), format, grid);
  EXPECT_EQ(format.fieldSepChar, ',');
  EXPECT_EQ(format.decSepChar, ',');
  LoadFormat(Write("FieldSep=7\r\nDecSep=2\r\n", Roles({"0", "4", "1", "2", "3", "5"})), format, grid);
  EXPECT_EQ(format.fieldSepChar, ',');
  EXPECT_EQ(format.decSepChar, ',');
  LoadFormat(Write("FieldSep=1\r\n", Roles({"0", "4", "1", "2", "3", "5"})), format, grid);
  EXPECT_EQ(format.fieldSepChar, '\t');
  EXPECT_EQ(FormatStatusTexts("x", format)[1], "Разделитель полей:   <\t>");
}

TEST(ParseNumberTest, LocaleAttemptThenSwappedAttempt) {
  // Locale "." and format ",": 12,5 converts through the swap.
  ParsedNumber n = ParseNumber("12,5", ',', '.');
  EXPECT_TRUE(n.ok);
  EXPECT_FLOAT_EQ(n.value, 12.5f);
  n = ParseNumber("12.5", ',', '.');
  EXPECT_TRUE(n.ok);
  EXPECT_FLOAT_EQ(n.value, 12.5f);
  // Locale "," and format ".": 12.5 converts through the swap the other way.
  n = ParseNumber("12.5", '.', ',');
  EXPECT_TRUE(n.ok);
  EXPECT_FLOAT_EQ(n.value, 12.5f);
  n = ParseNumber("12,5", '.', ',');
  EXPECT_TRUE(n.ok);
  // Locale "," and format ",": the swap turns "," into "." and cannot help.
  EXPECT_FALSE(ParseNumber("12.5", ',', ',').ok);
  EXPECT_TRUE(ParseNumber(" -7 ", ',', '.').ok);
  EXPECT_FLOAT_EQ(ParseNumber("1e3", ',', '.').value, 1000.0f);
}

TEST(ParseNumberTest, BadTextsFail) {
  for (const char* text : {"", " ", "1 000", "12,5,1", "abc", "1.2.3", "--1", "1e", "."}) {
    EXPECT_FALSE(ParseNumber(text, ',', '.').ok) << text;
  }
  EXPECT_FALSE(ParseNumber("1e60", '.', '.').ok);  // beyond single precision
}

TEST(ParseNumberTest, SinglePrecision) {
  ParsedNumber n = ParseNumber("123456789.123", '.', '.');
  ASSERT_TRUE(n.ok);
  EXPECT_EQ(n.value, 123456792.0f);
  EXPECT_EQ(static_cast<double>(ParseNumber("0.1", '.', '.').value), static_cast<double>(0.1f));
}

}  // namespace
}  // namespace drs
