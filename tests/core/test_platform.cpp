// The platform layer where Linux and Windows differ: path spellings, file
// identity, locks that never block data, appends of several writers at once.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>

#include "DbfBytes.h"
#include "TempDir.h"
#include "engine/DbfFile.h"
#include "platform/Files.h"
#include "platform/Locks.h"
#include "platform/Paths.h"
#include "utils/FileIO.h"

namespace drs {
namespace {

TEST(Platform, PathsAreReadAsTheSystemSpellsThem) {
  struct Case {
    const char* path;
    bool absolute;
    size_t root;
  };
  const Case cases[] = {
      {"/tmp/a", true, 1},
      {"a/b", false, 0},
      {"", false, 0},
#ifdef _WIN32
      {"C:\\work\\a.dbf", true, 3},
      {"c:/work", true, 3},
      {"C:a.dbf", false, 2},
      {"\\\\srv\\share\\a", true, 12},
      {"//srv/share", true, 11},
      {"\\a", true, 1},
#else
      {"C:\\work\\a.dbf", false, 0}, {"\\a", false, 0},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(platform::IsAbsolutePath(c.path), c.absolute);
    EXPECT_EQ(platform::RootLength(c.path), c.root);
  }
  EXPECT_EQ(platform::FolderPrefix("/"), "/");
  EXPECT_EQ(platform::FolderPrefix("/a"), "/a/");
#ifdef _WIN32
  EXPECT_EQ(platform::FolderPrefix("C:/"), "C:/");
  EXPECT_EQ(platform::FolderPrefix("C:\\a"), "C:\\a/");
#endif
}

// Two spellings of one file are one file, two files are two, and a
// Cyrillic name is the same name written, listed and read.
TEST(Platform, FilesKeepTheirIdentityAndNames) {
  test::TempDir dir;
  const std::string a = dir.File("Таблица.DBF"), b = dir.File("другая.dbf");
  ASSERT_TRUE(WriteFileAtomic(a, "one"));
  ASSERT_TRUE(WriteFileAtomic(b, "two"));
  EXPECT_TRUE(platform::SameFile(a, dir.Path() + "/./Таблица.DBF"));
  EXPECT_FALSE(platform::SameFile(a, b));
  std::vector<std::string> names;
  ASSERT_TRUE(platform::ListFolder(dir.Path(), names));
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()),
            (std::set<std::string>{"Таблица.DBF", "другая.dbf"}));
  std::string bytes;
  ASSERT_TRUE(ReadFileBytes(a, bytes));
  EXPECT_EQ(bytes, "one");
  // Renamed over while open for reading, as a table is replaced.
  const int fd = platform::OpenFile(a, platform::kReadOnly);
  ASSERT_GE(fd, 0);
  EXPECT_TRUE(RenameOver(b, a));
  ASSERT_TRUE(ReadFileBytes(a, bytes));
  EXPECT_EQ(bytes, "two");
  platform::CloseFile(fd);
}

// A writer's lock keeps other writers out but never the bytes: another
// descriptor reads and writes the data while it is held.
TEST(Platform, ALockKeepsWritersOutButNotTheData) {
  test::TempDir dir;
  const std::string path = dir.File("t.dbf");
  ASSERT_TRUE(WriteFileAtomic(path, std::string(64, 'x')));
  const int holder = platform::OpenFile(path, platform::kReadWrite);
  const int other = platform::OpenFile(path, platform::kReadWrite);
  ASSERT_GE(holder, 0);
  ASSERT_GE(other, 0);
  using platform::LockKind;
  ASSERT_EQ(platform::ChangeLock(holder, LockKind::kNone, LockKind::kWrite, std::chrono::milliseconds(0)), 0);
  EXPECT_NE(platform::ChangeLock(other, LockKind::kNone, LockKind::kRead, std::chrono::milliseconds(50)), 0);
  char c = 0;
  EXPECT_EQ(platform::ReadAt(other, &c, 1, 10), 1);
  EXPECT_EQ(platform::WriteAt(other, "y", 1, 63), 1);
  ASSERT_EQ(platform::ChangeLock(holder, LockKind::kWrite, LockKind::kRead, std::chrono::milliseconds(0)), 0);
  EXPECT_EQ(platform::ChangeLock(other, LockKind::kNone, LockKind::kRead, std::chrono::milliseconds(0)), 0);
  EXPECT_NE(platform::ChangeLock(other, LockKind::kRead, LockKind::kWrite, std::chrono::milliseconds(50)), 0);
  platform::CloseFile(holder);
  EXPECT_EQ(platform::ChangeLock(other, LockKind::kRead, LockKind::kWrite, std::chrono::milliseconds(0)), 0);
  platform::CloseFile(other);
}

// Writers of their own descriptors append to one table at once: every
// record is there exactly once and the count agrees with the file.
TEST(Platform, ConcurrentAppendsLoseNoRecord) {
  test::TempDir dir;
  const std::string path = dir.File("DEALS.DBF");
  const std::vector<test::FieldSpec> fields = {{"WHO", 'C', 8, 0}};
  test::WriteTable(path, fields, {});
  constexpr int kWriters = 4, kEach = 50;
  std::atomic<int> failures{0};
  std::string failure;
  std::mutex failureLock;
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w)
    writers.emplace_back([&, w] {
      try {
        for (int i = 0; i < kEach; ++i) {
          auto file = DbfFile::Open(path);
          if (!file->BeginWrite()) throw std::runtime_error("replaced");
          file->Append(test::RecordBytes(fields, {std::to_string(w * 1000 + i)}), 1);
          file->EndWrite();
        }
      } catch (const std::exception& e) {
        std::lock_guard<std::mutex> lock(failureLock);
        ++failures;
        failure = e.what();
      }
    });
  for (std::thread& t : writers) t.join();
  EXPECT_EQ(failures, 0) << failure;
  auto file = DbfFile::Open(path);
  ASSERT_EQ(file->RecordCount(), uint32_t(kWriters * kEach));
  std::set<std::string> seen;
  std::string buf;
  file->ReadRecords(0, file->RecordCount(), buf);
  for (uint32_t i = 0; i < file->RecordCount(); ++i)
    seen.insert(DbfFile::FieldText(file->Fields()[0], buf.data() + i * 9));
  EXPECT_EQ(seen.size(), size_t(kWriters * kEach));
}

}  // namespace
}  // namespace drs
