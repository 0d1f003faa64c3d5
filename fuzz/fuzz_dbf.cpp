// Any bytes as a dBASE table: the engine opens it (or refuses it with its
// error), reads every row and column of "select *", counts the records,
// sums a column and opens the live output view.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "engine/EDBEngineError.h"
#include "engine/Query.h"

namespace {

void Read(drs::TQuery& q) {
  q.Open();
  for (int i = 0; q.FieldCount() > 0 && i < q.FieldCount(); ++i) (void)q.Field(i);
  for (; !q.Eof(); q.Next()) {
    for (int i = 0; i < q.FieldCount(); ++i) {
      (void)q.AsString(i);
      (void)q.AsFloat(i);
    }
  }
  (void)q.RecordCount();
  q.Close();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Messages();
  // A fresh name each time: the engine may keep a table open between statements.
  static unsigned long run = 0;
  const std::string name = "T" + std::to_string(++run % 2);
  const std::string path = fuzz::WriteScratch(name + ".DBF", data, size);
  const char* statements[] = {
      "select * from \"%\"", "select count(*) from \"%\"",
      ("select  ticker,OPERTYPE,SUM(QTY) summa from \"%\" group by ticker,opertype order by "
       "ticker,OPERTYPE")};
  for (const char* text : statements) {
    std::string sql = text;
    sql.replace(sql.find('%'), 1, name);
    drs::TQuery q;
    q.SetDatabaseName(fuzz::ScratchDir());
    q.SetSQL(sql);
    try {
      Read(q);
    } catch (const drs::EDBEngineError&) {
    }
  }
  {
    drs::TQuery live;
    live.SetDatabaseName(fuzz::ScratchDir());
    live.SetSQL("select CLIENTID,TICKER,OPERTYPE,PRICE,QTY,DATES,SDEL,BROCID from %M");
    live.SetMacro("M", name);
    live.RegenerateSQL();
    live.SetRequestLive(true);
    try {
      live.Open();
      const int64_t n = live.RecordCount();
      for (int64_t r = 0; r < n && r < 50; ++r) (void)live.Row(r);
      live.Close();
    } catch (const drs::EDBEngineError&) {
    }
  }
  return 0;
}
