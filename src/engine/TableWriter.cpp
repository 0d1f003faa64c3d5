#include "engine/TableWriter.h"

#include <cerrno>
#include <ctime>
#include <mutex>

#include "engine/DbfFile.h"
#include "engine/EDBEngineError.h"
#include "platform/Files.h"
#include "platform/Locks.h"
#include "platform/Paths.h"
#include "utils/FileIO.h"

namespace drs {

namespace {

constexpr size_t kChunkBytes = 1 << 20;  // records handed to the file at a time

std::mutex& HookMutex() {
  static std::mutex m;
  return m;
}
TableWriter::ReadBackHook& Hook() {
  static TableWriter::ReadBackHook hook;
  return hook;
}

// The open table at `path`, its exclusive lock taken (the file may be
// replaced while we wait: then the new one is taken).
// A descriptor of its own, not the engine's shared one: its lock keeps out
// this program's own statements too, and none of them can count records
// this writer has not committed.
std::shared_ptr<DbfFile> LockedTable(const std::string& path) {
  for (int attempt = 0;; ++attempt) {
    std::shared_ptr<DbfFile> file = DbfFile::Open(path);
    if (!file->Writable()) throw EDBEngineError("Файл " + path + " открыт только для чтения");
    if (file->BeginWrite()) return file;
    if (attempt == 8) throw EDBEngineError("Файл " + path + " постоянно заменяется другой программой");
  }
}

// A new table file of `bytes` beside `path`, open as a table.
std::shared_ptr<DbfFile> TableBeside(const std::string& path, const std::string& bytes, unsigned mode,
                                     std::string& tempPath) {
  const int fd = CreateTempBeside(path, mode, tempPath);
  if (fd < 0) throw EDBEngineError("Не могу создать файл " + path + ": " + SystemErrorText(errno));
  size_t done = 0;
  while (done < bytes.size()) {
    const long long n = platform::WriteSome(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int err = errno;
      platform::CloseFile(fd);
      platform::RemoveFile(tempPath);
      throw EDBEngineError("Ошибка записи в файл " + path + ": " + SystemErrorText(err));
    }
    done += size_t(n);
  }
  platform::CloseFile(fd);
  try {
    std::shared_ptr<DbfFile> file = DbfFile::Open(tempPath);
    file->BeginWrite();
    return file;
  } catch (...) {
    platform::RemoveFile(tempPath);
    throw;
  }
}

// Files a killed write left beside the table under its temporary name: older
// than a minute and locked by no writer (a writer holds its file's lock from
// its first minute to its end), they are removed.
void RemoveLeftovers(const std::string& path) {
  const size_t slash = path.find_last_of(platform::kSeparators);
  const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
  const std::string prefix =
      "." + (slash == std::string::npos ? path : path.substr(slash + 1)).substr(0, 200) + ".";
  const std::string suffix = ".tmp~";
  std::vector<std::string> names;
  if (!platform::ListFolder(folder, names)) return;
  const int64_t old = int64_t(std::time(nullptr)) - 60;
  for (const std::string& name : names) {
    if (name.size() != prefix.size() + 8 + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
      continue;
    const std::string file = (slash == std::string::npos ? std::string() : folder) + name;
    platform::FileInfo st;
    if (!platform::LinkInfo(file, st) || !st.regular || st.mtimeNs / 1000000000 > old) continue;
    const int fd = platform::OpenFile(file, platform::kReadWrite | platform::kNoFollow | platform::kNoBlock);
    if (fd < 0) continue;
    if (platform::ChangeLock(fd, platform::LockKind::kNone, platform::LockKind::kWrite,
                             std::chrono::milliseconds(0)) == 0)
      platform::RemoveFile(file);
    platform::CloseFile(fd);
  }
}

}  // namespace

void TableWriter::SetReadBackHook(ReadBackHook hook) {
  std::lock_guard<std::mutex> lock(HookMutex());
  Hook() = std::move(hook);
}

TableWriter::TableWriter(const std::string& path, Mode mode, const std::string& newTable)
    : path_(path), mode_(mode), anew_(!newTable.empty()) {
  RemoveLeftovers(path);
  switch (mode) {
    case Mode::Append:
      target_ = LockedTable(path);
      file_ = target_;
      break;
    case Mode::Replace: {
      target_ = LockedTable(path);
      try {
        // The table's own header with no record and its end mark, if it has
        // one; or the header of the new empty table given.
        std::string bytes = newTable;
        if (bytes.empty()) {
          bytes = target_->HeaderBytes();
          DbfPut32(reinterpret_cast<unsigned char*>(bytes.data()) + kDbfCountAt, 0);
          if (target_->HasEndMark()) bytes.push_back('\x1A');
        }
        file_ = TableBeside(path, bytes, target_->Mode(), tempPath_);
        // The copy's text in the table's code page, which a file beside the
        // table may name.
        if (!target_->Fields().empty()) file_->SetCodePage(target_->Fields()[0].codePage);
      } catch (...) {
        target_->EndWrite();
        throw;
      }
      break;
    }
    case Mode::Create:
      if (FileExists(path)) throw EDBEngineError("Файл " + path + " уже существует");
      file_ = TableBeside(path, newTable, 0666, tempPath_);
      break;
  }
}

TableWriter::~TableWriter() { Rollback(); }

const std::vector<DbfField>& TableWriter::Fields() const { return file_->Fields(); }
uint16_t TableWriter::RecordLength() const { return file_->RecordLength(); }

void TableWriter::Add(const char* records, uint32_t n) {
  const size_t bytes = size_t(n) * RecordLength();
  if (buffered_ == 0 && bytes >= kChunkBytes / 2) {
    // A caller's block of records goes to the file as it is, not copied.
    Write(std::string_view(records, bytes), n);
    added_ += n;
    return;
  }
  buffer_.append(records, bytes);
  buffered_ += n;
  added_ += n;
  if (buffer_.size() >= kChunkBytes) Flush();
}

void TableWriter::Write(std::string_view records, uint32_t n) {
  try {
    file_->WriteAhead(records, n);
  } catch (...) {
    Rollback();
    throw;
  }
}

void TableWriter::Flush() {
  if (buffered_ == 0) return;
  Write(buffer_, buffered_);
  buffer_.clear();
  buffered_ = 0;
}

void TableWriter::ReadBack(const std::function<void(const char* records, uint32_t n)>& visit) {
  Flush();
  const uint32_t first = file_->RecordCount();
  const uint16_t length = RecordLength();
  {
    std::lock_guard<std::mutex> lock(HookMutex());
    if (Hook()) Hook()(file_->Path(), file_->HeaderLength() + uint64_t(first) * length, added_, length);
  }
  const uint32_t step = uint32_t(kChunkBytes / length) + 1;
  std::string chunk;
  for (uint32_t done = 0; done < added_; done += step) {
    const uint32_t n = std::min(step, added_ - done);
    file_->ReadRecords(first + done, n, chunk);
    // Under the mark: the first record's flag as it will stand.
    if (done == 0 && mode_ == Mode::Append) chunk[0] = ' ';
    visit(chunk.data(), n);
  }
}

void TableWriter::Commit() {
  if (done_) throw EDBEngineError("Запись в файл " + path_ + " уже завершена");
  Flush();
  if (added_ == 0 && (mode_ == Mode::Append || (mode_ == Mode::Replace && !anew_))) {
    Rollback();  // nothing to write: the table stays byte for byte
    return;
  }
  try {
    // The table must still be the file at its name: rows committed into a
    // removed or replaced file would be lost without a word.
    if (target_ && !target_->Current())
      throw EDBEngineError("Файл " + path_ +
                           " удален или заменен другой программой во время записи; он не изменен");
    file_->CommitAhead(true);
    if (mode_ != Mode::Append) {
      file_->Sync();
      std::string error;
      if (mode_ == Mode::Replace ? !RenameOver(tempPath_, path_, &error)
                                 : !RenameNew(tempPath_, path_, &error)) {
        if (mode_ == Mode::Create && FileExists(path_))
          throw EDBEngineError("Файл " + path_ + " создан другой программой во время записи; он не изменен");
        throw EDBEngineError("Не могу записать файл " + path_ + ": " + error);
      }
      tempPath_.clear();
    }
  } catch (...) {
    Rollback();
    throw;
  }
  done_ = true;
  file_->EndWrite();
  if (target_ && target_ != file_) target_->EndWrite();
}

void TableWriter::Rollback() noexcept {
  if (done_) return;
  done_ = true;
  if (mode_ == Mode::Append) {
    file_->DropAhead();
    file_->EndWrite();
    return;
  }
  if (file_) file_->EndWrite();
  if (!tempPath_.empty()) platform::RemoveFile(tempPath_);
  if (target_) target_->EndWrite();
}

}  // namespace drs
