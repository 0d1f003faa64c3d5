#include "export/MakeDBF.h"

#include "engine/DbfFile.h"
#include "utils/Cp1251.h"
#include "utils/TextCase.h"

namespace drs {

TDBF::TDBF() = default;

bool TDBF::AddField(const std::string& name, const std::string& type, int length, int decimals) {
  std::string letter = UpperCase(type);
  if (letter != "C" && letter != "N" && letter != "L" && letter != "D") return false;
  std::string upper = UpperCase(name);
  std::string bytes = Utf8ToCp1251(upper);
  if (bytes.empty() || bytes.size() > 11 || !FitsCp1251(upper)) return false;
  if (length < 1 || length > 255 || decimals < 0 || decimals > 255) return false;
  DbfField field;
  field.name = upper;
  field.type = letter[0];
  field.length = static_cast<uint8_t>(length);
  field.decimals = static_cast<uint8_t>(decimals);
  fields_.push_back(std::move(field));
  return true;
}

std::string TDBF::HeaderBytes() {
  if (DbfLayout(fields_) == 0) return {};
  return DbfHeaderBytes(fields_, 0, kDate);
}

bool TDBF::CreateTable(std::string* error) {
  std::string bytes = HeaderBytes();
  if (bytes.empty()) {
    if (error) *error = "Поля не помещаются в заголовок таблицы";
    return false;
  }
  return DbfFile::Replace(FileName, bytes, error);
}

}  // namespace drs
