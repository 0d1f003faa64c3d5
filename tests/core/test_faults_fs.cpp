// Settings, format file, journal and output table on a small file system that
// fills up, and on one remounted read-only (a tmpfs; needs root, skipped
// otherwise): every save fails with its message and the files stay as they were.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "ExportFixture.h"
#include "TempDir.h"
#include "engine/Query.h"
#include "export/Export.h"
#include "export/ExportProgress.h"
#include "format/FormatFile.h"
#include "profile/IniFile.h"
#include "support/JournalFile.h"
#include "utils/Errors.h"
#include "utils/FileIO.h"

namespace drs {
namespace {

using test::ReadBytes;
using test::TempDir;

class SmallFileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
    mnt_ = dir_.File("mnt");
    if (std::system(
            ("mkdir -p '" + mnt_ + "' && mount -t tmpfs -o size=128k tmpfs '" + mnt_ + "' 2>/dev/null")
                .c_str()) != 0)
      GTEST_SKIP() << "no tmpfs mount here";
    mounted_ = true;
  }
  void TearDown() override {
    if (mounted_) (void)std::system(("umount '" + mnt_ + "'").c_str());
  }
  void RemountReadOnly() { ASSERT_EQ(std::system(("mount -o remount,ro '" + mnt_ + "'").c_str()), 0); }
  // Fills the file system but for `spare` bytes (a tmpfs counts whole pages).
  void Fill() {
    std::string error;
    WriteFileAtomic(mnt_ + "/filler", std::string(1 << 20, 'f'), &error);  // fails: too big
    for (size_t size = 64 * 1024; size >= 4096; size /= 2) {
      for (int i = 0;; ++i) {
        const std::string name = mnt_ + "/fill" + std::to_string(size) + "_" + std::to_string(i);
        if (!WriteFileAtomic(name, std::string(size, 'f'), &error)) break;
      }
    }
  }
  std::string File(const std::string& name) const { return mnt_ + "/" + name; }

 private:
  TempDir dir_;
  std::string mnt_;
  bool mounted_ = false;
};

TEST_F(SmallFileSystemTest, SavesOnAFullFileSystemKeepTheFiles) {
  IniFile ini(File("drsprep.INI"));
  ini.WriteString("ParamsFileName", "ParamsFileName", File("format.ini"));
  FormatParams params;
  params.items = {"Счет;1;Да;1;80;;0;;"};
  WriteFormatParams(File("format.ini"), params);
  JournalFile journal;
  journal.Open(File("drsprep.jrn"));
  journal.Append("Список неотмеченных счетов");
  const std::string settings = ReadBytes(File("drsprep.INI"));
  const std::string format = ReadBytes(File("format.ini"));
  Fill();

  try {
    ini.WriteString("ReplaceList", "Item0", std::string(20000, 'A'));
    ADD_FAILURE() << "the settings save on a full disk passed for done";
  } catch (const EIniWriteError& e) {
    EXPECT_EQ(e.Reason(), "Нет места на диске");
  }
  params.items.assign(500, "Номер сделки;1;Да;1;70;Номер сделки;6;;");
  EXPECT_THROW(WriteFormatParams(File("format.ini"), params), EIniWriteError);
  try {
    for (int i = 0; i < 100; ++i) journal.Append(std::string(2000, '9'));
    ADD_FAILURE() << "journal lines on a full disk passed for written";
  } catch (const EInOutError& e) {
    EXPECT_NE(std::string(e.what()).find("Нет места на диске"), std::string::npos) << e.what();
  }
  EXPECT_EQ(ReadBytes(File("drsprep.INI")), settings);
  EXPECT_EQ(ReadBytes(File("format.ini")), format);
  EXPECT_EQ(JournalFile::ReadLines(File("drsprep.jrn")).at(0), "Список неотмеченных счетов");
}

TEST_F(SmallFileSystemTest, ReadOnlyFolderRefusesEverySave) {
  IniFile ini(File("drsprep.INI"));
  ini.WriteString("TMMVBForm", "BrokerAccEdit.Text", "BR1");
  WriteFormatParams(File("format.ini"), FormatParams{});
  {
    JournalFile journal;
    journal.Open(File("drsprep.jrn"));
    journal.Append("line 1");
  }
  const std::string settings = ReadBytes(File("drsprep.INI"));
  const std::string format = ReadBytes(File("format.ini"));
  RemountReadOnly();

  try {
    ini.WriteString("TMMVBForm", "BrokerAccEdit.Text", "BR2");
    ADD_FAILURE() << "a save into a read-only folder passed for done";
  } catch (const EIniWriteError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + File("drsprep.INI"));
  }
  EXPECT_THROW(WriteFormatParams(File("format.ini"), FormatParams{}), EIniWriteError);
  JournalFile journal;
  EXPECT_THROW(journal.Open(File("drsprep.jrn")), EInOutError);
  EXPECT_EQ(ReadBytes(File("drsprep.INI")), settings);
  EXPECT_EQ(ReadBytes(File("format.ini")), format);
  EXPECT_EQ(ini.ReadString("TMMVBForm", "BrokerAccEdit.Text", ""), "BR1");
}

TEST_F(SmallFileSystemTest, ExportIntoAReadOnlyFolder) {
  test::DealsFixture f({{"150", "SBER", "B", "10.5", "2", "1"}, {"160", "GAZP", "S", "11", "3", "2"}});
  ExportSettings settings;
  TempDir elsewhere;  // the engine may keep a table open, which would stop the remount
  settings.outFileName = elsewhere.File("DEALS.DBF");
  settings.writeMode = 1;
  settings.tradeDate = "15.01.2024";
  settings.brokerAcc = "BR1";
  test::RecordingMessages messages;
  SilentProgress progress;
  TQuery view;
  {
    ScopedMessageHandler scope(&messages);
    ASSERT_TRUE(ExportMarkedDeals(f.Source(), settings, progress, view).finished);
  }
  view.Close();
  const std::string before = ReadBytes(settings.outFileName);
  settings.outFileName = File("DEALS.DBF");
  ASSERT_TRUE(WriteFileAtomic(settings.outFileName, before));
  RemountReadOnly();
  messages.shown.clear();
  ExportResult result;
  {
    ScopedMessageHandler scope(&messages);
    result = ExportMarkedDeals(f.Source(), settings, progress, view);
  }
  EXPECT_EQ(result.failedLines, 2u);
  ASSERT_EQ(messages.shown.size(), 2u);  // the question, then the cause once
  EXPECT_EQ(messages.shown.back().text, "Ошибка записи в выходной файл");
  EXPECT_EQ(ReadBytes(settings.outFileName), before);

  // A new table there: created by nobody, the cause shown once.
  settings.outFileName = File("NEW.DBF");
  messages.shown.clear();
  {
    ScopedMessageHandler scope(&messages);
    result = ExportMarkedDeals(f.Source(), settings, progress, view);
  }
  EXPECT_FALSE(result.Succeeded());
  EXPECT_FALSE(FileExists(settings.outFileName));
  ASSERT_EQ(messages.shown.size(), 2u);
  EXPECT_EQ(messages.shown.back().details,
            std::vector<std::string>{"Не могу создать файл " + settings.outFileName +
                                     ": Файловая система только для чтения"});
}

}  // namespace
}  // namespace drs
