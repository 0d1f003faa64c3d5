// One write of a table's records as a transaction: the records reach the
// disk where no reader takes them for the table's, are read back from there
// for checking, and become the table's only at Commit. A writer that ends
// without Commit (a failure, a cancel, an exception) leaves the table byte
// for byte as it was; a process killed at any moment leaves either the old
// table or the whole new one, as readers that go by the header's count and
// readers that read to the end mark 0x1A both see it.
//   Create:  a new file, written under a temporary name beside it and
//            linked into place at Commit (never over a file that appeared
//            meanwhile).
//   Replace: the table rewritten with its own header (or a new one) and
//            only the new records, beside it under a temporary name, renamed over it at
//            Commit; the old file's exclusive lock is held throughout.
//   Append:  the new records after the table's own, past the count and
//            behind the end mark, under the table's exclusive lock; Commit
//            lifts the mark and writes the count.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/DbfFormat.h"

namespace drs {

class DbfFile;

class TableWriter {
 public:
  enum class Mode { Create, Replace, Append };

  // Opens the write. `path` is the resolved file. Create takes the bytes of
  // the new empty table; Replace takes them too when the table is to be made
  // anew, else keeps the table's own header; Append keeps it.
  // Replace and Append wait for the table's lock as every writer does.
  // Throws EDBEngineError (the cause, naming the file) when the table cannot
  // be written at all: missing or present against the mode, read-only,
  // locked, not a table, the folder not writable.
  TableWriter(const std::string& path, Mode mode, const std::string& newTable = {});
  ~TableWriter();  // rolls back unless committed
  TableWriter(const TableWriter&) = delete;
  TableWriter& operator=(const TableWriter&) = delete;

  const std::vector<DbfField>& Fields() const;
  uint16_t RecordLength() const;

  // Adds whole records (RecordLength bytes each, deletion flag included).
  // Throws EDBEngineError when the disk refuses them; the writer is then
  // rolled back.
  void Add(const char* records, uint32_t n);
  uint32_t Added() const { return added_; }
  // Hands the added records to the file (Add does so by chunks). Throws as
  // Add does.
  void Flush();

  // Flushes the added records to disk and hands them back as read from the
  // file, `n` at a time, in order.
  void ReadBack(const std::function<void(const char* records, uint32_t n)>& visit);

  // Makes the added records the table's, in one step. A writer that added
  // nothing changes nothing on Append, nor on Replace with the table's own
  // header.
  void Commit();
  // Leaves the table as it was; called by the destructor.
  void Rollback() noexcept;

  // Test seam: called by ReadBack after the records reached the file and
  // before they are read, with the file holding them and where they start.
  using ReadBackHook = std::function<void(const std::string& file, uint64_t firstRecordAt, uint32_t records,
                                          uint16_t recordLength)>;
  static void SetReadBackHook(ReadBackHook hook);

 private:
  // Records to the file, written ahead; a failure rolls the writer back.
  void Write(std::string_view records, uint32_t n);

  std::string path_;      // the table
  std::string tempPath_;  // Create, Replace: the new table until Commit
  Mode mode_;
  bool anew_;                        // a new header given: the table is made anew even without rows
  std::shared_ptr<DbfFile> target_;  // Replace, Append: the table, locked
  std::shared_ptr<DbfFile> file_;    // the file the records go to
  std::string buffer_;
  uint32_t buffered_ = 0;
  uint32_t added_ = 0;
  bool done_ = false;
};

}  // namespace drs
