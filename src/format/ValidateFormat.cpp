#include "format/ValidateFormat.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "format/FormatFile.h"
#include "format/FormatGrid.h"
#include "utils/NumberText.h"
#include "utils/Utils.h"

namespace drs {

namespace {

const std::string kRule81(81, '-');

struct Run {
  std::vector<std::string>& errors;
  bool any = false;
  void Add(std::string line) {
    if (!any) {
      errors.emplace_back("Контроль формата");
      errors.push_back(kRule81);
      any = true;
    }
    errors.push_back(std::move(line));
  }
};

// Every data row's cell in the column must be a whole number.
void CheckNumbers(const StringGrid& grid, int col, std::string_view columnText, Run& run) {
  for (int row = 1; row < grid.RowCount(); ++row) {
    const std::string& value = grid.Cell(col, row);
    int number = 0;
    if (TryStrToInt(value, number)) continue;
    run.Add("Строка " + std::to_string(row + 1) + std::string(columnText) + value + "\" не число!");
  }
}

bool ColumnHolds(const std::vector<std::string>& cells, std::string_view text) {
  return std::find(cells.begin(), cells.end(), text) != cells.end();
}

}  // namespace

bool ValidateFormat(const StringGrid& grid, int formatKind, std::vector<std::string>& errors) {
  Run run{errors};
  const std::string posColumn = "Колонка \"Номер  в сетке\"  значение \"";

  CheckNumbers(grid, kGridPos, posColumn, run);

  // The load places the shown fields at the grid positions 1..shown.
  int shown = 0;
  for (int row = 1; row < grid.RowCount(); ++row) shown += grid.Cell(kShowFlag, row) == "Да" ? 1 : 0;
  const std::vector<std::string> positions = grid.Column(kGridPos);
  for (int k = 1; k <= shown; ++k) {
    const std::string text = std::to_string(k);
    if (ColumnHolds(positions, text)) continue;
    run.Add("Строка " + text + posColumn + text + "\" Отсутствует в списке номеров полей для отображения!");
  }

  CheckNumbers(grid, kFileFieldNo, "Колонка \"Номер в файле\"  значение \"", run);
  CheckNumbers(grid, kGridWidth, "Колонка \"Ширина в сетке\"  значение \"", run);

  const std::vector<std::string> codes = grid.Column(kRoleCode);
  static const std::array<std::pair<const char*, const char*>, 5> kRequired = {{
      {"0", "Идентификатор счета"},
      {"1", "Код ЦБ"},
      {"2", "Количество ЦБ (Лоты)"},
      {"3", "Цена сделки"},
      {"4", "Код операции (Покупка / продажа)"},
  }};
  for (const auto& [code, name] : kRequired) {
    if (!ColumnHolds(codes, code)) run.Add(std::string("Отсутствует обязательное поле \"") + name + "\"");
  }
  // The same kind rule as the active-format load: kind 0 needs the claim
  // number (code 5), kind 1 the deal number (code 6), so a saved format loads.
  if (formatKind == 0 && !ColumnHolds(codes, "5")) run.Add("Отсутствует обязательное поле \"Номер заявки\"");
  if (formatKind == 1 && !ColumnHolds(codes, "6")) run.Add("Отсутствует обязательное поле \"Номер сделки\"");

  // A ";" inside a cell would split the stored row into other fields.
  for (int row = 1; row < grid.RowCount(); ++row) {
    for (int col = 0; col < kFormatColumns; ++col) {
      const std::string& value = grid.Cell(col, row);
      if (value.find(';') == std::string::npos) continue;
      run.Add("Строка " + std::to_string(row + 1) + "Колонка \"" +
              kFormatGridColumns[static_cast<size_t>(col)].title + "\"  значение \"" + value +
              "\" содержит недопустимый символ \";\"!");
    }
  }

  if (run.any) errors.push_back(kRule81);
  return !run.any;
}

}  // namespace drs
