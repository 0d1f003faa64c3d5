#include "format/FormatGrid.h"

namespace drs {

const std::array<FormatGridColumn, kFormatColumns> kFormatGridColumns = {{
    {"Имя поля", 200},
    {"Номер в файле", 80},
    {"Показать", 50},
    {"Номер  в сетке", 80},
    {"Ширина в сетке", 80},
    {"Для выходного поля", 200},
    {"Код вых. поля", 2},
}};

const std::array<RoleChoice, 8> kRoleChoices = {{
    {"Не обязательное поле", "", ""},
    {"Идентификатор счета", "Идентификатор счета", "0"},
    {"Код ЦБ", "Код ЦБ", "1"},
    {"Количество ЦБ (Лоты)", "Количество ЦБ (Лоты)", "2"},
    {"Цена сделки", "Цена сделки", "3"},
    {"Код операции (Покупка / продажа)", "Код операции (Покупка / продажа)", "4"},
    {"Номер заявки", "Номер заявки", "5"},
    {"Номер сделки", "Номер сделки", "6"},
}};

void SetFormatTitles(StringGrid& grid) {
  for (int c = 0; c < kFormatColumns && c < grid.ColCount(); ++c) {
    grid.SetCell(c, 0, kFormatGridColumns[static_cast<size_t>(c)].title);
  }
}

void FillFormatGrid(StringGrid& grid, const std::vector<std::string>& items) {
  grid.SetRowCount(static_cast<int>(items.size()) + 1 < 2 ? 2 : static_cast<int>(items.size()) + 1);
  if (items.empty()) {
    ClearFormatRow(grid, 1);
    return;
  }
  for (size_t i = 0; i < items.size(); ++i) {
    const FormatRow row = SplitFormatRow(items[i]);
    grid.SetRowCells(static_cast<int>(i) + 1, StringGrid::Row(row.begin(), row.end()));
  }
}

std::vector<std::string> FormatGridItems(const StringGrid& grid) {
  std::vector<std::string> items;
  for (int r = 1; r < grid.RowCount(); ++r) {
    FormatRow row;
    for (int c = 0; c < kFormatColumns; ++c) row[static_cast<size_t>(c)] = grid.Cell(c, r);
    items.push_back(JoinFormatRow(row));
  }
  return items;
}

void ClearFormatRow(StringGrid& grid, int row) { grid.ClearRow(row); }

std::vector<std::string> FormatErrorJournal(const std::vector<std::string>& errors) {
  const std::string rule(27, '-');
  std::vector<std::string> lines{"Список ошибок описания формата", rule};
  lines.insert(lines.end(), errors.begin(), errors.end());
  lines.push_back(rule);
  return lines;
}

}  // namespace drs
