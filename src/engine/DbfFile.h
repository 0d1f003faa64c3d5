// One open dBASE III file: its header and fields, reading records and the
// crash-safe writes. Record bytes always reach the file before the header
// that counts them, and appends never rewrite earlier records, so a process
// killed at any moment leaves a file every reader accepts.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace drs {

struct DbfField {
  std::string name;     // UTF-8
  char type = 'C';      // C N F D L, anything else is read as text
  uint32_t offset = 0;  // in the record, after the deletion flag
  uint8_t length = 0;
  uint8_t decimals = 0;
};

class DbfFile {
 public:
  // Opens and checks the file; throws EDBEngineError naming it when it is
  // missing or not a sound dBASE table.
  static std::shared_ptr<DbfFile> Open(const std::string& path);
  // The open file for the path, reopened when the file on disk was replaced
  // or changed behind our back.
  static std::shared_ptr<DbfFile> Acquire(const std::string& path);
  // Cheap check through the open descriptor, made before each reading
  // statement: false when the file was removed or replaced (our inode has no
  // link left; Acquire then opens the new one). A change by another writer is
  // taken in: a new record count (seen in the shared header page without a
  // system call) reads the header again, other changes make caches stale.
  // Changes in place by another writer are seen when `reading`.
  bool Current(bool reading = false);
  // Before a write statement: the whole check when the last one is older
  // than kRecheckInterval, else only another writer's append, read from the
  // shared header page without a system call. A run of autocommit inserts
  // would otherwise spend a sixth of its time asking the kernel the same
  // question; a file replaced or made read-only meanwhile by another
  // program is noticed within the interval, by this process (through
  // WriteFileAtomic or RemoveFile) at once.
  bool CurrentForWrite();
  static constexpr std::chrono::microseconds kRecheckInterval{1000};
  ~DbfFile();

  const std::string& Path() const { return path_; }
  const std::vector<DbfField>& Fields() const { return fields_; }
  uint32_t RecordCount() const { return count_; }
  uint16_t RecordLength() const { return recordLength_; }
  // Bumped by every write; caches keyed on it go stale.
  uint64_t Version() const { return version_; }
  bool Writable() const { return writable_; }

  // Record `index` (< RecordCount) in a read-only mapping of the file; the
  // pointer stays valid as long as this object and its header last.
  const char* Record(uint32_t index);
  // Reads records [first, first + n) into buf (n * RecordLength bytes).
  void ReadRecords(uint32_t first, uint32_t n, std::string& buf) const;

  // Writes changed records in place, then the header date.
  void WriteRecords(const std::vector<std::pair<uint32_t, std::string>>& records);
  // Marks records deleted (flag '*').
  void MarkDeleted(const std::vector<uint32_t>& records);
  // Appends whole records: the bytes first, then the header count (together
  // with any records written ahead).
  void Append(const std::string& records, uint32_t n);
  // Writes records past the counted ones without counting them yet, so a
  // long transaction need not hold them all in memory; readers ignore them
  // until Append counts them.
  void WriteAhead(const std::string& records, uint32_t n);
  uint32_t AheadCount() const { return ahead_; }
  // Forgets the records written ahead (the file is cut back to the counted
  // records).
  void DropAhead();
  // Removes every record: header count 0 first, then the file is cut.
  void Truncate();
  // Number of records whose deletion flag is not '*'.
  uint32_t LiveCount() const;

  // Records whose text field `field` (trimmed) equals `key`; built once per
  // file version.
  const std::vector<uint32_t>* Lookup(int field, const std::string& key);

  // Field text of one record (C: trailing blanks cut, decoded from 1251).
  static std::string FieldText(const DbfField& f, const char* record);

 private:
  DbfFile() = default;
  void ReadHeader();
  void MapHeader();
  void WriteHeader();
  // Record count and date after an append: a store into the shared header
  // page when there is one, else a write.
  void PublishCount();
  uint32_t MappedCount() const;
  off_t CountedEnd() const { return off_t(headerLength_) + off_t(count_) * recordLength_; }
  void Remember(off_t end);
  // The file's mode bits still allow what this object was opened for.
  bool ModeKept(uint64_t mode) const;
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
  dev_t dev_ = 0;
  ino_t ino_ = 0;
  off_t size_ = 0;
  int64_t mtimeNs_ = 0;
  std::chrono::steady_clock::time_point checkedAt_{};  // of the last whole check
  uint64_t checkedGeneration_ = 0;                     // FileChangeGeneration() then

  uint32_t ahead_ = 0;  // records written past the count, not yet counted
  // The first page of the file, shared with every other user of the file;
  // writable when the file is.
  unsigned char* header_ = nullptr;
  bool headerWritable_ = false;

  std::vector<std::pair<void*, size_t>> maps_;
  const char* map_ = nullptr;
  size_t mapLength_ = 0;

  struct Index {
    uint64_t version = 0;
    std::unordered_map<std::string, std::vector<uint32_t>> rows;
  };
  std::unordered_map<int, Index> indexes_;
};

}  // namespace drs
