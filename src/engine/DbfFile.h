// One open dBASE III file: its header and fields, reading records and the
// crash-safe writes. Record bytes always reach the file before the header
// that counts them, and appends never rewrite earlier records, so a process
// killed at any moment leaves a file every reader accepts.
// Records written ahead of the count lie behind the end mark 0x1A until
// they are committed. Writers hold an exclusive whole-file lock (fcntl and
// flock) from BeginWrite to EndWrite; every read of records holds a shared
// one. Records are read
// with pread, never through a mapping, so a file cut short by another
// program gives an error, not a signal.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/DbfFormat.h"

namespace drs {

// Records copied out of a file into memory of their own: anonymous pages,
// huge ones where the kernel gives them, so copying a big table costs little
// and nothing another program does to the file can reach the copy.
class RecordCopy {
 public:
  explicit RecordCopy(size_t size);
  ~RecordCopy();
  RecordCopy(const RecordCopy&) = delete;
  RecordCopy& operator=(const RecordCopy&) = delete;
  char* data() { return data_; }
  const char* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  char* data_ = nullptr;
  size_t size_ = 0;
};

// The code page a .cpg file beside the table names (1251 or 866), 0 without
// one; EDBEngineError for a code page the program does not write.
uint16_t CodePageBeside(const std::string& path);
// An index file beside the table (.mdx, .ndx or .cdx of its name), or the
// .mdx its header says it has; "" when none. Writes would leave it stale.
std::string IndexBeside(const std::string& path, bool productionIndex);

class DbfFile {
 public:
  // Opens and checks the file; throws EDBEngineError naming it when it is
  // missing or not a sound dBASE table.
  static std::shared_ptr<DbfFile> Open(const std::string& path);
  // The open file for the path, reopened when the file on disk was replaced
  // or changed behind our back.
  static std::shared_ptr<DbfFile> Acquire(const std::string& path);
  // Check through the open descriptor, made before each reading statement:
  // false when the file was removed or replaced (our inode has no link
  // left; Acquire then opens the new one). A change by another writer is
  // taken in: a new size reads the header again, other changes make caches
  // stale. Changes in place by another writer are seen when `reading`.
  bool Current(bool reading = false);
  // Starts a write: takes the exclusive lock (waiting at most LockWait(),
  // then EDBEngineError), reads the header again and cuts off bytes past the
  // counted records (left by a crash). False, with no lock held, when the
  // file was removed or replaced meanwhile: Acquire the new one.
  bool BeginWrite();
  void EndWrite();
  // Writes `bytes` as the whole file at `path` (a new file, renamed over
  // the old). An existing table is replaced only under its exclusive lock
  // (waiting as BeginWrite does), so a writer still at work on it is never
  // between its records and its count; it then finds the file replaced.
  // False with the reason in `error` (when given).
  static bool Replace(const std::string& path, const std::string& bytes, std::string* error = nullptr);
  // How long a writer waits for another program's lock.
  static std::chrono::milliseconds LockWait();
  static void SetLockWait(std::chrono::milliseconds wait);
  ~DbfFile();

  const std::string& Path() const { return path_; }
  const std::vector<DbfField>& Fields() const { return fields_; }
  uint32_t RecordCount() const { return count_; }
  uint16_t RecordLength() const { return recordLength_; }
  uint16_t HeaderLength() const { return headerLength_; }
  bool Writable() const { return writable_; }

  // Every counted record, read once per file version under a shared lock:
  // a consistent picture for readers that visit records out of order.
  std::shared_ptr<const RecordCopy> Records();
  // Reads records [first, first + n) into buf (n * RecordLength bytes).
  void ReadRecords(uint32_t first, uint32_t n, std::string& buf) const;
  void ReadRecords(uint32_t first, uint32_t n, char* out) const;

  // Writes changed records in place, then the header date.
  void WriteRecords(const std::vector<std::pair<uint32_t, std::string>>& records);
  // Marks records deleted (flag '*').
  void MarkDeleted(const std::vector<uint32_t>& records);
  // Appends whole records after any written ahead and counts them all
  // (CommitAhead).
  void Append(const std::string& records, uint32_t n, bool durable = false);
  // Writes records past the counted ones without counting them yet, so a
  // long transaction need not hold them all in memory. The first one's flag
  // byte holds the end mark 0x1A until CommitAhead, so neither readers that
  // go by the count nor those that read to the mark take them for records.
  void WriteAhead(std::string_view records, uint32_t n);
  // Makes the records written ahead the table's: the end mark after them
  // (when the table has one), the first one's flag lifted, then the count
  // and the date. `durable`: on disk before the count, and the count too.
  void CommitAhead(bool durable);
  uint32_t AheadCount() const { return ahead_; }
  // Forgets the records written ahead (the file is cut back to the counted
  // records and its end mark).
  void DropAhead();
  // Removes every record: header count 0 first, then the file is cut.
  void Truncate();
  // Whether an end mark 0x1A follows the counted records.
  bool HasEndMark() const { return endMark_; }
  // Text of every field in `codePage` (a copy of a table whose code page
  // a file beside it names).
  void SetCodePage(uint16_t codePage);
  // The header's bytes as they stand in the file.
  std::string HeaderBytes() const;
  // Flushes what was written to disk; EDBEngineError when it cannot.
  void Sync() const;
  // The descriptor's mode bits (for a copy of the table that replaces it).
  uint32_t Mode() const;
  // Number of records whose deletion flag is not '*'.
  uint32_t LiveCount() const;

  // Records whose text field `field` (trimmed) equals `key`; built once per
  // file version.
  const std::vector<uint32_t>* Lookup(int field, const std::string& key);

  // Field text of one record (C: trailing blanks cut, decoded from the
  // table's code page).
  static std::string FieldText(const DbfField& f, const char* record) { return DbfFieldText(f, record); }

 private:
  DbfFile() = default;
  void ReadHeader();
  void ReadHeaderLocked();
  void WriteHeader();
  int64_t CountedEnd() const { return int64_t(headerLength_) + int64_t(count_) * recordLength_; }
  // Where the table's bytes end: the counted records and the end mark.
  int64_t DataEnd() const { return CountedEnd() + (endMark_ ? 1 : 0); }
  // Looks for the end mark after the counted records.
  void FindEndMark();
  void Remember(int64_t end);
  // The file's mode bits still allow what this object was opened for.
  bool ModeKept(uint64_t mode) const;
  // Whole-file lock of the kind the counts ask for (write over read over
  // none); a read lock inside a write changes nothing.
  enum Lock : int { kNone, kRead, kWrite };
  void SetLock(Lock lock) const;
  void LockRead() const;
  void UnlockRead() const;
  [[noreturn]] void Fail(const std::string& what) const;

  std::string path_;
  int fd_ = -1;
  bool writable_ = true;
  bool readOnlyByMode_ = false;  // opened read-only because its mode said so
  uint32_t count_ = 0;
  uint16_t headerLength_ = 0;
  uint16_t recordLength_ = 0;
  std::vector<DbfField> fields_;
  uint64_t version_ = 0;
  // What the file looked like after our last look or write.
  uint64_t dev_ = 0;  // the file's identity
  uint64_t ino_ = 0;
  int64_t size_ = 0;
  int64_t mtimeNs_ = 0;
  uint32_t ahead_ = 0;    // records written past the count, not yet counted
  bool endMark_ = false;  // 0x1A after the counted records
  std::string index_;     // an index that writes would leave stale
  char firstFlag_ = ' ';  // of the first record written ahead, under the mark
  mutable int readLocks_ = 0;
  int writeLocks_ = 0;
  mutable Lock lockHeld_ = kNone;  // as set on the file

  std::shared_ptr<const RecordCopy> records_;
  uint64_t recordsVersion_ = ~uint64_t(0);

  struct Index {
    uint64_t version = 0;
    std::unordered_map<std::string, std::vector<uint32_t>> rows;
  };
  std::unordered_map<int, Index> indexes_;
};

}  // namespace drs
