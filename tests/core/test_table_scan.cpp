#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>

#include "DbfBytes.h"
#include "TempDir.h"
#include "engine/EDBEngineError.h"
#include "engine/Query.h"
#include "engine/TableScan.h"

namespace drs {
namespace {

using test::FieldSpec;
using test::RecordBytes;
using test::TempDir;
using test::WriteTable;

const std::vector<FieldSpec> kFields = {{"NAME", 'C', 12, 0}, {"WHOLE", 'N', 6, 0}, {"REAL", 'N', 14, 3},
                                        {"FL", 'F', 10, 2},   {"DAY", 'D', 8, 0},   {"OK", 'L', 1, 0}};

// Odd and ordinary bytes of every kind; the third record is deleted.
const std::vector<std::vector<std::string>> kRecords = {
    {"GAZP", "42", "12.500", "1.5", "20261207", "T"},
    {"Газпром ё", "-7", "-3.250", "-0.01", "", "f"},
    {"gone", "1", "1.000", "1", "20260101", "Y"},
    {"", "", "", "", "", ""},
    {"  lead", "+3", "1,5", "abc", "2026", "?"},
    {"ЯЮЭ№", "1.0", "123456789.123", "1e3", "00000000", "n"},
    {"x\tt", " 5 ", "+-5", "-0.00", "  0601  ", " "},
    {"СБЕР", "-", "0.000000000001", "99999.99", "2026-1-1", "N"},
    {"18 digits", "999999", "12345678901234", "inf", "20261231", "F"},
    {std::string("nul\0\0", 5), "0042", ".5", "5.", "19991231", "t"},
};

// A value as a statement gives it, and as the scan gives it.
std::string Seen(const DbValue& v) {
  return std::to_string(int(v.kind)) + "|" + v.AsString() + "|" + std::to_string(v.AsFloat());
}
std::string Seen(const DbfValue& v) {
  const double number = v.kind == DbfValue::Kind::Text ? DbValue::Text(v.Text()).AsFloat() : v.Number();
  return std::to_string(int(v.kind)) + "|" + v.Text() + "|" + std::to_string(number);
}

TEST(TableScan, GivesTheValuesAStatementGivesInBothCodePages) {
  TempDir dir;
  for (const auto& [language, codePage] : {std::pair{0xC9, 1251}, std::pair{0x65, 866}}) {
    SCOPED_TRACE(codePage);
    std::vector<std::string> records;
    for (size_t i = 0; i < kRecords.size(); ++i)
      records.push_back(RecordBytes(kFields, kRecords[i], i == 2, codePage));
    WriteTable(dir.File("T.DBF"), kFields, records, static_cast<unsigned char>(language));

    std::vector<std::string> expected, got;
    TQuery q;
    q.SetDatabaseName(dir.Path());
    q.SetSQL("select rowid,NAME,WHOLE,REAL,FL,DAY,OK from T");
    for (q.Open(); !q.Eof(); q.Next()) {
      std::string row = q.AsString(0);
      for (int c = 1; c <= 6; ++c) row += " " + Seen(q.Value(c));
      expected.push_back(row);
    }
    TableScan scan(dir.File("T.DBF"));
    std::string scratch;
    scan.Scan([&](uint32_t number, const char* rec) {
      std::string row = std::to_string(number);
      for (const DbfField& f : scan.Fields()) row += " " + Seen(ScanField(f, rec, scratch));
      got.push_back(row);
    });
    EXPECT_EQ(got.size(), kRecords.size() - 1);
    EXPECT_EQ(got, expected);

    // A range of record numbers, cut to the table.
    got.clear();
    scan.Scan(2, 99, [&](uint32_t number, const char*) { got.push_back(std::to_string(number)); });
    EXPECT_EQ(got, (std::vector<std::string>{"2", "4", "5", "6", "7", "8", "9", "10"}));
  }
}

// The one reading of N and F fields: odd texts as a table of cases, and the
// quick readings against strtod on texts of every length and precision.
TEST(TableScan, NumericFieldsReadAsTheGeneralReadingOfTheirText) {
  struct Case {
    std::string bytes;
    int decimals;
    DbfValue::Kind kind;
    double value;
  };
  const Case cases[] = {{"    42", 0, DbfValue::Kind::Int, 42},
                        {"  -7\t", 0, DbfValue::Kind::Int, -7},
                        {"  +3", 0, DbfValue::Kind::Int, 3},
                        {"1.0", 0, DbfValue::Kind::Real, 1},
                        {"      ", 0, DbfValue::Kind::Null, 0},
                        {"-", 0, DbfValue::Kind::Null, 0},
                        {"12345678901234567890", 0, DbfValue::Kind::Real, 12345678901234567890.0},
                        {"1,5", 3, DbfValue::Kind::Real, 1.5},
                        {"+-5", 3, DbfValue::Kind::Real, -5},
                        {"abc", 2, DbfValue::Kind::Null, 0},
                        {"inf", 2, DbfValue::Kind::Null, 0},
                        {"1e3", 2, DbfValue::Kind::Real, 1000},
                        {".5", 2, DbfValue::Kind::Real, 0.5},
                        {"5.", 2, DbfValue::Kind::Real, 5},
                        {std::string("2\0\0", 3), 1, DbfValue::Kind::Real, 2},
                        {"0.000000000001", 12, DbfValue::Kind::Real, 1e-12}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    const DbfField f{"N", 'N', 0, uint8_t(c.bytes.size()), uint8_t(c.decimals)};
    const DbfValue v = DecodeDbfNumber(f, c.bytes.data());
    EXPECT_EQ(v.kind, c.kind);
    EXPECT_EQ(v.Number(), c.value);
  }

  std::mt19937_64 random(7);
  for (int i = 0; i < 200000; ++i) {
    std::string text = random() % 2 ? "-" : "";
    const int whole = int(random() % 18), fraction = int(random() % 24);
    for (int d = 0; d < whole; ++d) text += char('0' + random() % 10);
    if (fraction > 0) text += random() % 2 ? "." : ",";
    for (int d = 0; d < fraction; ++d) text += char('0' + random() % 10);
    if (whole + fraction == 0) text += "0";
    std::string dotted = text;
    for (char& ch : dotted)
      if (ch == ',') ch = '.';
    double v = 0;
    ASSERT_TRUE(ParseDbfNumber(text, v)) << text;
    ASSERT_EQ(v, std::strtod(dotted.c_str(), nullptr)) << text;
  }
  // Longer than any field: read whole, not cut.
  const std::string tiny = "0." + std::string(300, '0') + "7";
  double v = 0;
  EXPECT_TRUE(ParseDbfNumber(tiny, v));
  EXPECT_EQ(v, std::strtod(tiny.c_str(), nullptr));
}

TEST(TableScan, ATableCutShortOrMissingIsAnEngineError) {
  TempDir dir;
  const std::string path = dir.File("T.DBF");
  std::vector<std::string> records(30000, RecordBytes(kFields, kRecords[0]));
  WriteTable(path, kFields, records);
  TableScan scan(path);
  ASSERT_EQ(scan.RecordCount(), 30000u);
  uint32_t seen = 0;
  // Cut by another program while the scan is between chunks.
  auto visit = [&](uint32_t, const char*) {
    if (++seen == 1) {
      ASSERT_EQ(::truncate(path.c_str(), 2000), 0);
    }
  };
  try {
    scan.Scan(visit);
    ADD_FAILURE() << "no error";
  } catch (const EDBEngineError& e) {
    EXPECT_NE(std::string(e.what()).find("укорочен"), std::string::npos) << e.what();
  }
  EXPECT_LT(seen, 30000u);

  std::remove(path.c_str());
  EXPECT_THROW(TableScan{path}, EDBEngineError);
}

}  // namespace
}  // namespace drs
