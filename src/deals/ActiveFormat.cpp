#include "deals/ActiveFormat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "deals/DealGrid.h"
#include "support/Messages.h"
#include "utils/Locale.h"
#include "utils/NumberText.h"
#include "utils/TextCase.h"
#include "utils/Utils.h"

namespace drs {

namespace {

struct RoleCheck {
  std::string_view code;
  int ActiveFormat::*field;
  int ActiveFormat::*col;
  const char* message;
};

const RoleCheck kRoleChecks[] = {
    {kRoleClientId, &ActiveFormat::clientIdField, &ActiveFormat::clientIdCol,
     "Ошибка формата. Отсутствует  номер позиции \"счет клиента\" во входном файле"},
    {kRoleOperCod, &ActiveFormat::operCodField, &ActiveFormat::operCodCol,
     "Ошибка формата. Отсутствует  номер позиции \"код операции\" во входном файле"},
    {kRoleShareCod, &ActiveFormat::shareCodField, &ActiveFormat::shareCodCol,
     "Ошибка формата. Отсутствует  номер позиции \"код ЦБ\" во входном файле"},
    {kRoleShareCnt, &ActiveFormat::shareCntField, &ActiveFormat::shareCntCol,
     "Ошибка формата. Отсутствует  номер позиции \"Количество ЦБ (Лоты)\" во входном файле"},
    {kRoleCost, &ActiveFormat::costField, &ActiveFormat::costCol,
     "Ошибка формата. Отсутствует  номер позиции \"Цена сделки\" во входном файле"},
};

const RoleCheck kClaimNumberCheck{
    kRoleClaimNumber, &ActiveFormat::numberField, &ActiveFormat::numberCol,
    "Ошибка формата. Отсутствует  номер позиции \"Номер заявки\" во входном файле"};
const RoleCheck kDealNumberCheck{
    kRoleDealNumber, &ActiveFormat::numberField, &ActiveFormat::numberCol,
    "Ошибка формата. Отсутствует  номер позиции \"Номер сделки\" во входном файле"};

// Integer conversion that reports its failure the way a broken-off
// conversion does.
bool ConvertInt(const std::string& text, int& value) {
  if (TryStrToInt(text, value)) return true;
  ShowError(NotAnIntegerMessage(text));
  return false;
}

bool BindRole(ActiveFormat& format, const RoleCheck& check) {
  const FormatRow* entry = format.FindEntry(kRoleCode, check.code);
  if (!entry) {
    ShowError(check.message);
    return false;
  }
  int field = 0;
  int pos = 0;
  if (!ConvertInt((*entry)[kFileFieldNo], field) || !ConvertInt((*entry)[kGridPos], pos)) return false;
  format.*check.field = field;
  format.*check.col = pos - 1;
  return true;
}

enum class FloatResult { Ok, ConvertError, OutOfRange };

// A number as an operator writes it (ReadNumber) in single precision.
FloatResult TextToFloat(std::string_view text, char sep, float& value) {
  double d = 0;
  switch (ReadNumber(text, sep, d)) {
    case NumberRead::NotANumber:
      return FloatResult::ConvertError;
    case NumberRead::OutOfRange:
      return FloatResult::OutOfRange;
    case NumberRead::Ok:
      break;
  }
  // A value beyond single precision would be stored as infinity.
  if (std::fabs(d) > static_cast<double>(std::numeric_limits<float>::max())) return FloatResult::OutOfRange;
  value = static_cast<float>(d);
  return FloatResult::Ok;
}

}  // namespace

const FormatRow* ActiveFormat::FindEntry(FormatColumn column, std::string_view value) const {
  for (const FormatRow& row : entries) {
    if (SameText(row[column], value)) return &row;
  }
  return nullptr;
}

namespace {

// Where a missing grid position comes from: the file, the position, and
// the shown rows whose position lies outside 1..shown or repeats an
// earlier row's. Rows are counted from 1, as the format editor shows them.
std::vector<std::string> GridPositionDetails(const std::string& fileName, const ActiveFormat& format,
                                             int missing, int shown) {
  std::vector<std::string> lines = {"Файл настройки параметров: " + fileName,
                                    "Нет строки с номером в сетке " + std::to_string(missing) +
                                        " (показываемых колонок: " + std::to_string(shown) + ")"};
  std::vector<std::string> seen;
  std::vector<std::string> repeated;
  for (size_t i = 0; i < format.entries.size(); ++i) {
    const FormatRow& row = format.entries[i];
    if (row[kShowFlag] != "Да") continue;
    const std::string& position = row[kGridPos];
    const std::string line = "Строка " + std::to_string(i + 1) + " (ExtFormat Item" + std::to_string(i) +
                             ", поле \"" + row[kFieldCaption] + "\"): номер в сетке \"" + position + "\"";
    int number = 0;
    if (!TryStrToInt(position, number) || number < 1 || number > shown) {
      lines.push_back(line);
    } else if (std::find(seen.begin(), seen.end(), position) != seen.end()) {
      repeated.push_back(line + " повторяется");
    } else {
      seen.push_back(position);
    }
  }
  lines.insert(lines.end(), repeated.begin(), repeated.end());
  return lines;
}

}  // namespace

std::string NotAnIntegerMessage(std::string_view text) {
  return "'" + std::string(text) + "' - недопустимое целое значение";
}

void LoadFormat(const std::string& fileName, ActiveFormat& format, DealGrid& grid) {
  format.formatValid = false;
  format.entries.clear();

  FormatParams params = ReadFormatParams(fileName, 0);
  switch (params.fieldSep) {
    case 0:
      format.fieldSepChar = ';';
      break;
    case 1:
      format.fieldSepChar = '\t';
      break;
    case 2:
      format.fieldSepChar = ',';
      break;
    case 3:
      format.fieldSepChar = ' ';
      break;
    default:
      break;  // keeps the previous separator
  }
  switch (params.decSep) {
    case 0:
      format.decSepChar = ',';
      break;
    case 1:
      format.decSepChar = '.';
      break;
    default:
      break;
  }
  format.formatKind = params.format;
  format.defaultLot = params.lot;

  format.entries.reserve(params.items.size());
  for (const std::string& item : params.items) format.entries.push_back(SplitFormatRow(item));

  int shown = 0;
  for (const FormatRow& row : format.entries) {
    if (row[kShowFlag] == "Да") ++shown;
  }
  grid.SetRowCount(1);  // drops the old deals
  grid.SetRowCount(2);
  grid.SetColCount(shown);
  for (int c = 0; c < grid.ColCount(); ++c) grid.SetCell(c, 0, "");

  for (int k = 1; k <= shown; ++k) {
    const FormatRow* entry = format.FindEntry(kGridPos, std::to_string(k));
    if (!entry) {
      const std::vector<std::string> details = GridPositionDetails(fileName, format, k, shown);
      ShowMessDlg("Ошибка формата. Неверен номер позиции отображения колонки", &details, nullptr, -1, -1,
                  MsgKind::Error);
      return;
    }
    grid.SetCell(k - 1, 0, (*entry)[kFieldCaption]);
    int width = 0;
    if (!ConvertInt((*entry)[kGridWidth], width)) return;
    grid.SetColWidth(k - 1, width);
  }

  for (const RoleCheck& check : kRoleChecks) {
    if (!BindRole(format, check)) return;
  }
  if (format.formatKind == 0 && !BindRole(format, kClaimNumberCheck)) return;
  if (format.formatKind == 1 && !BindRole(format, kDealNumberCheck)) return;

  format.formatValid = true;
}

std::array<std::string, 3> FormatStatusTexts(const std::string& fileName, const ActiveFormat& format) {
  return {"Файл настройки параметров: " + fileName,
          std::string("Разделитель полей:   <") + format.fieldSepChar + ">",
          std::string("Десятичн. разделит.: <") + format.decSepChar + ">"};
}

ParsedNumber ParseNumber(std::string_view text, char decSepChar) {
  static const char localeSep = SystemDecimalSeparator();
  return ParseNumber(text, decSepChar, localeSep);
}

ParsedNumber ParseNumber(std::string_view text, char decSepChar, char localeSep) {
  ParsedNumber result;
  FloatResult first = TextToFloat(text, localeSep, result.value);
  if (first == FloatResult::Ok) {
    result.ok = true;
    return result;
  }
  if (first != FloatResult::ConvertError) return result;
  std::string swapped(text);
  if (decSepChar == ',') {
    ReplaceChar(swapped, ',', '.');
  } else {
    ReplaceChar(swapped, '.', ',');
  }
  result.ok = TextToFloat(swapped, localeSep, result.value) == FloatResult::Ok;
  return result;
}

}  // namespace drs
