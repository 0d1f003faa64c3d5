// engine_alone: a program of the table engine and nothing else of drsprep.
// It is linked against every object of drsengine (with drsutils and SQLite
// only), so an engine that reaches into the rest of the program fails to
// link here. Run as a test: it makes a table, inserts rows through a
// statement and reads them back with a grouped select.
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/DbfFormat.h"
#include "engine/Query.h"
#include "engine/TableWriter.h"

namespace {

int failures = 0;

void Expect(bool ok, const std::string& what) {
  if (ok) return;
  std::fprintf(stderr, "engine_alone: %s\n", what.c_str());
  ++failures;
}

void CreateTable(const std::string& path) {
  std::vector<drs::DbfField> fields(2);
  fields[0].name = "TICKER";
  fields[0].length = 12;
  fields[1].name = "QTY";
  fields[1].type = 'N';
  fields[1].length = 20;
  fields[1].decimals = 5;
  drs::DbfLayout(fields);
  unsigned char date[3];
  drs::DbfToday(date);
  drs::TableWriter writer(path, drs::TableWriter::Mode::Create, drs::DbfHeaderBytes(fields, 0, date));
  writer.Commit();
}

void Run(const std::string& folder) {
  CreateTable(folder + "/DEALS.DBF");
  drs::TQuery q;
  q.SetDatabaseName(folder);
  q.SetSQL("insert into DEALS (TICKER,QTY) values (:TICKER,:QTY)");
  const struct {
    const char* ticker;
    double qty;
  } rows[] = {{"GAZP", 10}, {"SBER", 2.5}, {"GAZP", 0.25}};
  for (const auto& row : rows) {
    q.SetString("TICKER", row.ticker);
    q.SetFloat("QTY", row.qty);
    q.ExecSQL();
  }
  q.SetSQL("select TICKER, SUM(QTY) from DEALS group by TICKER order by TICKER");
  q.Open();
  std::string got;
  for (; !q.Eof(); q.Next()) got += q.AsString(0) + "=" + q.AsString(1) + ";";
  Expect(got == "GAZP=10.25;SBER=2.5;", "grouped sums " + got);
  q.SetSQL("select * from DEALS");
  q.Open();
  Expect(q.RecordCount() == 3, "rows " + std::to_string(q.RecordCount()));
  q.Close();
}

}  // namespace

int main() {
  std::string folder = (std::filesystem::temp_directory_path() / "drs_engine_alone_XXXXXX").string();
  if (!::mkdtemp(folder.data())) {
    std::perror("engine_alone: mkdtemp");
    return 1;
  }
  try {
    Run(folder);
  } catch (const std::exception& e) {
    Expect(false, e.what());
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return failures == 0 ? 0 : 1;
}
