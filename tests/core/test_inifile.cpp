#include <gtest/gtest.h>
#include <sys/stat.h>

#include "TempDir.h"
#include "profile/IniFile.h"
#include "profile/ListSection.h"
#include "utils/Cp1251.h"
#include "utils/Utils.h"

namespace drs {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

class IniFileTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string path = dir.File("test.ini");
};

TEST_F(IniFileTest, MissingFileReadsAsEmpty) {
  IniFile ini(path);
  EXPECT_EQ(ini.ReadString("S", "K", "def"), "def");
  EXPECT_EQ(ini.ReadInteger("S", "K", 7), 7);
  EXPECT_FALSE(ini.SectionExists("S"));
}

TEST_F(IniFileTest, NamesMatchWithoutRegardToCase) {
  WriteBytes(path, Utf8ToCp1251("[IntValues]\r\nFieldSep=2\r\n[Раздел]\r\nКлюч=Значение\r\n"));
  IniFile ini(path);
  EXPECT_EQ(ini.ReadInteger("intvalues", "FIELDSEP", 0), 2);
  EXPECT_EQ(ini.ReadString("РАЗДЕЛ", "ключ", ""), "Значение");
}

TEST_F(IniFileTest, IntegersReadAsTheProfileLayerDoes) {
  WriteBytes(path, "[S]\nhex1=0x1F\nhex2=$1F\nreal=12.0\nempty=\nspaced=1 000\nneg=-3\nblanks=  5  \n");
  IniFile ini(path);
  EXPECT_EQ(ini.ReadInteger("S", "hex1", 0), 31);
  EXPECT_EQ(ini.ReadInteger("S", "hex2", 0), 31);
  EXPECT_EQ(ini.ReadInteger("S", "real", 9), 9);
  EXPECT_EQ(ini.ReadInteger("S", "empty", 9), 9);
  EXPECT_EQ(ini.ReadInteger("S", "spaced", 9), 9);
  EXPECT_EQ(ini.ReadInteger("S", "neg", 9), -3);
  EXPECT_EQ(ini.ReadInteger("S", "blanks", 9), 5);
}

TEST_F(IniFileTest, ValuesAreTrimmedAndUnquoted) {
  WriteBytes(path, "[S]\n  key  =  some value  \nq=\"C:\\a b\\f.ini\"\nhalf=\"x\n");
  IniFile ini(path);
  EXPECT_EQ(ini.ReadString("S", "key", ""), "some value");
  EXPECT_EQ(ini.ReadString("S", "q", ""), "C:\\a b\\f.ini");
  EXPECT_EQ(ini.ReadString("S", "half", ""), "\"x");
}

TEST_F(IniFileTest, ReadsAreCutAt2047Characters) {
  IniFile ini(path);
  std::string longValue(1500, 'a');
  for (int i = 0; i < 1000; ++i) longValue += "ж";
  ini.WriteString("S", "K", longValue);
  std::string back = ini.ReadString("S", "K", "");
  EXPECT_EQ(CharCount(back), 2047u);
  EXPECT_EQ(
      back, longValue.substr(0, 1500) + [] {
        std::string s;
        for (int i = 0; i < 547; ++i) s += "ж";
        return s;
      }());
}

TEST_F(IniFileTest, WritesAre1251AndKeepOtherSections) {
  WriteBytes(path, "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");
  IniFile ini(path);
  ini.WriteString("b", "Y", "Привет");
  ini.WriteInteger("C", "z", 3);
  EXPECT_EQ(ReadBytes(path),
            "[A]\r\nx=1\r\n\r\n[B]\r\ny=" + Utf8ToCp1251("Привет") + "\r\n\r\n[C]\r\nz=3\r\n");
}

TEST_F(IniFileTest, AnotherWritersChangesAreSeenAndKept) {
  IniFile first(path);
  IniFile second(path);
  first.WriteString("A", "k", "1");
  EXPECT_EQ(second.ReadString("A", "k", ""), "1");
  second.WriteString("B", "k", "2");
  first.WriteString("A", "k", "3");  // must not drop section B written by the other object
  IniFile fresh(path);
  EXPECT_EQ(fresh.ReadString("A", "k", ""), "3");
  EXPECT_EQ(fresh.ReadString("B", "k", ""), "2");
}

TEST_F(IniFileTest, FailedWriteRaisesUnableToWriteAndKeepsTheFile) {
  std::string missing = dir.File("no/such/folder.ini");
  IniFile ini(missing);
  try {
    ini.WriteString("S", "K", "v");
    FAIL() << "no error";
  } catch (const EIniWriteError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + missing);
  }
}

TEST_F(IniFileTest, ReadOnlyFileIsRefusedAndKept) {
  WriteBytes(path, "[S]\r\nK=old\r\n");
  ::chmod(path.c_str(), 0444);
  IniFile ro(path);
  EXPECT_THROW(ro.WriteString("S", "K", "new"), EIniWriteError);
  EXPECT_EQ(ReadBytes(path), "[S]\r\nK=old\r\n");
  EXPECT_EQ(ro.ReadString("S", "K", ""), "old");
}

TEST_F(IniFileTest, EraseSectionRemovesEveryKey) {
  IniFile ini(path);
  ini.WriteString("L", "Item0", "a");
  ini.WriteString("Other", "k", "v");
  ini.EraseSection("l");
  EXPECT_FALSE(ini.SectionExists("L"));
  EXPECT_TRUE(ini.SectionExists("Other"));
}

class ListSectionTest : public IniFileTest {};

TEST_F(ListSectionTest, RewritingAShorterListLeavesNoOldItems) {
  IniFile ini(path);
  WriteListSection(ini, "ExtFormat", {"1", "2", "3", "4", "5"});
  WriteListSection(ini, "ExtFormat", {"a", "b", "c"});
  IniDocument doc = ini.Document();
  EXPECT_EQ(doc.KeyNames("ExtFormat"), (std::vector<std::string>{"Count", "Item0", "Item1", "Item2"}));
  std::vector<std::string> items;
  ReadListSection(ini, "ExtFormat", items, ListReadMode::Append);
  EXPECT_EQ(items, (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(ListSectionTest, MissingItemsAreSkipped) {
  WriteBytes(path, "[L]\nCount=3\nItem0=first\nItem2=third\nItem3=beyond\nItem01=not one\n");
  IniFile ini(path);
  std::vector<std::string> items;
  EXPECT_TRUE(ReadListSection(ini, "L", items, ListReadMode::Append));
  EXPECT_EQ(items, (std::vector<std::string>{"first", "third"}));
}

TEST_F(ListSectionTest, AbsentCountLeavesTheTargetAsItWas) {
  WriteBytes(path, "[L]\nItem0=x\n");
  IniFile ini(path);
  std::vector<std::string> items{"kept"};
  EXPECT_FALSE(ReadListSection(ini, "L", items, ListReadMode::Replace));
  EXPECT_EQ(items, (std::vector<std::string>{"kept"}));
}

TEST_F(ListSectionTest, ReadModes) {
  WriteBytes(path, "[L]\nCount=1\nItem0=new\n[Z]\nCount=0\n");
  IniFile ini(path);
  std::vector<std::string> appended{"old"};
  ReadListSection(ini, "L", appended, ListReadMode::Append);
  EXPECT_EQ(appended, (std::vector<std::string>{"old", "new"}));
  std::vector<std::string> replaced{"old"};
  ReadListSection(ini, "L", replaced, ListReadMode::Replace);
  EXPECT_EQ(replaced, (std::vector<std::string>{"new"}));
  std::vector<std::string> emptied{"old"};
  EXPECT_TRUE(ReadListSection(ini, "Z", emptied, ListReadMode::Replace));
  EXPECT_TRUE(emptied.empty());
}

TEST_F(ListSectionTest, HugeCountDoesNotHang) {
  WriteBytes(path, "[L]\nCount=2000000000\nItem0=a\nItem1999999999=z\n");
  IniFile ini(path);
  std::vector<std::string> items;
  ReadListSection(ini, "L", items, ListReadMode::Append);
  EXPECT_EQ(items, (std::vector<std::string>{"a", "z"}));
}

TEST_F(ListSectionTest, ItemsKeepBlanksAndEmptyLines) {
  IniFile ini(path);
  WriteListSection(ini, "ReplaceList", {"$A=1;", "", "@SBER=10;"});
  std::vector<std::string> items;
  ReadListSection(ini, "ReplaceList", items, ListReadMode::Append);
  EXPECT_EQ(items, (std::vector<std::string>{"$A=1;", "", "@SBER=10;"}));
}

}  // namespace
}  // namespace drs
