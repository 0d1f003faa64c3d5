// The journal's file and its on-screen line limit.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/JournalFile.h"
#include "utils/Cp1251.h"
#include "utils/Errors.h"

using namespace drs;
namespace fs = std::filesystem;

namespace {

class JournalFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("jrn_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    path = (dir / "drsprep.jrn").string();
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir, fs::perms::owner_all, ec);
    fs::remove_all(dir, ec);
  }
  std::string Bytes() const {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  fs::path dir;
  std::string path;
};

}  // namespace

TEST(JournalLinesTest, KeepsTheLastMaxLines) {
  JournalLines lines;
  for (const char* l : {"a", "b", "c"}) EXPECT_FALSE(lines.Add(l, 3));
  EXPECT_TRUE(lines.Add("d", 3));
  EXPECT_EQ(lines.Lines(), (std::deque<std::string>{"b", "c", "d"}));
  // A lowered limit drops one old line per addition, never several.
  EXPECT_TRUE(lines.Add("e", 1));
  EXPECT_EQ(lines.Count(), 3u);
  // No limit at all still keeps the newest line.
  JournalLines none;
  none.Add("x", 0);
  none.Add("y", 0);
  EXPECT_EQ(none.Lines(), (std::deque<std::string>{"y"}));
}

TEST_F(JournalFileTest, AppendsIn1251WithCrLfAndNeverTrims) {
  JournalFile f;
  f.Open(path);  // creates the file
  EXPECT_TRUE(fs::exists(path));
  EXPECT_EQ(Bytes(), "");
  f.Append("Список неотмеченных счетов");
  f.Append("1001");
  EXPECT_EQ(Bytes(), Utf8ToCp1251("Список неотмеченных счетов") + "\r\n1001\r\n");  // on disk at once
  f.Close();
  JournalFile again;
  again.Open(path);
  again.Append("1002");
  again.Close();
  EXPECT_EQ(JournalFile::ReadLines(path),
            (std::vector<std::string>{"Список неотмеченных счетов", "1001", "1002"}));
}

TEST_F(JournalFileTest, TruncateEmptiesAndKeepsWriting) {
  JournalFile f;
  f.Open(path);
  f.Append("old");
  f.Truncate();
  EXPECT_EQ(Bytes(), "");
  f.Append("new");
  f.Close();
  EXPECT_EQ(Bytes(), "new\r\n");
}

TEST_F(JournalFileTest, ReadsEveryKindOfLineEnd) {
  {
    std::ofstream out(path, std::ios::binary);
    out << "a\r\nb\nc\rd";
  }
  EXPECT_EQ(JournalFile::ReadLines(path), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_TRUE(JournalFile::ReadLines((dir / "missing.jrn").string()).empty());
}

TEST_F(JournalFileTest, FailuresRaiseInputOutputErrors) {
  JournalFile f;
  EXPECT_THROW(f.Append("x"), EInOutError);
  EXPECT_THROW(f.Open((dir / "no" / "such" / "folder.jrn").string()), EInOutError);
  EXPECT_FALSE(f.IsOpen());
  try {
    f.Open((dir / "no" / "x.jrn").string());
    FAIL();
  } catch (const EInOutError& e) {
    EXPECT_NE(std::string(e.what()).find("x.jrn"), std::string::npos);
  }
}
