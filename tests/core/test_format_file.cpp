#include <gtest/gtest.h>

#include "TempDir.h"
#include "format/FormatFile.h"
#include "profile/IniFile.h"
#include "support/AppPaths.h"
#include "utils/Cp1251.h"

namespace drs {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

const char* const kWorkedExample =
    "[IntValues]\r\n"
    "FieldSep=0\r\n"
    "DecSep=1\r\n"
    "Format=0\r\n"
    "Lot=100\r\n"
    "\r\n"
    "[ExtFormat]\r\n"
    "Count=8\r\n"
    "Item0=Номер сделки;1;Да;1;70;Номер сделки;6;;\r\n"
    "Item1=Номер заявки;2;Да;2;70;Номер заявки;5;;\r\n"
    "Item2=Счет;5;Да;3;80;Идентификатор счета;0;;\r\n"
    "Item3=Код ЦБ;6;Да;4;90;Код ЦБ;1;;\r\n"
    "Item4=Операция;7;Да;5;40;Код операции (Покупка / продажа);4;;\r\n"
    "Item5=Цена;8;Да;6;70;Цена сделки;3;;\r\n"
    "Item6=Количество;9;Да;7;60;Количество ЦБ (Лоты);2;;\r\n"
    "Item7=Время;3;Нет;8;60;;;;\r\n";

TEST(FormatRow, SplitsSevenFieldsAndJoinsWithTheEmptyEighth) {
  FormatRow row = SplitFormatRow("Счет;5;Да;3;80;Идентификатор счета;0;;");
  EXPECT_EQ(row[kFieldCaption], "Счет");
  EXPECT_EQ(row[kGridPos], "3");
  EXPECT_EQ(row[kRoleCode], "0");
  EXPECT_EQ(JoinFormatRow(row), "Счет;5;Да;3;80;Идентификатор счета;0;;");
  FormatRow shortRow = SplitFormatRow("Имя;2");
  EXPECT_EQ(shortRow[kFileFieldNo], "2");
  EXPECT_EQ(shortRow[kShowFlag], "");
  EXPECT_EQ(shortRow[kRoleCode], "");
  EXPECT_EQ(SplitFormatRow("a;b;c;d;e;f;g;h;i")[kRoleCode], "g");  // beyond the seventh is ignored
}

TEST(FormatFile, WorkedExampleRoundTripsByteForByte) {
  TempDir dir;
  std::string path = dir.File("format.ini");
  std::string bytes = Utf8ToCp1251(kWorkedExample);
  WriteBytes(path, bytes);
  FormatParams p = ReadFormatParams(path);
  EXPECT_EQ(p.fieldSep, 0);
  EXPECT_EQ(p.decSep, 1);
  EXPECT_EQ(p.format, 0);
  EXPECT_EQ(p.lot, 100);
  ASSERT_EQ(p.items.size(), 8u);
  EXPECT_EQ(p.items[7], "Время;3;Нет;8;60;;;;");
  std::string copy = dir.File("copy.ini");
  WriteFormatParams(copy, p);
  EXPECT_EQ(ReadBytes(copy), bytes);
  WriteFormatParams(path, p);  // rewriting in place keeps the layout too
  EXPECT_EQ(ReadBytes(path), bytes);
}

TEST(FormatFile, MissingFileGivesDefaults) {
  TempDir dir;
  FormatParams p = ReadFormatParams(dir.File("none.ini"), 2);
  EXPECT_EQ(p.fieldSep, 0);
  EXPECT_EQ(p.decSep, 0);
  EXPECT_EQ(p.format, 2);
  EXPECT_EQ(p.lot, 100);
  EXPECT_TRUE(p.items.empty());
}

TEST(FormatFile, NameWithoutFolderLiesInTheSettingsFolder) {
  TempDir dir;
  const char* old = ::getenv("XDG_CONFIG_HOME");
  const std::string saved = old ? old : "";
  ::setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
  FormatParams p;
  p.lot = 7;
  p.items = {"Счет;1;Да;1;70;;;;"};
  WriteFormatParams("bare.ini", p);
  const std::string inSettings = SettingsFolder() + "/bare.ini";
  EXPECT_EQ(FormatFilePath("bare.ini"), inSettings);
  EXPECT_EQ(FormatFilePath("./bare.ini"), "./bare.ini");
  EXPECT_EQ(ReadFormatParams(inSettings).lot, 7);
  EXPECT_EQ(ReadFormatParams("bare.ini").items, p.items);
  if (old)
    ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else
    ::unsetenv("XDG_CONFIG_HOME");
}

TEST(FormatFile, ShorterFormatLeavesExactlyItsItems) {
  TempDir dir;
  std::string path = dir.File("f.ini");
  FormatParams p;
  p.items = {"a;;;;;;;;", "b;;;;;;;;", "c;;;;;;;;", "d;;;;;;;;", "e;;;;;;;;"};
  WriteFormatParams(path, p);
  p.items.resize(3);
  p.format = -1;
  WriteFormatParams(path, p);
  IniFile ini(path);
  EXPECT_EQ(ini.Document().KeyNames("ExtFormat"),
            (std::vector<std::string>{"Count", "Item0", "Item1", "Item2"}));
  EXPECT_EQ(ini.ReadInteger("IntValues", "Format", 0), -1);
}

TEST(FormatFile, FailedWriteLeavesTheOldFormat) {
  TempDir dir;
  FormatParams p;
  EXPECT_THROW(WriteFormatParams(dir.File("missing/f.ini"), p), EIniWriteError);
}

TEST(RoundHalfEven, Halves) {
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(3.5), 4);
  EXPECT_EQ(RoundHalfEven(-2.5), -2);
  EXPECT_EQ(RoundHalfEven(2.4999), 2);
  EXPECT_EQ(RoundHalfEven(100), 100);
  EXPECT_EQ(RoundHalfEven(1e12), 2147483647);
}

}  // namespace
}  // namespace drs
