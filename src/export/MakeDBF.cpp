#include "export/MakeDBF.h"

#include "utils/Cp1251.h"
#include "utils/FileIO.h"
#include "utils/TextCase.h"

namespace drs {

namespace {

void Put16(std::string& out, uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8 & 0xFF);
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

}  // namespace

TDBF::TDBF() = default;

bool TDBF::AddField(const std::string& name, const std::string& type, int length, int decimals) {
  std::string letter = UpperCase(type);
  if (letter != "C" && letter != "N" && letter != "L" && letter != "D") return false;
  std::string upper = UpperCase(name);
  std::string bytes = Utf8ToCp1251(upper);
  if (bytes.empty() || bytes.size() > 11 || !FitsCp1251(upper)) return false;
  if (length < 1 || length > 255 || decimals < 0 || decimals > 255) return false;
  auto field = std::make_unique<TDBFField>();
  field->Name = bytes;
  field->Type = letter[0];
  field->Length = static_cast<uint8_t>(length);
  field->Decimals = static_cast<uint8_t>(decimals);
  fields_.emplace_back(upper, std::move(field));
  return true;
}

bool TDBF::Layout() {
  uint32_t header = 32 * uint32_t(fields_.size()) + 33;
  uint32_t sum = 0;
  for (auto& [name, f] : fields_) {
    f->Displacement = sum + 1;
    sum += f->Length;
  }
  // Counts that do not fit their 16 bits would give a damaged header.
  if (header > 0xFFFF || sum + 1 > 0xFFFF) return false;
  headerLength_ = static_cast<uint16_t>(header);
  recordLength_ = static_cast<uint16_t>(sum + 1);
  return true;
}

std::string TDBF::HeaderBytes() {
  if (!Layout()) return {};
  std::string out;
  out += static_cast<char>(version_);
  for (uint8_t b : date_) out += static_cast<char>(b);
  Put32(out, recordCount_);
  Put16(out, headerLength_);
  Put16(out, recordLength_);
  for (uint8_t b : reserved_) out += static_cast<char>(b);
  for (const auto& [name, f] : fields_) {
    std::string n = f->Name;
    n.resize(11, '\0');
    out += n;
    out += f->Type;
    Put32(out, f->Displacement);
    out += static_cast<char>(f->Length);
    out += static_cast<char>(f->Decimals);
    out.append(14, '\0');
  }
  out += '\x0D';
  return out;
}

bool TDBF::CreateTable(std::string* error) {
  std::string bytes = HeaderBytes();
  if (bytes.empty()) {
    if (error) *error = "Поля не помещаются в заголовок таблицы";
    return false;
  }
  return WriteFileAtomic(FileName, bytes, error);
}

}  // namespace drs
