// Timed runs of the table engine on an output table (1,000,000 rows unless
// told otherwise):
//   inserts through the insert deal statement (prepared once), autocommit,
//   in transactions of 4096 rows, and in one transaction;
//   sums by security, and sums for 2,000 accounts answered from the index;
//   the turnovers' sums by security and by account in one pass over the
//   table (phases S and P).
// Each phase prints wall time and CPU time (user + system) of this process:
// on a shared machine the CPU time is the figure to judge by.
//
//   bench_engine [rows] [phases]   phases: any of a g t s p S P (default all)
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/Query.h"
#include "export/Export.h"
#include "export/TurnoverPairing.h"
#include "export/TurnoverSums.h"

namespace fs = std::filesystem;

namespace {

double CpuSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Timer {
  std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
  double cpu = CpuSeconds();
  double Wall() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
  }
  double Cpu() const { return CpuSeconds() - cpu; }
};

const int kAccounts = 2000;

// Inserts `rows` deals; group 0 = autocommit, else begin/commit every
// `group` rows the way the export groups them.
void Insert(const fs::path& dir, const std::string& table, int rows, int group) {
  std::vector<std::string> clients, tickers;
  for (int i = 0; i < kAccounts; ++i) clients.push_back(std::to_string(100000 + i));
  for (int i = 0; i < 300; ++i) tickers.push_back("SEC" + std::to_string(i));
  drs::TQuery ins, tx;
  ins.SetDatabaseName(dir.string());
  tx.SetDatabaseName(dir.string());
  ins.SetSQL({"insert into %M (CLIENTID,TICKER,OPERTYPE,PRICE,QTY,DATES,SDEL,BROCID)", "values",
              "(:CLIENTID,:TICKER,:OPERTYPE,:PRICE,:QTY,:DATE,:SDEL,:BROCID)"});
  ins.SetMacro("M", table);
  ins.RegenerateSQL();
  // Both statements share nothing but the file, so the transaction has to
  // live on the insert's own connection: run begin/commit through it.
  auto run = [&](const char* sql) {
    ins.SetSQL(sql);
    ins.ExecSQL();
    ins.SetSQL({"insert into %M (CLIENTID,TICKER,OPERTYPE,PRICE,QTY,DATES,SDEL,BROCID)", "values",
                "(:CLIENTID,:TICKER,:OPERTYPE,:PRICE,:QTY,:DATE,:SDEL,:BROCID)"});
    ins.RegenerateSQL();
  };
  bool open = false;
  for (int i = 0; i < rows; ++i) {
    if (group > 0 && !open) {
      run("begin");
      open = true;
    }
    ins.SetString("CLIENTID", clients[size_t(i) % clients.size()]);
    ins.SetString("TICKER", tickers[size_t(i * 7) % tickers.size()]);
    ins.SetFloat("OPERTYPE", i % 2);
    ins.SetFloat("PRICE", 100 + (i % 1000) * 0.001);
    ins.SetFloat("QTY", (i % 50 + 1) * 10.0);
    ins.SetDate("DATE", 2024, 3, 15);
    ins.SetString("SDEL", std::to_string(i));
    ins.SetString("BROCID", "BRK01");
    ins.ExecSQL();
    if (open && (i + 1) % group == 0) {
      run("commit");
      open = false;
    }
  }
  if (open) run("commit");
}

void Report(const char* what, const std::string& detail, const Timer& t, double limit, bool& over) {
  double cpu = t.Cpu(), wall = t.Wall();
  std::printf("%-26s %-26s wall %7.3f s  cpu %7.3f s", what, detail.c_str(), wall, cpu);
  if (limit > 0) {
    std::printf("  (limit %g s)", limit);
    if (cpu > limit) over = true;
  }
  std::printf("\n");
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? std::atoi(argv[1]) : 1000000;
  const std::string phases = argc > 2 ? argv[2] : "agtspSP";
  auto want = [&](char c) { return phases.find(c) != std::string::npos; };
  // The limits hold for a million rows; smaller runs only show figures.
  const bool full = rows >= 1000000;
  fs::path dir = fs::temp_directory_path() / ("drs_bench_engine_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  drs::CreateOutputTable((dir / "DEALS.DBF").string());
  drs::CreateOutputTable((dir / "GROUPED.DBF").string());
  drs::CreateOutputTable((dir / "ONETX.DBF").string());
  const std::string n = std::to_string(rows) + " rows";

  int status = 0;
  bool over = false;
  try {
    if (want('a')) {
      Timer t;
      Insert(dir, "DEALS", rows, 0);
      Report("inserts, autocommit", n, t, full ? 3 : 0, over);
    }
    if (want('g')) {
      Timer t;
      Insert(dir, "GROUPED", rows, 4096);
      Report("inserts, groups of 4096", n, t, full ? 3 : 0, over);
    }
    if (want('t')) {
      Timer t;
      Insert(dir, "ONETX", rows, rows);
      Report("inserts, one transaction", n, t, full ? 3 : 0, over);
    }
    // The sums read the autocommit table, or the first one written.
    std::string table = want('a') ? "DEALS" : want('g') ? "GROUPED" : "ONETX";
    if (want('s')) {
      Timer t;
      drs::TQuery sums;
      sums.SetDatabaseName(dir.string());
      sums.SetSQL("select  ticker,OPERTYPE,SUM(QTY) summa from \"" + table +
                  "\" group by ticker,opertype order by ticker,OPERTYPE");
      sums.Open();
      int groups = 0;
      double total = 0;
      for (; !sums.Eof(); sums.Next()) ++groups, total += sums.AsFloat(2);
      Report("sums by security", std::to_string(groups) + " groups", t, full ? 1 : 0, over);
      std::printf("%-26s %.2f\n", "  total quantity", total);
    }
    if (want('p')) {
      Timer t;
      drs::TQuery acc;
      acc.SetDatabaseName(dir.string());
      acc.SetSQL("Select  distinct clientid from \"" + table + "\"");
      acc.Open();
      std::vector<std::string> list;
      for (; !acc.Eof(); acc.Next()) list.push_back(acc.AsString(0));
      drs::TQuery one;
      one.SetDatabaseName(dir.string());
      one.SetSQL("select  ticker,OPERTYPE,SUM(QTY) summa from \"" + table +
                 "\" where clientid=:clientid group by ticker,opertype order by ticker,OPERTYPE");
      long total = 0;
      for (const auto& a : list) {
        one.SetString("clientid", a);
        one.Open();
        for (; !one.Eof(); one.Next()) ++total;
      }
      Report("sums per account",
             std::to_string(list.size()) + " accounts, " + std::to_string(total) + " rows", t, full ? 2 : 0,
             over);
    }
    for (const char phase : {'S', 'P'}) {
      if (!want(phase)) continue;
      Timer t;
      drs::TurnoverPairing pairing;
      if (!drs::SumTurnoversByScan((dir / (table + ".DBF")).string(), phase == 'P', pairing))
        throw std::runtime_error("the table is not one the scan reads");
      const size_t groups = pairing.Finish().size();
      Report(phase == 'S' ? "turnovers by security" : "turnovers by account",
             std::to_string(groups) + " rows", t, full ? 0.1 : 0, over);
    }
    if (over) status = 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    status = 2;
  }
  fs::remove_all(dir);
  return status;
}
