#include "export/TurnoverTable.h"

#include <cmath>

#include "engine/EDBEngineError.h"
#include "engine/TableWriter.h"
#include "export/MakeDBF.h"
#include "utils/FileIO.h"
#include "utils/TextCase.h"

namespace drs {

namespace {

const DbfField& FieldNamed(const std::vector<DbfField>& fields, const char* name) {
  for (const DbfField& f : fields)
    if (SameText(f.name, name)) return f;
  throw EDBEngineError(std::string("Нет поля ") + name);
}

// An amount as a bound float parameter reaches the field: a NaN binds as null.
DbfValue Amount(double amount) { return std::isnan(amount) ? DbfValue{} : DbfValue::OfReal(amount); }

}  // namespace

std::string TurnoverTableBytes(bool byAccount) {
  TDBF dbf;
  if (byAccount) dbf.AddField("CLIENTID", 'C', 50, 0);
  dbf.AddField("TICKER", 'C', 50, 0);
  dbf.AddField("BUY", 'N', 20, 5);
  dbf.AddField("SAL", 'N', 20, 5);
  dbf.AddField("SALDO", 'N', 20, 5);
  return dbf.HeaderBytes();
}

void WriteTurnoverTable(const std::string& path, bool byAccount, const std::vector<TurnoverRow>& rows) {
  TableWriter writer(path, FileExists(path) ? TableWriter::Mode::Replace : TableWriter::Mode::Create,
                     TurnoverTableBytes(byAccount));
  const std::vector<DbfField>& fields = writer.Fields();
  const DbfField* account = byAccount ? &FieldNamed(fields, "CLIENTID") : nullptr;
  const DbfField& ticker = FieldNamed(fields, "TICKER");
  const DbfField& buy = FieldNamed(fields, "BUY");
  const DbfField& sal = FieldNamed(fields, "SAL");
  const DbfField& saldo = FieldNamed(fields, "SALDO");
  std::string record(writer.RecordLength(), ' ');
  for (const TurnoverRow& row : rows) {
    record.assign(record.size(), ' ');
    if (account) EncodeDbfField(*account, DbfValue::OfText(row.account), record.data());
    EncodeDbfField(ticker, DbfValue::OfText(row.ticker), record.data());
    EncodeDbfField(buy, Amount(row.bought), record.data());
    EncodeDbfField(sal, Amount(row.sold), record.data());
    EncodeDbfField(saldo, Amount(row.saldo), record.data());
    writer.Add(record.data(), 1);
  }
  writer.Commit();
}

}  // namespace drs
