#include "export/TurnoverTable.h"

#include <cmath>
#include <memory>

#include "engine/DbfFile.h"
#include "engine/EDBEngineError.h"
#include "utils/TextCase.h"

namespace drs {

namespace {

// The field of the table named `name`; the table was made by
// CreateTurnoverTable, so it is there.
const DbfField& FieldNamed(const DbfFile& file, const char* name) {
  for (const DbfField& f : file.Fields())
    if (SameText(f.name, name)) return f;
  throw EDBEngineError("Файл " + file.Path() + ": нет поля " + name);
}

DbfValue Text(const std::string& text) {
  DbfValue v;
  v.kind = DbfValue::Kind::Text;
  v.text = text;
  return v;
}

// An amount as a bound float parameter reaches the field: a NaN binds as null.
DbfValue Amount(double amount) {
  DbfValue v;
  v.real = amount;
  if (!std::isnan(v.real)) v.kind = DbfValue::Kind::Real;
  return v;
}

// Holds the table's write lock until the end of the scope.
struct WriteLock {
  std::shared_ptr<DbfFile>& file;
  ~WriteLock() { file->EndWrite(); }
};

}  // namespace

void AppendTurnoverRows(const std::string& path, bool byAccount, const std::vector<TurnoverRow>& rows) {
  if (rows.empty()) return;  // no insert, so the header keeps its date
  std::shared_ptr<DbfFile> file = DbfFile::Acquire(path);
  if (!file->Writable()) throw EDBEngineError("Файл " + path + " открыт только для чтения");
  for (int attempt = 0; !file->BeginWrite(); ++attempt) {
    if (attempt == 8) throw EDBEngineError("Файл " + path + " постоянно заменяется другой программой");
    file = DbfFile::Acquire(path);
  }
  WriteLock lock{file};
  const DbfField* account = byAccount ? &FieldNamed(*file, "CLIENTID") : nullptr;
  const DbfField& ticker = FieldNamed(*file, "TICKER");
  const DbfField& buy = FieldNamed(*file, "BUY");
  const DbfField& sal = FieldNamed(*file, "SAL");
  const DbfField& saldo = FieldNamed(*file, "SALDO");

  const size_t length = file->RecordLength();
  constexpr size_t kChunkBytes = 1 << 20;
  std::string chunk;
  chunk.reserve(kChunkBytes + length);
  uint32_t inChunk = 0;
  try {
    for (const TurnoverRow& row : rows) {
      const size_t at = chunk.size();
      chunk.resize(at + length, ' ');
      char* record = chunk.data() + at;
      try {
        if (account) EncodeDbfField(*account, Text(row.account), record);
        EncodeDbfField(ticker, Text(row.ticker), record);
        EncodeDbfField(buy, Amount(row.bought), record);
        EncodeDbfField(sal, Amount(row.sold), record);
        EncodeDbfField(saldo, Amount(row.saldo), record);
      } catch (const EDBEngineError&) {
        // The rows before the refused one are written, as their inserts were.
        chunk.resize(at);
        if (inChunk > 0 || file->AheadCount() > 0) file->Append(chunk, inChunk);
        throw;
      }
      ++inChunk;
      if (chunk.size() >= kChunkBytes) {
        file->WriteAhead(chunk, inChunk);
        chunk.clear();
        inChunk = 0;
      }
    }
    file->Append(chunk, inChunk);
  } catch (...) {
    // A write that failed (a full disk): the whole chunks before it are
    // counted, as the groups of inserts before a failing one were.
    try {
      if (file->AheadCount() > 0) file->Append(std::string(), 0);
    } catch (const EDBEngineError&) {
      file->DropAhead();
    }
    throw;
  }
}

}  // namespace drs
