// Shared setup of the engine tests: a temporary folder holding the tables,
// the statements the program sends, and raw file helpers.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/Query.h"
#include "export/Export.h"
#include "export/Turnovers.h"

namespace enginetest {

namespace fs = std::filesystem;

inline const char* kOutputView = "select CLIENTID,TICKER,OPERTYPE,PRICE,QTY,DATES,SDEL,BROCID from %M";
inline const std::vector<std::string> kInsertDeal = {
    "insert into %M (CLIENTID,TICKER,OPERTYPE,PRICE,QTY,DATES,SDEL,BROCID)", "values",
    "(:CLIENTID,:TICKER,:OPERTYPE,:PRICE,:QTY,:DATE,:SDEL,:BROCID)"};
inline std::string ColumnCheck(const std::string& t) { return "select * from \"" + t + "\""; }
inline std::string Clear(const std::string& t) { return "delete from \"" + t + "\""; }
inline std::string SumsBySecurity(const std::string& t) {
  return "select  ticker,OPERTYPE,SUM(QTY) summa from \"" + t +
         "\" group by ticker,opertype order by ticker,OPERTYPE";
}
inline std::string SumsForAccount(const std::string& t) {
  return "select  ticker,OPERTYPE,SUM(QTY) summa from \"" + t +
         "\" where clientid=:clientid group by ticker,opertype order by ticker,OPERTYPE";
}
inline std::string Accounts(const std::string& t) { return "Select  distinct clientid from \"" + t + "\""; }
inline const char* kInsertShob = "insert into shob (ticker,buy,sal,saldo) values (:ticker,:buy,:sal,:saldo)";
inline const char* kInsertClob =
    "insert into clob (clientid,ticker,buy,sal,saldo) values (:clientid,:ticker,:buy,:sal,:saldo)";
inline const char* kViewShob = "select ticker,buy,sal,saldo from shob order by ticker";
inline const char* kViewClob = "select clientid,ticker,buy,sal,saldo from clob order by clientid,ticker";

using drs::CreateOutputTable;
inline void CreateShob(const std::string& path) { drs::CreateTurnoverTable(path, false); }
inline void CreateClob(const std::string& path) { drs::CreateTurnoverTable(path, true); }

inline std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
inline uint32_t Count(const std::string& b) {
  auto u = [&](size_t i) { return uint32_t(static_cast<unsigned char>(b[i])); };
  return u(4) | u(5) << 8 | u(6) << 16 | u(7) << 24;
}

struct Deal {
  std::string client, ticker;
  double op, price, qty;
  std::string sdel = "1", broker = "BRK";
};

inline void Bind(drs::TQuery& q, const Deal& d) {
  q.SetString("CLIENTID", d.client);
  q.SetString("TICKER", d.ticker);
  q.SetFloat("OPERTYPE", d.op);
  q.SetFloat("PRICE", d.price);
  q.SetFloat("QTY", d.qty);
  q.SetDate("DATE", 2024, 3, 15);
  q.SetString("SDEL", d.sdel);
  q.SetString("BROCID", d.broker);
}

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int n = 0;
    dir =
        fs::temp_directory_path() / ("drs_engine_" + std::to_string(::getpid()) + "_" + std::to_string(++n));
    fs::create_directories(dir);
    setenv("XDG_CONFIG_HOME", dir.string().c_str(), 1);
    oldCwd = fs::current_path();
    out = (dir / "DEALS.DBF").string();
    CreateOutputTable(out);
  }
  void TearDown() override {
    fs::current_path(oldCwd);
    fs::remove_all(dir);
  }
  // Sets `q` to the insert deal statement into `table` of the test folder.
  void PrepareInsert(drs::TQuery& q, const std::string& table = "DEALS") const {
    q.SetDatabaseName(dir.string());
    q.SetSQL(kInsertDeal);
    q.SetMacro("M", drs::MacroTableName(table));
    q.RegenerateSQL();
  }
  // Inserts the deals through the insert deal statement, prepared once.
  void Insert(const std::vector<Deal>& deals, const std::string& table = "DEALS") {
    drs::TQuery q;
    PrepareInsert(q, table);
    for (const auto& d : deals) {
      Bind(q, d);
      q.ExecSQL();
    }
  }
  fs::path dir, oldCwd;
  std::string out;
};

// Runs a shell command and returns its standard output.
inline std::string Shell(const std::string& cmd) {
  std::string result;
  if (FILE* p = ::popen(cmd.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) result.append(buf, n);
    ::pclose(p);
  }
  return result;
}

}  // namespace enginetest
