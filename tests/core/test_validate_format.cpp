#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "format/FormatGrid.h"
#include "format/ValidateFormat.h"

namespace drs {
namespace {

using Strings = std::vector<std::string>;

const Strings kExample = {
    "Номер сделки;1;Да;1;70;Номер сделки;6;;",
    "Номер заявки;2;Да;2;70;Номер заявки;5;;",
    "Счет;5;Да;3;80;Идентификатор счета;0;;",
    "Код ЦБ;6;Да;4;90;Код ЦБ;1;;",
    "Операция;7;Да;5;40;Код операции (Покупка / продажа);4;;",
    "Цена;8;Да;6;70;Цена сделки;3;;",
    "Количество;9;Да;7;60;Количество ЦБ (Лоты);2;;",
    "Время;3;Нет;8;60;;;;",
};

StringGrid GridOf(const Strings& items) {
  StringGrid grid(kFormatColumns, 2);
  SetFormatTitles(grid);
  FillFormatGrid(grid, items);
  return grid;
}

const std::string kRule(81, '-');

TEST(ValidateFormat, WorkedExamplePassesForEveryKindAndRoundTrips) {
  StringGrid grid = GridOf(kExample);
  for (int kind : {0, 1, 2, -1}) {
    Strings errors{"earlier"};
    EXPECT_TRUE(ValidateFormat(grid, kind, errors)) << kind;
    EXPECT_EQ(errors, Strings{"earlier"});  // appended to, never cleared
  }
  EXPECT_EQ(FormatGridItems(grid), kExample);
  EXPECT_EQ(grid.Cell(kGridPos, 0), "Номер  в сетке");
}

TEST(ValidateFormat, NoRoleCodesByKind) {
  const Strings items = {"Счет;1;Да;1;70;;;;"};
  const Strings common = {
      "Контроль формата",
      kRule,
      "Отсутствует обязательное поле \"Идентификатор счета\"",
      "Отсутствует обязательное поле \"Код ЦБ\"",
      "Отсутствует обязательное поле \"Количество ЦБ (Лоты)\"",
      "Отсутствует обязательное поле \"Цена сделки\"",
      "Отсутствует обязательное поле \"Код операции (Покупка / продажа)\"",
  };
  struct Case {
    int kind;
    const char* extra;
  };
  for (const Case& c :
       {Case{0, "Отсутствует обязательное поле \"Номер заявки\""},
        Case{1, "Отсутствует обязательное поле \"Номер сделки\""}, Case{2, nullptr}, Case{-1, nullptr}}) {
    Strings expected = common;
    if (c.extra) expected.push_back(c.extra);
    expected.push_back(kRule);
    Strings errors;
    EXPECT_FALSE(ValidateFormat(GridOf(items), c.kind, errors));
    EXPECT_EQ(errors, expected) << c.kind;
  }
}

TEST(ValidateFormat, WidthNotANumberAndMissingPosition) {
  Strings items = kExample;
  items[1] = "Номер заявки;2;Да;2;8о;Номер заявки;5;;";                  // second data row
  items[4] = "Операция;7;Да;9;40;Код операции (Покупка / продажа);4;;";  // position 5 gone
  Strings errors;
  EXPECT_FALSE(ValidateFormat(GridOf(items), 0, errors));
  const Strings expected = {
      "Контроль формата",
      kRule,
      "Строка 5Колонка \"Номер  в сетке\"  значение \"5\" Отсутствует в списке номеров полей для "
      "отображения!",
      "Строка 3Колонка \"Ширина в сетке\"  значение \"8о\" не число!",
      kRule,
  };
  EXPECT_EQ(errors, expected);
}

TEST(ValidateFormat, LastRowAndFirstPositionAreChecked) {
  // A bad number in the last row would otherwise pass and break the load.
  Strings items = kExample;
  items[7] = "Время;x;Нет;8;60;;;;";
  Strings errors;
  EXPECT_FALSE(ValidateFormat(GridOf(items), 0, errors));
  ASSERT_EQ(errors.size(), 4u);
  EXPECT_EQ(errors[2], "Строка 9Колонка \"Номер в файле\"  значение \"x\" не число!");

  // Position 1 missing: the load needs it for the first column.
  items = kExample;
  items[0] = "Номер сделки;1;Да;8;70;Номер сделки;6;;";
  errors.clear();
  EXPECT_FALSE(ValidateFormat(GridOf(items), 0, errors));
  ASSERT_EQ(errors.size(), 4u);
  EXPECT_EQ(errors[2],
            "Строка 1Колонка \"Номер  в сетке\"  значение \"1\" Отсутствует в списке номеров полей для "
            "отображения!");
}

TEST(ValidateFormat, PositionsNeededOnlyUpToTheShownCount) {
  // Seven shown fields need positions 1..7; the hidden row may stand at 12.
  Strings items = kExample;
  items[7] = "Время;3;Нет;12;60;;;;";
  Strings errors;
  EXPECT_TRUE(ValidateFormat(GridOf(items), 0, errors)) << (errors.empty() ? "" : errors[2]);
  // "01" is not the text "1": the load would not find it.
  items[0] = "Номер сделки;1;Да;01;70;Номер сделки;6;;";
  EXPECT_FALSE(ValidateFormat(GridOf(items), 0, errors));
  EXPECT_NE(errors[2].find("значение \"1\" Отсутствует"), std::string::npos);
}

TEST(ValidateFormat, EveryCheckRunsOnTheBlankRow) {
  Strings errors;
  EXPECT_FALSE(ValidateFormat(GridOf({}), 2, errors));
  const Strings expected = {
      "Контроль формата",
      kRule,
      "Строка 2Колонка \"Номер  в сетке\"  значение \"\" не число!",
      "Строка 2Колонка \"Номер в файле\"  значение \"\" не число!",
      "Строка 2Колонка \"Ширина в сетке\"  значение \"\" не число!",
      "Отсутствует обязательное поле \"Идентификатор счета\"",
      "Отсутствует обязательное поле \"Код ЦБ\"",
      "Отсутствует обязательное поле \"Количество ЦБ (Лоты)\"",
      "Отсутствует обязательное поле \"Цена сделки\"",
      "Отсутствует обязательное поле \"Код операции (Покупка / продажа)\"",
      kRule,
  };
  EXPECT_EQ(errors, expected);
}

TEST(ValidateFormat, KindRulesAsTheLoadAsksAndDuplicateRoles) {
  // Kind 0 asks for code 5, kind 1 for code 6, kind 2 for neither; a format
  // that passes for its kind also loads as the active format.
  Strings only5 = kExample;
  only5.erase(only5.begin());  // drops the code 6 row (position 1)
  for (std::string& item : only5) {
    FormatRow row = SplitFormatRow(item);
    row[kGridPos] = std::to_string(std::stoi(row[kGridPos]) - 1);
    item = JoinFormatRow(row);
  }
  Strings errors;
  EXPECT_TRUE(ValidateFormat(GridOf(only5), 0, errors));
  EXPECT_TRUE(ValidateFormat(GridOf(only5), 2, errors));
  EXPECT_FALSE(ValidateFormat(GridOf(only5), 1, errors));
  EXPECT_EQ(errors[2], "Отсутствует обязательное поле \"Номер сделки\"");
  Strings only6 = kExample;
  only6.erase(only6.begin() + 1);  // drops the code 5 row (position 2)
  for (std::string& item : only6) {
    FormatRow row = SplitFormatRow(item);
    if (std::stoi(row[kGridPos]) > 2) row[kGridPos] = std::to_string(std::stoi(row[kGridPos]) - 1);
    item = JoinFormatRow(row);
  }
  errors.clear();
  EXPECT_TRUE(ValidateFormat(GridOf(only6), 1, errors));
  EXPECT_FALSE(ValidateFormat(GridOf(only6), 0, errors));
  EXPECT_EQ(errors[2], "Отсутствует обязательное поле \"Номер заявки\"");

  // Two rows with one role: either satisfies the check.
  Strings twice = kExample;
  twice.push_back("Счет2;10;Нет;9;10;Идентификатор счета;0;;");
  errors.clear();
  EXPECT_TRUE(ValidateFormat(GridOf(twice), 0, errors));
}

TEST(ValidateFormat, SemicolonInACellIsRefused) {
  StringGrid grid = GridOf(kExample);
  grid.SetCell(kFieldCaption, 3, "Счет;клиента");
  Strings errors;
  EXPECT_FALSE(ValidateFormat(grid, 0, errors));
  ASSERT_EQ(errors.size(), 4u);
  EXPECT_EQ(errors[2],
            "Строка 4Колонка \"Имя поля\"  значение \"Счет;клиента\" содержит недопустимый символ \";\"!");
}

TEST(FormatGrid, FillAndJournal) {
  StringGrid grid = GridOf({"a;1", "b;2;Да;3;4;x;1;;extra;"});
  EXPECT_EQ(grid.RowCount(), 3);
  EXPECT_EQ(grid.RowCells(1), (StringGrid::Row{"a", "1", "", "", "", "", ""}));
  EXPECT_EQ(grid.Cell(kRoleCode, 2), "1");
  EXPECT_EQ(FormatGridItems(grid), (Strings{"a;1;;;;;;;", "b;2;Да;3;4;x;1;;"}));

  FillFormatGrid(grid, {});
  EXPECT_EQ(grid.RowCount(), 2);
  EXPECT_EQ(FormatGridItems(grid), (Strings{";;;;;;;;"}));

  EXPECT_EQ(FormatErrorJournal({"e1", "e2"}), (Strings{"Список ошибок описания формата", std::string(27, '-'),
                                                       "e1", "e2", std::string(27, '-')}));
}

}  // namespace
}  // namespace drs
