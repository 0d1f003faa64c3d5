#include <gtest/gtest.h>

#include "export/TableLocation.h"

using drs::LocateTable;

TEST(TableLocation, FolderAndTableName) {
  auto a = LocateTable("C:\\OUT\\DEALS.2.DBF");
  EXPECT_EQ(a.folder, "C:\\OUT");
  EXPECT_EQ(a.table, "DEALS.2");
  auto b = LocateTable("\"D:\\A B\\OUT.DBF\"");
  EXPECT_EQ(b.path, "D:\\A B\\OUT.DBF");
  EXPECT_EQ(b.folder, "D:\\A B");
  EXPECT_EQ(b.table, "OUT");
  auto c = LocateTable("OUT.DBF");
  EXPECT_EQ(c.folder, "");
  EXPECT_EQ(c.table, "OUT");
  auto d = LocateTable("/home/op/out/Сделки.dbf");
  EXPECT_EQ(d.folder, "/home/op/out");
  EXPECT_EQ(d.table, "Сделки");
  // A name without an extension is the table <name>.DBF; any other
  // extension is kept.
  auto e = LocateTable("/tmp/x\\y/OUT");
  EXPECT_EQ(e.folder, "/tmp/x\\y");
  EXPECT_EQ(e.table, "OUT");
  EXPECT_EQ(e.file, "/tmp/x\\y/OUT.DBF");
  EXPECT_EQ(LocateTable("d2.BAK").file, "d2.BAK");
  EXPECT_EQ(LocateTable("").table, "");
  EXPECT_EQ(LocateTable("").file, "");
}

TEST(TableLocation, RootAndQuotes) {
  EXPECT_EQ(LocateTable("/OUT.DBF").folder, "/");
  // A quoted Cyrillic name loses the whole last letter, not half of it.
  auto q = LocateTable("\"/tmp/Ы.DBF\"");
  EXPECT_EQ(q.path, "/tmp/Ы.DBF");
  auto r = LocateTable("\"/tmp/ДЕЛО.DBФ");
  EXPECT_EQ(r.path, "/tmp/ДЕЛО.DB");
  EXPECT_EQ(r.table, "ДЕЛО");
  EXPECT_EQ(LocateTable("\"").path, "");
  // A long quoted path is never cut.
  std::string longName = "\"/tmp/" + std::string(300, 'a') + ".DBF\"";
  EXPECT_EQ(LocateTable(longName).file, longName.substr(1, longName.size() - 2));
}
