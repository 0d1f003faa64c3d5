// The control totals over many small random reports: exported in append
// mode into tables of foreign column kinds, they always agree; one value of
// the written rows altered before they are read back never does.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "DbfBytes.h"
#include "ExportFixture.h"
#include "TempDir.h"
#include "engine/DbfFormat.h"
#include "engine/Query.h"
#include "engine/TableWriter.h"
#include "export/Export.h"
#include "export/ExportProgress.h"

namespace drs {
namespace {

using test::Deal;
using test::DealsFixture;
using test::FieldSpec;

// Fewer under the sanitizers and on Windows, where Wine takes every file
// call through its server.
#if defined(__SANITIZE_ADDRESS__) || defined(_WIN32)
constexpr int kReports = 200, kAltered = 100;
#else
constexpr int kReports = 2000, kAltered = 1000;
#endif

// The alteration runs where the written records are on disk and before they
// are read back: given the file, where the export's records start, how many
// there are and their length (the shape of TableWriter::ReadBackHook).
using Alteration = std::function<void(const std::string& file, uint64_t firstRecordAt, uint32_t records,
                                      uint16_t recordLength)>;

const char* const kTickers[] = {"GAZP", "СБЕР", "LKOH", "MTSS "};

std::string Digits(std::mt19937& rng, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += char('0' + rng() % 10);
  return s;
}

// A report of a few deals of few accounts, securities and orders, so that
// both squeezes merge; prices with 0-30 decimals, fractional lots.
DealsFixture RandomReport(std::mt19937& rng) {
  const char sep = rng() % 2 ? ',' : '.';
  auto number = [&](std::string whole, int decimals) {
    return decimals == 0 ? whole : whole + sep + Digits(rng, decimals);
  };
  std::vector<Deal> deals;
  const int n = 1 + int(rng() % 12);
  for (int i = 0; i < n; ++i) {
    Deal d;
    d.account = "10" + std::to_string(rng() % 3);
    d.ticker = kTickers[rng() % 4];
    d.oper = rng() % 5 == 0 ? "b" : rng() % 2 ? "B" : "S";
    d.price = number(std::to_string(rng() % (rng() % 2 ? 100 : 100000)), int(rng() % 31));
    switch (rng() % 4) {
      case 0:
        d.lots = std::to_string(1 + rng() % 50);
        break;
      case 1:
        d.lots = number(std::to_string(rng() % 20), 2);
        break;
      case 2:
        d.lots = number(std::to_string(rng() % 3), 1 + int(rng() % 3));
        break;
      default:
        d.lots = number(std::to_string(rng() % 5), 1) + "5";
        break;
    }
    if (d.lots.find_first_not_of("0.,") == std::string::npos) d.lots = "0" + std::string(1, sep) + "25";
    d.number = std::to_string(77 + rng() % 2);
    d.marked = rng() % 6 != 0;
    deals.push_back(d);
  }
  static const int kLots[] = {1, 1, 10, 100, 7, 1000};
  DealsFixture f(deals, kLots[rng() % 6]);
  f.format.decSepChar = sep;
  std::string list = "@";
  for (const char* t : kTickers)
    if (rng() % 2) list += std::string(t) + "=" + std::to_string(kLots[rng() % 6]) + ";";
  if (list.size() > 1) f.lists.ParseLine(list, 1);
  return f;
}

// The output columns with foreign kinds for OPERTYPE, PRICE and QTY.
std::vector<FieldSpec> RandomColumns(std::mt19937& rng) {
  static const FieldSpec kOper[] = {{"OPERTYPE", 'N', 6, 0},
                                    {"OPERTYPE", 'N', 6, 2},
                                    {"OPERTYPE", 'F', 6, 2},
                                    {"OPERTYPE", 'C', 1, 0},
                                    {"OPERTYPE", 'L', 1, 0}};
  static const FieldSpec kPrice[] = {{"PRICE", 'N', 20, 5}, {"PRICE", 'N', 19, 3}, {"PRICE", 'F', 20, 5}};
  static const FieldSpec kQty[] = {{"QTY", 'N', 20, 5}, {"QTY", 'N', 20, 1}};
  return {{"CLIENTID", 'C', 16, 0}, {"TICKER", 'C', 50, 0}, kOper[rng() % 5],     kPrice[rng() % 3],
          kQty[rng() % 2],          {"DATES", 'D', 8, 0},   {"SDEL", 'C', 11, 0}, {"BROCID", 'C', 16, 0}};
}

size_t FieldAt(const std::vector<FieldSpec>& fields, int index) {
  size_t at = 1;
  for (int i = 0; i < index; ++i) at += size_t(fields[size_t(i)].length);
  return at;
}

// A number field's text one unit of its last decimal up or down.
std::string Nudged(const std::string& text, int decimals, int by) {
  std::string digits;
  bool negative = false;
  for (char c : text) {
    if (c == '-') negative = true;
    if (c >= '0' && c <= '9') digits += c;
  }
  long long units = std::stoll(digits) * (negative ? -1 : 1) + by;
  std::string s = std::to_string(units < 0 ? -units : units);
  if (decimals > 0) {
    if (s.size() <= size_t(decimals)) s.insert(0, size_t(decimals) + 1 - s.size(), '0');
    s.insert(s.size() - size_t(decimals), ".");
  }
  s = (units < 0 ? "-" : "") + s;
  return std::string(text.size() - s.size(), ' ') + s;
}

// One value of one of the export's records changed: TICKER to another
// security, OPERTYPE to the other direction, PRICE or QTY by one unit of its
// last decimal.
Alteration OneValueChanged(const std::vector<FieldSpec>& fields, std::mt19937& rng) {
  return [fields, &rng](const std::string& file, uint64_t firstRecordAt, uint32_t records,
                        uint16_t recordLength) {
    ASSERT_GT(records, 0u);
    std::fstream io(file, std::ios::in | std::ios::out | std::ios::binary);
    const uint64_t at = firstRecordAt + uint64_t(rng() % records) * recordLength;
    std::string record(recordLength, '\0');
    io.seekg(std::streamoff(at));
    io.read(record.data(), recordLength);
    const int field = 1 + int(rng() % 4);  // TICKER, OPERTYPE, PRICE, QTY
    const FieldSpec& f = fields[size_t(field)];
    const size_t offset = FieldAt(fields, field);
    std::string value = record.substr(offset, size_t(f.length));
    if (field == 1) {
      const std::string now = value.substr(0, value.find_last_not_of(' ') + 1);
      std::string other = Utf8ToCp1251(kTickers[rng() % 4]);
      if (other.substr(0, other.find_last_not_of(' ') + 1) == now) other = "SBERP";
      value = other + std::string(size_t(f.length) - other.size(), ' ');
    } else if (field == 2) {
      for (char& c : value) {
        if (c == '0' || c == '1') c = c == '0' ? '1' : '0';
        if (c == 'T' || c == 'F') c = c == 'T' ? 'F' : 'T';
        if (c == '.') break;  // the whole number only
      }
    } else {
      value = Nudged(value, f.decimals, rng() % 2 ? 1 : -1);
    }
    record.replace(offset, value.size(), value);
    io.seekp(std::streamoff(at));
    io.write(record.data(), recordLength);
  };
}

class RandomReconciliationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
    settings.outFileName = dir.File("DEALS.DBF");
    settings.writeMode = 1;
    settings.tradeDate = "07.12.2026";
    settings.brokerAcc = "BRK01";
  }

  // Exports the report into a new table of the given columns holding
  // `before` rows of another day. The table is put in place by a rename,
  // without a sync: a run takes a millisecond.
  ExportResult Run(const DealsFixture& f, const std::vector<FieldSpec>& specs, uint32_t before) {
    std::vector<DbfField> fields;
    for (const FieldSpec& s : specs)
      fields.push_back({s.name, s.type, 0, uint8_t(s.length), uint8_t(s.decimals)});
    DbfLayout(fields);
    const unsigned char date[3] = {126, 1, 1};
    std::string bytes = DbfHeaderBytes(fields, before, date);
    for (uint32_t i = 0; i < before; ++i)
      bytes += test::RecordBytes(specs, {"9", "GAZP", "1", "7", "10", "20260101", "1", "B"});
    std::remove(settings.outFileName.c_str());  // a rename over it would flush the new file
    test::WriteBytes(dir.File("next.tmp"), bytes);
    std::rename(dir.File("next.tmp").c_str(), settings.outFileName.c_str());
    messages.shown.clear();
    ScopedMessageHandler scope(&messages);
    return ExportMarkedDeals(f.Source(), settings, progress, view);
  }

  // Every later export alters one value before its records are read back.
  void Plant(Alteration alter) { TableWriter::SetReadBackHook(std::move(alter)); }
  void TearDown() override { Plant(nullptr); }

  test::TempDir dir;
  ExportSettings settings;
  test::RecordingMessages messages;
  SilentProgress progress;
  TQuery view;
};

TEST_F(RandomReconciliationTest, RandomReportsAgreeInEveryColumnKindAndSqueeze) {
  std::mt19937 rng(20261207);
  int runs = 0, falseAlarms = 0;
  for (int report = 0; report < kReports; ++report) {
    const DealsFixture f = RandomReport(rng);
    const std::vector<FieldSpec> fields = RandomColumns(rng);
    for (int squeezes = 0; squeezes < 4; ++squeezes) {
      settings.squeezeOrders = squeezes & 1;
      settings.squeezeClients = squeezes & 2;
      const ExportResult result = Run(f, fields, rng() % 3);
      if (!result.control) continue;  // nothing written: a zero quantity, refused lines
      ++runs;
      if (!result.control->Agrees()) {
        ++falseAlarms;
        if (falseAlarms <= 3) {
          std::string text;
          for (const std::string& line : result.control->JournalLines("DEALS")) text += line + "\n";
          ADD_FAILURE() << "report " << report << " squeezes " << squeezes << ", columns " << fields[2].type
                        << int(fields[2].length) << "." << int(fields[2].decimals) << " " << fields[3].type
                        << int(fields[3].length) << "." << int(fields[3].decimals) << " " << fields[4].type
                        << int(fields[4].length) << "." << int(fields[4].decimals) << "\n"
                        << text;
        }
      }
    }
  }
  EXPECT_GT(runs, kReports * 3);
  EXPECT_EQ(falseAlarms, 0) << "of " << runs << " exports";
}

TEST_F(RandomReconciliationTest, OneValueAlteredBeforeTheReadingBackIsAlwaysCaught) {
  std::mt19937 rng(7122026);
  int runs = 0, missed = 0;
  for (int report = 0; report < kAltered; ++report) {
    const DealsFixture f = RandomReport(rng);
    const std::vector<FieldSpec> fields = RandomColumns(rng);
    settings.squeezeOrders = rng() % 2;
    settings.squeezeClients = rng() % 2;
    Plant(OneValueChanged(fields, rng));
    const ExportResult result = Run(f, fields, rng() % 3);
    if (!result.control) continue;
    ++runs;
    const bool shown =
        !messages.shown.empty() && messages.shown.back().text == "Контрольные суммы не сходятся";
    if (result.control->Agrees() || !shown) ++missed;
  }
  Plant(nullptr);
  EXPECT_GT(runs, kAltered * 3 / 4);
  EXPECT_EQ(missed, 0) << "of " << runs << " exports";
}

}  // namespace
}  // namespace drs
