#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "OtherLock.h"
#include "engine/DbfFile.h"
#include "export/Export.h"
#include "export/MakeDBF.h"
#include "export/Turnovers.h"

namespace fs = std::filesystem;
using drs::TDBF;

namespace {

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
unsigned U8(const std::string& s, size_t i) { return static_cast<unsigned char>(s[i]); }
unsigned U16(const std::string& s, size_t i) { return U8(s, i) | U8(s, i + 1) << 8; }
unsigned U32(const std::string& s, size_t i) { return U16(s, i) | U16(s, i + 2) << 16; }

class MakeDbfTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("drs_makedbf_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    setenv("XDG_CONFIG_HOME", dir.string().c_str(), 1);
  }
  void TearDown() override { fs::remove_all(dir); }
  fs::path dir;
};

}  // namespace

TEST_F(MakeDbfTest, OutputTableIsByteExact) {
  ASSERT_TRUE(drs::CreateOutputTable((dir / "OUT.DBF").string()));
  std::string b = ReadAll(dir / "OUT.DBF");
  ASSERT_EQ(b.size(), 289u);
  EXPECT_EQ(U8(b, 0), 3u);
  EXPECT_EQ(U8(b, 1), 95u);
  EXPECT_EQ(U8(b, 2), 12u);
  EXPECT_EQ(U8(b, 3), 28u);
  EXPECT_EQ(U32(b, 4), 0u);
  EXPECT_EQ(U16(b, 8), 289u);
  EXPECT_EQ(U16(b, 10), 148u);
  for (size_t i = 12; i < 32; ++i) EXPECT_EQ(U8(b, i), 0u) << i;
  EXPECT_EQ(U8(b, 288), 0x0Du);
  EXPECT_EQ(b.find('\x1A'), std::string::npos);

  const char* names[] = {"CLIENTID", "TICKER", "OPERTYPE", "PRICE", "QTY", "DATES", "SDEL", "BROCID"};
  const char types[] = {'C', 'C', 'N', 'N', 'N', 'D', 'C', 'C'};
  const unsigned disp[] = {1, 17, 67, 73, 93, 113, 121, 132};
  const unsigned len[] = {16, 50, 6, 20, 20, 8, 11, 16};
  const unsigned dec[] = {0, 0, 0, 5, 5, 0, 0, 0};
  for (size_t f = 0; f < 8; ++f) {
    size_t at = 32 + 32 * f;
    std::string name = names[f];
    EXPECT_EQ(b.substr(at, name.size()), name);
    for (size_t i = at + name.size(); i < at + 11; ++i) EXPECT_EQ(U8(b, i), 0u) << name;
    EXPECT_EQ(b[at + 11], types[f]);
    EXPECT_EQ(U32(b, at + 12), disp[f]) << name;
    EXPECT_EQ(U8(b, at + 16), len[f]);
    EXPECT_EQ(U8(b, at + 17), dec[f]);
    for (size_t i = at + 18; i < at + 32; ++i) EXPECT_EQ(U8(b, i), 0u) << name;
  }
}

TEST_F(MakeDbfTest, TurnoverTablesHaveTheirSizes) {
  ASSERT_TRUE(drs::CreateTurnoverTable((dir / "ShOb.DBF").string(), false));
  std::string b = ReadAll(dir / "ShOb.DBF");
  EXPECT_EQ(b.size(), 161u);
  EXPECT_EQ(U16(b, 8), 161u);
  EXPECT_EQ(U16(b, 10), 111u);

  ASSERT_TRUE(drs::CreateTurnoverTable((dir / "CLOb.DBF").string(), true));
  b = ReadAll(dir / "CLOb.DBF");
  EXPECT_EQ(b.size(), 193u);
  EXPECT_EQ(U16(b, 10), 161u);
  EXPECT_EQ(b.back(), '\x0D');
}

TEST_F(MakeDbfTest, AddFieldUpperCasesAndRefusesOtherTypes) {
  TDBF t;
  EXPECT_TRUE(t.AddField("qty", "n", 20, 5));
  EXPECT_FALSE(t.AddField("memo", "X", 10, 0));
  EXPECT_FALSE(t.AddField("memo", "M", 10, 0));
  EXPECT_TRUE(t.AddField("flag", 'l', 1, 0));
  EXPECT_TRUE(t.AddField("day", 'd', 8, 0));
  // Names that do not fit the descriptor, and lengths a byte cannot hold.
  EXPECT_FALSE(t.AddField("ABCDEFGHIJKL", 'C', 5, 0));
  EXPECT_FALSE(t.AddField("", 'C', 5, 0));
  EXPECT_FALSE(t.AddField("BIG", 'C', 256, 0));
  ASSERT_EQ(t.Fields().size(), 3u);
  t.FileName = (dir / "x.dbf").string();
  ASSERT_TRUE(t.CreateTable());
  std::string b = ReadAll(dir / "x.dbf");
  EXPECT_EQ(U16(b, 8), 32u * 3 + 33);
  EXPECT_EQ(b.substr(32, 3), "QTY");
  EXPECT_EQ(b[43], 'N');
  EXPECT_EQ(b.substr(64, 4), "FLAG");
  EXPECT_EQ(b[75], 'L');
  EXPECT_EQ(U32(b, 64 + 12), 21u);
}

TEST_F(MakeDbfTest, OverwritesAndReportsFailure) {
  fs::path p = dir / "o.dbf";
  std::ofstream(p) << std::string(1000, 'x');
  TDBF t;
  t.AddField("A", 'C', 3, 0);
  t.FileName = p.string();
  ASSERT_TRUE(t.CreateTable());
  EXPECT_EQ(fs::file_size(p), 65u);
  t.FileName = (dir / "no" / "such" / "o.dbf").string();
  EXPECT_FALSE(t.CreateTable());
}

// A table is replaced only under its exclusive lock: while another writer
// holds it, CreateTable waits, then refuses and leaves the file as it was.
TEST_F(MakeDbfTest, ReplacingWaitsForTheTablesLock) {
  const fs::path p = dir / "held.dbf";
  ASSERT_TRUE(drs::CreateOutputTable(p.string()));
  std::ofstream(p, std::ios::app) << std::string(148, 'r');
  const std::string before = ReadAll(p);
  drs::test::OtherProgramsLock lock(p.string());
  ASSERT_TRUE(lock.Held());
  drs::DbfFile::SetLockWait(std::chrono::milliseconds(300));
  const auto start = std::chrono::steady_clock::now();
  std::string error;
  EXPECT_FALSE(drs::CreateOutputTable(p.string(), &error));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
  EXPECT_NE(error.find("занята другой программой"), std::string::npos) << error;
  EXPECT_EQ(ReadAll(p), before);
  // Released within the wait: the table is replaced.
  drs::DbfFile::SetLockWait(std::chrono::milliseconds(5000));
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    lock.Release();
  });
  EXPECT_TRUE(drs::CreateOutputTable(p.string(), &error)) << error;
  release.join();
  EXPECT_EQ(fs::file_size(p), 289u);
}
