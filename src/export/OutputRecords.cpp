#include "export/OutputRecords.h"

#include <cstring>

#include "engine/EDBEngineError.h"
#include "export/Export.h"
#include "export/ExportLines.h"
#include "utils/TextCase.h"

namespace drs {

namespace {

// A numeric field with fewer decimals than the value has would round it: the
// line is refused instead of written with other digits.
void CheckDecimals(const DbfField& f, double value, int valueDecimals, const char* what) {
  if ((f.type != 'N' && f.type != 'F') || f.decimals >= valueDecimals) return;
  if (RoundFixed(value, f.decimals) == value) return;
  throw EDBEngineError(
      std::string(what) + " " + FormatFixed(value, valueDecimals) + " не помещается в поле " + f.name + " (" +
          f.type + " " + std::to_string(f.length) + "." + std::to_string(f.decimals) + ") без потери знаков",
      EDBEngineError::Scope::Row);
}

}  // namespace

OutputRecords::OutputRecords(const std::vector<DbfField>& fields, const std::string& table, int year,
                             int month, int day, std::string_view brokerAcc)
    : fields_(fields) {
  // Columns are found by name in any letter case, the first of a name, as
  // the insert statement finds them.
  const DbfField* byColumn[kOutputColumns.size()] = {};
  for (size_t c = 0; c < kOutputColumns.size(); ++c) {
    for (const DbfField& f : fields_) {
      if (SameText(f.name, kOutputColumns[c])) {
        byColumn[c] = &f;
        break;
      }
    }
    if (!byColumn[c]) throw EDBEngineError("В таблице " + table + " нет поля " + kOutputColumns[c]);
  }
  clientId_ = byColumn[0], ticker_ = byColumn[1], operType_ = byColumn[2];
  price_ = byColumn[3], qty_ = byColumn[4], sdel_ = byColumn[6];
  const DbfField* dates = byColumn[5];
  const DbfField* brocId = byColumn[7];

  size_t length = 1;
  for (const DbfField& f : fields_) length += f.length;
  blank_.assign(length, ' ');
  // Fields the insert does not name get no value (null).
  for (const DbfField& f : fields_)
    if (&f != clientId_ && &f != ticker_ && &f != operType_ && &f != price_ && &f != qty_ && &f != dates &&
        &f != sdel_ && &f != brocId)
      EncodeDbfField(f, DbfValue{}, blank_.data());
  // A date field takes the date as it stands; a text column of a date's
  // eight places takes it as dBASE keeps dates (YYYYMMDD), a wider one as
  // the insert gave it.
  char date[11];
  if (dates->type == 'C' && dates->length < 10)
    std::snprintf(date, sizeof date, "%04d%02d%02d", year, month, day);
  else
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", year, month, day);
  try {
    EncodeDbfField(*dates, DbfValue::OfText(date), blank_.data());
    EncodeDbfField(*brocId, DbfValue::OfText(brokerAcc), blank_.data());
  } catch (const EDBEngineError& e) {
    constant_ = e.what();  // every line is refused with it
  }
}

void OutputRecords::Encode(const ExportLines& lines, const ExportLine& line, char* record) const {
  if (!constant_.empty()) throw EDBEngineError(constant_, EDBEngineError::Scope::Row);
  CheckDecimals(*price_, line.price, 3, "Цена");
  CheckDecimals(*qty_, line.quantity, 1, "Количество");
  std::memcpy(record, blank_.data(), blank_.size());
  EncodeDbfField(*clientId_, lines.Account(line), record);
  EncodeDbfField(*ticker_, lines.Ticker(line), record);
  EncodeDbfField(*operType_, int64_t{OperTypeOf(lines.OperCode(line))}, record);
  EncodeDbfField(*price_, line.price, record);
  EncodeDbfField(*qty_, line.quantity, record);
  EncodeDbfField(*sdel_, lines.Number(line), record);
}

}  // namespace drs
