// A full disk (a file-size limit: writes past it fail with EFBIG) and files
// marked read-only during the export, the turnovers, the journal and the
// settings and format saves: each failure is reported, none is taken for
// success, and what the files held before is still there.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ExportFixture.h"
#include "TempDir.h"
#include "engine/Query.h"
#include "export/Export.h"
#include "export/ExportProgress.h"
#include "export/Turnovers.h"
#include "format/FormatFile.h"
#include "profile/IniFile.h"
#include "support/JournalFile.h"
#include "utils/Errors.h"
#include "utils/FileIO.h"

namespace drs {
namespace {

using test::Deal;
using test::DealsFixture;
using test::ReadBytes;
using test::RecordingMessages;
using test::TempDir;
using test::WriteBytes;

// While it lives, no file of this process may grow past `bytes`.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    oldHandler_ = ::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &old_);
    rlimit limit = old_;
    limit.rlim_cur = bytes;
    ok_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    ::signal(SIGXFSZ, oldHandler_);
  }
  bool Ok() const { return ok_; }

 private:
  rlimit old_{};
  sighandler_t oldHandler_ = SIG_DFL;
  bool ok_ = false;
};

bool AnyTempFile(const std::string& folder) {
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    if (e.path().filename().string().find(".tmp") != std::string::npos) return true;
  }
  return false;
}

// --- settings, format and any file rewritten whole ---------------------------

TEST(FullDiskTest, AtomicRewriteKeepsTheOldContent) {
  TempDir dir;
  const std::string path = dir.File("drsprep.INI");
  const std::string old = "[ParamsFileName]\r\nParamsFileName=/a/format.ini\r\n";
  WriteBytes(path, old);
  std::string error;
  {
    FileSizeLimit limit(4096);
    ASSERT_TRUE(limit.Ok());
    EXPECT_FALSE(WriteFileAtomic(path, std::string(100000, 'x'), &error));
  }
  EXPECT_EQ(error, "Превышен допустимый размер файла");
  EXPECT_EQ(ReadBytes(path), old);
  EXPECT_FALSE(AnyTempFile(dir.Path()));
  // Within the limit the same call works.
  EXPECT_TRUE(WriteFileAtomic(path, "new", &error));
  EXPECT_EQ(ReadBytes(path), "new");
}

// Links planted under the names a temporary file had or might have never
// redirect a rewrite: the file at the path is written and the link's target
// keeps its bytes, for the settings, a format file and the tables made here.
TEST(PlantedLinkTest, TemporaryNamesNeverRedirectTheWrite) {
  TempDir dir;
  const std::string victim = dir.File("important.txt");
  WriteBytes(victim, "keep me");
  const std::vector<std::pair<std::string, std::function<void(const std::string&)>>> writers = {
      {"drsprep.INI", [](const std::string& p) { IniFile(p).WriteString("A", "B", "C"); }},
      {"format.ini",
       [](const std::string& p) {
         FormatParams params;
         params.items = {"Счет;1;Да;1;80;;0;;"};
         WriteFormatParams(p, params);
       }},
      {"NEW.DBF", [](const std::string& p) { EXPECT_TRUE(CreateOutputTable(p)); }},
      {"ShOb.DBF", [](const std::string& p) { EXPECT_TRUE(CreateTurnoverTable(p, false)); }},
      {"CLOb.DBF", [](const std::string& p) { EXPECT_TRUE(CreateTurnoverTable(p, true)); }},
  };
  for (const auto& [name, write] : writers) {
    for (const std::string& planted : {name + ".tmp~", "." + name + ".tmp~", "." + name + ".tmp"}) {
      std::filesystem::create_symlink(victim, dir.File(planted));
    }
    write(dir.File(name));
    EXPECT_EQ(ReadBytes(victim), "keep me") << name;
    EXPECT_FALSE(std::filesystem::is_symlink(dir.File(name))) << name;
    EXPECT_GT(ReadBytes(dir.File(name)).size(), 0u) << name;
  }
  size_t files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.Path())) files += !e.is_symlink();
  EXPECT_EQ(files, 1 + writers.size()) << "a temporary file was left behind";
}

TEST(FullDiskTest, SettingsAndFormatSavesFailLoudly) {
  TempDir dir;
  const std::string settings = dir.File("drsprep.INI");
  IniFile ini(settings);
  ini.WriteString("TMMVBForm", "OutFilenameEdit.Text", "/out/DEALS.DBF");
  const std::string settingsBefore = ReadBytes(settings);

  const std::string format = dir.File("format.ini");
  FormatParams params;
  params.items = {"Счет;1;Да;1;80;;0;;"};
  WriteFormatParams(format, params);
  const std::string formatBefore = ReadBytes(format);

  {
    FileSizeLimit limit(settingsBefore.size() + 16);
    ASSERT_TRUE(limit.Ok());
    try {
      ini.WriteString("ReplaceList", "Item0", std::string(5000, 'A'));
      ADD_FAILURE() << "a settings save past the limit passed for done";
    } catch (const EIniWriteError& e) {
      EXPECT_EQ(std::string(e.what()), "Unable to write to " + settings);
      EXPECT_EQ(e.Reason(), "Превышен допустимый размер файла");
    }
    params.items.assign(200, "Номер сделки;1;Да;1;70;Номер сделки;6;;");
    EXPECT_THROW(WriteFormatParams(format, params), EIniWriteError);
  }
  EXPECT_EQ(ReadBytes(settings), settingsBefore);
  EXPECT_EQ(ReadBytes(format), formatBefore);
  EXPECT_EQ(ReadFormatParams(format).items.size(), 1u);
  EXPECT_FALSE(AnyTempFile(dir.Path()));
}

TEST(ReadOnlyTest, SettingsFileMarkedReadOnlyIsNotRewritten) {
  TempDir dir;
  const std::string settings = dir.File("drsprep.INI");
  WriteBytes(settings, "[TMMVBForm]\r\nBrokerAccEdit.Text=BR1\r\n");
  ASSERT_EQ(::chmod(settings.c_str(), 0444), 0);
  IniFile ini(settings);
  EXPECT_THROW(ini.WriteString("TMMVBForm", "BrokerAccEdit.Text", "BR2"), EIniWriteError);
  EXPECT_EQ(ReadBytes(settings), "[TMMVBForm]\r\nBrokerAccEdit.Text=BR1\r\n");
  EXPECT_EQ(ini.ReadString("TMMVBForm", "BrokerAccEdit.Text", ""), "BR1");
}

// A child rewrites the file again and again until it is killed; whenever
// that happens, the file holds one whole version, never a mixture or a cut.
template <typename Writer>
void KillDuringRewrites(const std::string& path, Writer write, const std::vector<std::string>& versions) {
  for (int round = 0; round < 20; ++round) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (unsigned i = 0;; ++i) write(i % 2);
    }
    ::usleep(2000 + 7919 * round % 40000);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself";
    const std::string now = ReadBytes(path);
    bool whole = false;
    for (const std::string& v : versions) whole = whole || now == v;
    ASSERT_TRUE(whole) << "round " << round << ": the file holds " << now.size() << " bytes of no version";
  }
}

TEST(KilledWriterTest, FileRewrittenWholeIsNeverLeftHalfWritten) {
  TempDir dir;
  const std::string path = dir.File("format.ini");
  const std::vector<std::string> versions = {std::string(3 << 20, 'A'), std::string(2 << 20, 'B')};
  WriteBytes(path, versions[0]);
  KillDuringRewrites(
      path, [&](unsigned v) { WriteFileAtomic(path, versions[v]); }, versions);
}

TEST(KilledWriterTest, SettingsSaveIsNeverLeftHalfWritten) {
  TempDir dir;
  const std::string path = dir.File("drsprep.INI");
  std::vector<std::string> values = {std::string(300000, '1'), std::string(200000, '2')};
  IniFile setup(path);
  setup.WriteString("ParamsFileName", "ParamsFileName", "/a/format.ini");
  std::vector<std::string> versions;
  for (const std::string& v : values) {
    setup.WriteString("ReplaceList", "Item0", v);
    versions.push_back(ReadBytes(path));
  }
  KillDuringRewrites(
      path,
      [&](unsigned v) {
        IniFile ini(path);
        ini.WriteString("ReplaceList", "Item0", values[v]);
      },
      versions);
  IniFile after(path);
  EXPECT_EQ(after.ReadString("ParamsFileName", "ParamsFileName", ""), "/a/format.ini");
}

// --- journal ----------------------------------------------------------------

TEST(FullDiskTest, JournalLineThatDoesNotFitIsAnErrorAndEarlierLinesStay) {
  TempDir dir;
  const std::string path = dir.File("drsprep.jrn");
  JournalFile journal;
  journal.Open(path);
  journal.Append("Список неотмеченных счетов");
  journal.Append("---------------------------");
  const std::string before = ReadBytes(path);
  {
    FileSizeLimit limit(before.size() + 10);
    ASSERT_TRUE(limit.Ok());
    EXPECT_THROW(journal.Append(std::string(200, '7')), EInOutError);
  }
  // With room again, the next line stands on its own: no piece of the line
  // that did not fit is left in front of it.
  journal.Append("201");
  journal.Close();
  std::vector<std::string> lines = JournalFile::ReadLines(path);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "Список неотмеченных счетов");
  EXPECT_EQ(lines[1], "---------------------------");
  EXPECT_EQ(lines[2], "201");
  EXPECT_EQ(ReadBytes(path).compare(0, before.size(), before), 0);
}

// --- export and turnovers ---------------------------------------------------

class ExportFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
    settings.outFileName = dir.File("DEALS.DBF");
    settings.writeMode = 0;
    settings.tradeDate = "15.01.2024";
    settings.brokerAcc = "BR1";
  }
  static std::vector<Deal> Deals(int n, const std::string& prefix) {
    std::vector<Deal> deals;
    for (int i = 0; i < n; ++i) {
      deals.push_back({std::to_string(100 + i % 7), prefix + std::to_string(i % 5), i % 2 ? "B" : "S", "10.5",
                       std::to_string(1 + i % 3), std::to_string(9000 + i)});
    }
    return deals;
  }
  ExportResult Run(const std::vector<Deal>& deals) {
    DealsFixture f(deals);
    ScopedMessageHandler scope(&messages);
    TQuery view;
    return ExportMarkedDeals(f.Source(), settings, progress, view);
  }
  // Header count, and whether the file holds every record it counts.
  uint32_t Count(const std::string& bytes, bool* whole = nullptr) {
    EXPECT_GE(bytes.size(), 32u);
    uint32_t count;
    uint16_t header, record;
    std::memcpy(&count, bytes.data() + 4, 4);
    std::memcpy(&header, bytes.data() + 8, 2);
    std::memcpy(&record, bytes.data() + 10, 2);
    if (whole) *whole = bytes.size() >= size_t(header) + size_t(count) * record;
    return count;
  }
  size_t CountShown(const std::string& text) const {
    size_t n = 0;
    for (const auto& s : messages.shown) n += s.text == text;
    return n;
  }

  TempDir dir;
  ExportSettings settings;
  RecordingMessages messages;
  SilentProgress progress;
};

TEST_F(ExportFaultTest, AppendOnAFullDiskIsOneMessageAndKeepsTheTable) {
  ASSERT_TRUE(Run(Deals(10, "T")).finished);
  const std::string before = ReadBytes(settings.outFileName);
  ASSERT_EQ(Count(before), 10u);

  for (int mode : {1, 0}) {
    settings.writeMode = mode;
    messages.shown.clear();
    ExportResult result;
    {
      FileSizeLimit limit(before.size() + 148 * 3 + 20);  // room for three records and a bit
      ASSERT_TRUE(limit.Ok());
      result = Run(Deals(50, "U"));
    }
    EXPECT_EQ(result.failedLines, 50u) << "a full disk was taken for success";
    EXPECT_EQ(CountShown("Ошибка записи в выходной файл"), 1u);
    EXPECT_EQ(messages.shown.back().text, "Ошибка записи в выходной файл");
    bool sawReason = false;
    for (const std::string& d : messages.shown.back().details)
      sawReason = sawReason || d.find("Превышен допустимый размер файла") != std::string::npos;
    EXPECT_TRUE(sawReason);
    EXPECT_EQ(result.tableState, "Таблица DEALS не изменена, записей в ней: 10");
    EXPECT_EQ(ReadBytes(settings.outFileName), before);
  }

  // With room again the next append continues from the counted records.
  settings.writeMode = 1;
  messages.shown.clear();
  ExportResult result = Run(Deals(4, "V"));
  EXPECT_TRUE(result.finished);
  EXPECT_EQ(result.failedLines, 0u);
  bool whole = false;
  const std::string again = ReadBytes(settings.outFileName);
  EXPECT_EQ(Count(again, &whole), 14u);
  EXPECT_TRUE(whole);
  TQuery q;
  q.SetDatabaseName(dir.Path());
  q.SetSQL("select TICKER from \"DEALS\"");
  q.Open();
  EXPECT_EQ(q.RecordCount(), 14);
}

TEST_F(ExportFaultTest, NewTableOnAFullDiskIsNotReportedAsWritten) {
  ExportResult result;
  {
    FileSizeLimit limit(200);  // not even the header fits
    ASSERT_TRUE(limit.Ok());
    result = Run(Deals(5, "T"));
  }
  EXPECT_FALSE(result.finished && result.failedLines == 0);
  EXPECT_GE(messages.shown.size(), 2u);  // the question, then the failure
}

TEST_F(ExportFaultTest, ReadOnlyTableIsNeitherClearedNorExtended) {
  ASSERT_TRUE(Run(Deals(6, "T")).finished);
  const std::string before = ReadBytes(settings.outFileName);
  ASSERT_EQ(::chmod(settings.outFileName.c_str(), 0444), 0);

  messages.shown.clear();
  settings.writeMode = 0;
  ExportResult result = Run(Deals(3, "U"));
  EXPECT_FALSE(result.finished);
  EXPECT_EQ(CountShown("Ошибка очистки выходного файла"), 1u);
  EXPECT_EQ(ReadBytes(settings.outFileName), before);

  messages.shown.clear();
  settings.writeMode = 1;
  result = Run(Deals(3, "U"));
  EXPECT_EQ(result.failedLines, 3u);
  EXPECT_EQ(CountShown("Ошибка записи в выходной файл"), 1u);
  EXPECT_EQ(ReadBytes(settings.outFileName), before);
}

TEST_F(ExportFaultTest, TurnoversOnAFullDiskKeepTheOutputTable) {
  ASSERT_TRUE(Run(Deals(40, "T")).finished);
  const std::string before = ReadBytes(settings.outFileName);
  const std::filesystem::path cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());
  TurnoverResult result;
  messages.shown.clear();
  {
    ScopedMessageHandler scope(&messages);
    FileSizeLimit limit(400);  // the empty CLOb fits, its rows do not
    ASSERT_TRUE(limit.Ok());
    TQuery view;
    result = ComputeTurnovers(settings.outFileName, kTurnoverByAccount, view);
  }
  std::filesystem::current_path(cwd);
  EXPECT_FALSE(result.shown);
  EXPECT_GE(messages.shown.size(), 1u);
  EXPECT_EQ(ReadBytes(settings.outFileName), before);
}

}  // namespace
}  // namespace drs
