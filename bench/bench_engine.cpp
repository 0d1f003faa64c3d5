// Timed runs of the table engine on a million-row output table:
//   inserts through the insert deal statement (prepared once),
//   sums by security, and sums for 2,000 accounts answered from the index.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/Query.h"
#include "export/MakeDBF.h"

namespace fs = std::filesystem;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? std::atoi(argv[1]) : 1000000;
  const int accounts = 2000;
  fs::path dir = fs::temp_directory_path() / ("drs_bench_engine_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  drs::TDBF t;
  t.AddField("CLIENTID", 'C', 16, 0);
  t.AddField("TICKER", 'C', 50, 0);
  t.AddField("OPERTYPE", 'N', 6, 0);
  t.AddField("PRICE", 'N', 20, 5);
  t.AddField("QTY", 'N', 20, 5);
  t.AddField("DATES", 'D', 8, 0);
  t.AddField("SDEL", 'C', 11, 0);
  t.AddField("BROCID", 'C', 16, 0);
  t.FileName = (dir / "DEALS.DBF").string();
  t.CreateTable();

  std::vector<std::string> clients, tickers;
  for (int i = 0; i < accounts; ++i) clients.push_back(std::to_string(100000 + i));
  for (int i = 0; i < 300; ++i) tickers.push_back("SEC" + std::to_string(i));

  int status = 0;
  try {
    auto start = std::chrono::steady_clock::now();
    drs::TQuery ins;
    ins.SetDatabaseName(dir.string());
    ins.SetSQL({"insert into %M (CLIENTID,TICKER,OPERTYPE,PRICE,QTY,DATES,SDEL,BROCID)", "values",
                "(:CLIENTID,:TICKER,:OPERTYPE,:PRICE,:QTY,:DATE,:SDEL,:BROCID)"});
    ins.SetMacro("M", "DEALS");
    ins.RegenerateSQL();
    for (int i = 0; i < rows; ++i) {
      ins.SetString("CLIENTID", clients[size_t(i) % clients.size()]);
      ins.SetString("TICKER", tickers[size_t(i * 7) % tickers.size()]);
      ins.SetFloat("OPERTYPE", i % 2);
      ins.SetFloat("PRICE", 100 + (i % 1000) * 0.001);
      ins.SetFloat("QTY", (i % 50 + 1) * 10.0);
      ins.SetDate("DATE", 2024, 3, 15);
      ins.SetString("SDEL", std::to_string(i));
      ins.SetString("BROCID", "BRK01");
      ins.ExecSQL();
    }
    double insertTime = Seconds(start);
    std::printf("inserts            %d rows  %.3f s  (limit 3 s)\n", rows, insertTime);

    start = std::chrono::steady_clock::now();
    drs::TQuery sums;
    sums.SetDatabaseName(dir.string());
    sums.SetSQL(
        "select  ticker,OPERTYPE,SUM(QTY) summa from \"DEALS\" group by ticker,opertype order by ticker,OPERTYPE");
    sums.Open();
    int groups = 0;
    for (; !sums.Eof(); sums.Next()) ++groups;
    double sumsTime = Seconds(start);
    std::printf("sums by security   %d groups  %.3f s  (limit 1 s)\n", groups, sumsTime);

    start = std::chrono::steady_clock::now();
    drs::TQuery acc;
    acc.SetDatabaseName(dir.string());
    acc.SetSQL("Select  distinct clientid from \"DEALS\"");
    acc.Open();
    std::vector<std::string> list;
    for (; !acc.Eof(); acc.Next()) list.push_back(acc.AsString(0));
    drs::TQuery one;
    one.SetDatabaseName(dir.string());
    one.SetSQL(
        "select  ticker,OPERTYPE,SUM(QTY) summa from \"DEALS\" where clientid=:clientid group by ticker,opertype "
        "order by ticker,OPERTYPE");
    long total = 0;
    for (const auto& a : list) {
      one.SetString("clientid", a);
      one.Open();
      for (; !one.Eof(); one.Next()) ++total;
    }
    double accTime = Seconds(start);
    std::printf("sums per account   %zu accounts, %ld rows  %.3f s  (limit 2 s)\n", list.size(), total, accTime);
    if (insertTime > 3 || sumsTime > 1 || accTime > 2) status = 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    status = 2;
  }
  fs::remove_all(dir);
  return status;
}
