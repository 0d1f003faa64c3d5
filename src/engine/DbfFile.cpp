#include "engine/DbfFile.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <thread>

#include "engine/EDBEngineError.h"
#include "platform/Files.h"
#include "platform/Locks.h"
#include "platform/Memory.h"
#include "platform/Paths.h"
#include "utils/FileIO.h"
#include "utils/TextCase.h"

namespace drs {

namespace {

std::mutex& RegistryMutex() {
  static std::mutex m;
  return m;
}
std::map<std::string, std::weak_ptr<DbfFile>>& Registry() {
  static std::map<std::string, std::weak_ptr<DbfFile>> r;
  return r;
}

void PWriteAll(int fd, const char* data, size_t n, int64_t at, const std::string& path) {
  while (n > 0) {
    long long w = platform::WriteAt(fd, data, n, at);
    if (w < 0) {
      if (errno == EINTR) continue;
      throw EDBEngineError("Ошибка записи в файл " + path + ": " + SystemErrorText(errno));
    }
    data += w;
    n -= size_t(w);
    at += w;
  }
}

std::atomic<int64_t> lockWaitMs{5000};

// The files of the table's folder named as the table with another extension
// (any letter case): extension (folded) -> path.
std::vector<std::pair<std::string, std::string>> Companions(const std::string& path) {
  std::vector<std::pair<std::string, std::string>> found;
  const size_t slash = path.find_last_of(platform::kSeparators);
  const std::string folder = slash == std::string::npos                         ? "."
                             : slash == 0 || slash < platform::RootLength(path) ? path.substr(0, slash + 1)
                                                                                : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  const std::string base = FoldCase(dot == std::string::npos ? name : name.substr(0, dot));
  std::vector<std::string> names;
  if (!platform::ListFolder(folder, names)) return found;
  for (const std::string& other : names) {
    const size_t d = other.rfind('.');
    if (d == std::string::npos || FoldCase(other.substr(0, d)) != base || other == name) continue;
    found.emplace_back(FoldCase(other.substr(d + 1)),
                       (slash == std::string::npos ? "" : platform::FolderPrefix(folder)) + other);
  }
  return found;
}

}  // namespace

uint16_t CodePageBeside(const std::string& path) {
  for (const auto& [extension, file] : Companions(path)) {
    if (extension != "cpg") continue;
    std::string text;
    if (!ReadFileBytes(file, text)) continue;
    std::string name;
    for (char c : text)
      if (!std::isspace(static_cast<unsigned char>(c)))
        name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const char* prefix : {"WINDOWS-", "CP", "ANSI", "OEM", "IBM"})
      if (name.rfind(prefix, 0) == 0) name = name.substr(std::strlen(prefix));
    if (name == "1251") return 1251;
    if (name == "866") return 866;
    throw EDBEngineError("Файл " + path + " записан в кодировке " + std::string(text.substr(0, 40)) +
                         " (файл " + file + "), которую программа не поддерживает; таблица не изменена");
  }
  return 0;
}

std::string IndexBeside(const std::string& path, bool productionIndex) {
  for (const auto& [extension, file] : Companions(path))
    if (extension == "mdx" || extension == "ndx" || extension == "cdx") return file;
  if (productionIndex) {
    const size_t dot = path.rfind('.');
    return (dot == std::string::npos ? path : path.substr(0, dot)) + ".MDX";
  }
  return {};
}

namespace {}  // namespace

RecordCopy::RecordCopy(size_t size) : size_(size) {
  if (size == 0) return;
  void* m = platform::AllocateZeroPages(size);
  if (!m) throw std::bad_alloc();
  platform::AdviseHugePages(m, size);
  data_ = static_cast<char*>(m);
}

RecordCopy::~RecordCopy() {
  if (data_) platform::FreeZeroPages(data_, size_);
}

DbfFile::~DbfFile() {
  if (fd_ >= 0) platform::CloseFile(fd_);
}

std::chrono::milliseconds DbfFile::LockWait() { return std::chrono::milliseconds(lockWaitMs.load()); }
void DbfFile::SetLockWait(std::chrono::milliseconds wait) { lockWaitMs.store(wait.count()); }

void DbfFile::SetLock(Lock lock) const {
  if (lock == lockHeld_) return;
  constexpr platform::LockKind kKinds[] = {platform::LockKind::kNone, platform::LockKind::kRead,
                                           platform::LockKind::kWrite};
  const int err = platform::ChangeLock(fd_, kKinds[lockHeld_], kKinds[lock], LockWait());
  if (err != 0)
    throw EDBEngineError("Таблица " + path_ + " занята другой программой: " +
                         (err == EAGAIN ? "не удалось получить доступ за " +
                                              std::to_string(LockWait().count() / 1000.0).substr(0, 3) + " с"
                                        : SystemErrorText(err)));
  lockHeld_ = lock;
}

void DbfFile::LockRead() const {
  if (readLocks_++ == 0 && writeLocks_ == 0) {
    try {
      SetLock(kRead);
    } catch (...) {
      --readLocks_;
      throw;
    }
  }
}

void DbfFile::UnlockRead() const {
  if (--readLocks_ == 0 && writeLocks_ == 0) SetLock(kNone);
}

bool DbfFile::BeginWrite() {
  if (!writable_) return true;  // refused by the caller before any write
  if (!index_.empty())
    Fail("имеет индекс " + index_ + ", который запись не обновила бы; таблица не изменена");
  const bool outermost = writeLocks_ == 0;
  if (outermost) SetLock(kWrite);
  ++writeLocks_;
  try {
    // Links, size and mode only: asking for the times would make the kernel
    // stamp every later write with a fine-grained time.
    platform::FileInfo info;
    if (!platform::OpenFileState(fd_, info, false)) Fail("не читается: " + SystemErrorText(errno));
    const int64_t size = info.size;
    if (info.links == 0 || !ModeKept(info.mode)) {
      EndWrite();
      return false;
    }
    // Another writer may have appended or cleared while we waited: every
    // writer changes the size with the count, so a file just as we left it
    // keeps our header.
    if (size != size_ || size != DataEnd()) {
      unsigned char h[12];
      if (platform::ReadAt(fd_, h, sizeof h, 0) != static_cast<long long>(sizeof h))
        Fail("изменен другой программой: заголовок не читается");
      if (DbfGet32(h + kDbfCountAt) != count_ || DbfGet16(h + 8) != headerLength_ ||
          DbfGet16(h + 10) != recordLength_ || size < CountedEnd())
        ReadHeader();
      else
        size_ = size;
    }
    // Bytes of unfinished records (a killed writer, a full disk) go before
    // anything is written, so no reader ever takes them for records; the
    // end mark stays.
    if (outermost && ahead_ == 0 && size_ > CountedEnd()) {
      FindEndMark();
      if (size_ > DataEnd()) {
        if (platform::CutFile(fd_, DataEnd()) != 0) Fail("не укорачивается: " + SystemErrorText(errno));
        size_ = DataEnd();
        ++version_;
      }
    }
  } catch (...) {
    if (writeLocks_ > 0) EndWrite();
    throw;
  }
  return true;
}

void DbfFile::EndWrite() {
  if (!writable_ || writeLocks_ == 0) return;
  if (--writeLocks_ > 0) return;
  try {
    SetLock(readLocks_ > 0 ? kRead : kNone);
  } catch (const EDBEngineError&) {
    // Unlocking never waits; a failure leaves the lock to the descriptor's close.
  }
}

bool DbfFile::Replace(const std::string& path, const std::string& bytes, std::string* error) {
  // Never opened through a link (the rename replaces the link, not its
  // target) nor blocking on a device or pipe.
  std::unique_ptr<DbfFile> old(new DbfFile);
  old->path_ = path;
  old->fd_ = platform::OpenFile(path, platform::kReadWrite | platform::kNoFollow | platform::kNoBlock);
  platform::FileInfo info;
  try {
    // A file nobody can write has no writer to wait for.
    if (old->fd_ >= 0 && platform::OpenFileInfo(old->fd_, info) && info.regular) old->SetLock(kWrite);
  } catch (const EDBEngineError& e) {
    if (error) *error = e.what();
    return false;
  }
  // The lock goes with the descriptor, after the rename.
  return WriteFileAtomic(path, bytes, error);
}

void DbfFile::Fail(const std::string& what) const { throw EDBEngineError("Файл " + path_ + " " + what); }

std::shared_ptr<DbfFile> DbfFile::Open(const std::string& path) {
  std::shared_ptr<DbfFile> f(new DbfFile);
  f->path_ = path;
  // A file marked read-only is kept read-only for every user, root
  // included, as the profile files are.
  platform::FileInfo mode;
  const bool readOnly = platform::PathInfo(path, mode) && (mode.mode & 0222) == 0;
  f->fd_ = readOnly ? -1 : platform::OpenFile(path, platform::kReadWrite);
  if (readOnly) errno = EACCES;
  if (f->fd_ < 0 && (errno == EACCES || errno == EROFS)) {
    f->fd_ = platform::OpenFile(path, platform::kReadOnly);
    f->writable_ = false;
    f->readOnlyByMode_ = readOnly;
  }
  if (f->fd_ < 0) {
    int err = errno;
    if (err == ENOENT) throw EDBEngineError("Файл таблицы не найден: " + path);
    throw EDBEngineError("Не могу открыть файл " + path + ": " + SystemErrorText(err));
  }
  f->ReadHeader();
  return f;
}

bool DbfFile::Current(bool reading) {
  // Links, size and mode only, unless reading: once a file's times have been
  // asked for, the kernel stamps the next write with a fine-grained time and
  // dirties the inode, which doubles the cost of an append.
  platform::FileInfo info;
  info.mtimeNs = mtimeNs_;
  if (!platform::OpenFileState(fd_, info, reading)) return false;
  const int64_t size = info.size;
  const int64_t mtime = info.mtimeNs;
  if (info.links == 0 || !platform::StillAt(fd_, path_)) return false;
  // A file marked read-only since we opened it is opened again read-only,
  // and one marked writable again is opened for writing.
  if (!ModeKept(info.mode)) return false;
  // Another writer's append or clear shows in the file size.
  if (size != size_ || size < CountedEnd()) {
    ReadHeader();
    return true;
  }
  if (size != size_ || mtime != mtimeNs_) {
    // Written since our last look (by us or anyone): caches go stale.
    ++version_;
    size_ = size;
    mtimeNs_ = mtime;
  }
  return true;
}

bool DbfFile::ModeKept(uint64_t mode) const {
  const bool writableMode = (mode & 0222) != 0;
  return writable_ ? writableMode : !(readOnlyByMode_ && writableMode);
}

std::shared_ptr<DbfFile> DbfFile::Acquire(const std::string& path) {
  std::lock_guard<std::mutex> lock(RegistryMutex());
  auto& known = Registry()[path];
  if (auto f = known.lock()) {
    // Our descriptor still names the file at the path unless it was removed
    // or replaced (both leave the old inode without links).
    if (f->Current()) return f;
  }
  platform::FileInfo st;
  if (!platform::PathInfo(path, st)) {
    int err = errno;
    if (err == ENOENT) throw EDBEngineError("Файл таблицы не найден: " + path);
    throw EDBEngineError("Не могу открыть файл " + path + ": " + SystemErrorText(err));
  }
  auto& slot = Registry()[path];
  if (auto f = slot.lock()) {
    const bool modeKept = f->ModeKept(st.mode);
    if (f->dev_ == st.device && f->ino_ == st.file && f->size_ == st.size && modeKept) return f;
    if (f->dev_ == st.device && f->ino_ == st.file && modeKept) {
      // Same file changed by someone else: read its header again.
      f->ReadHeader();
      return f;
    }
  }
  auto f = Open(path);
  slot = f;
  return f;
}

void DbfFile::ReadHeader() {
  // Under the shared lock, as records are read: without it the size and the
  // count could come from either side of another writer's append, and a
  // sound table would read as one counting more records than it holds.
  LockRead();
  try {
    ReadHeaderLocked();
  } catch (...) {
    UnlockRead();
    throw;
  }
  UnlockRead();
}

void DbfFile::ReadHeaderLocked() {
  ++version_;
  fields_.clear();
  indexes_.clear();
  records_.reset();
  platform::FileInfo st;
  if (!platform::OpenFileInfo(fd_, st)) Fail("не читается: " + SystemErrorText(errno));
  if (!st.regular) Fail("не является таблицей dBASE");
  dev_ = st.device;
  ino_ = st.file;
  size_ = st.size;
  mtimeNs_ = st.mtimeNs;
  DbfHeader header;
  const std::string fault = header.Read(uint64_t(st.size), [&](uint64_t at, size_t n, void* out) {
    if (platform::ReadAt(fd_, out, n, int64_t(at)) != static_cast<long long>(n))
      Fail("не читается: " + SystemErrorText(errno));
  });
  if (!fault.empty()) Fail(fault);
  if (header.language == 0) {
    // No code page in the header: a .cpg file beside the table may name one.
    const uint16_t cpg = CodePageBeside(path_);
    if (cpg != 0)
      for (DbfField& f : header.fields) f.codePage = cpg;
  }
  index_ = IndexBeside(path_, header.productionIndex);
  count_ = header.count;
  headerLength_ = header.headerLength;
  recordLength_ = header.recordLength;
  fields_ = std::move(header.fields);
  FindEndMark();
  const int64_t needed = CountedEnd();
  // A count that the file holds only as a hole (a sparse file) was never
  // written: such records would cost minutes and gigabytes to walk.
  const int64_t hole = platform::FirstHole(fd_, headerLength_);
  if (hole >= 0 && hole < needed)
    Fail("повреждён: заголовок указывает " + std::to_string(count_) + " записей, а записано только " +
         std::to_string((hole - headerLength_) / recordLength_));
}

void DbfFile::Remember(int64_t end) {
  ++version_;
  if (end > size_) size_ = end;
}

std::shared_ptr<const RecordCopy> DbfFile::Records() {
  if (records_ && recordsVersion_ == version_) return records_;
  records_.reset();
  auto copy = std::make_shared<RecordCopy>(size_t(count_) * recordLength_);
  ReadRecords(0, count_, copy->data());
  records_ = std::move(copy);
  recordsVersion_ = version_;
  return records_;
}

void DbfFile::ReadRecords(uint32_t first, uint32_t n, std::string& buf) const {
  buf.resize(size_t(n) * recordLength_);
  ReadRecords(first, n, buf.data());
}

void DbfFile::ReadRecords(uint32_t first, uint32_t n, char* out) const {
  const size_t bytes = size_t(n) * recordLength_;
  const int64_t at = int64_t(headerLength_) + int64_t(first) * recordLength_;
  LockRead();
  size_t done = 0;
  while (done < bytes) {
    long long r = platform::ReadAt(fd_, out + done, bytes - done, at + int64_t(done));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      const int err = errno;
      UnlockRead();
      if (r < 0) Fail("не читается: " + SystemErrorText(err));
      Fail("изменен другой программой: файл укорочен во время чтения");
    }
    done += size_t(r);
  }
  UnlockRead();
}

void DbfFile::WriteHeader() {
  // Update date and record count in one write (bytes 1..7).
  unsigned char h[kDbfCountAt + 4];
  DbfToday(h + kDbfDateAt);
  DbfPut32(h + kDbfCountAt, count_);
  PWriteAll(fd_, reinterpret_cast<const char*>(h) + kDbfDateAt, sizeof h - kDbfDateAt, kDbfDateAt, path_);
}

void DbfFile::WriteRecords(const std::vector<std::pair<uint32_t, std::string>>& records) {
  for (const auto& [index, bytes] : records) {
    if (index >= count_ || bytes.size() != recordLength_) continue;
    PWriteAll(fd_, bytes.data(), bytes.size(), int64_t(headerLength_) + int64_t(index) * recordLength_,
              path_);
  }
  WriteHeader();
  Remember(0);
}

void DbfFile::MarkDeleted(const std::vector<uint32_t>& records) {
  for (uint32_t index : records) {
    if (index >= count_) continue;
    PWriteAll(fd_, "*", 1, int64_t(headerLength_) + int64_t(index) * recordLength_, path_);
  }
  WriteHeader();
  Remember(0);
}

void DbfFile::WriteAhead(std::string_view records, uint32_t n) {
  if (n == 0) return;
  if (uint64_t(count_) + ahead_ + n > 0xFFFFFFFFull) Fail("переполнен: слишком много записей");
  const int64_t at = CountedEnd() + int64_t(ahead_) * recordLength_;
  const uint32_t before = ahead_;
  // Counted ahead before the bytes go, so that DropAhead cuts a write that
  // failed half-way.
  ahead_ += n;
  if (before == 0) {
    // The end mark goes first where the first record's flag will be: until
    // the commit, readers that read to the mark stop there.
    firstFlag_ = records[0];
    PWriteAll(fd_, "\x1A", 1, at, path_);
    PWriteAll(fd_, records.data() + 1, records.size() - 1, at + 1, path_);
  } else {
    PWriteAll(fd_, records.data(), records.size(), at, path_);
  }
  if (at + int64_t(records.size()) > size_) size_ = at + int64_t(records.size());
}

void DbfFile::CommitAhead(bool durable) {
  if (ahead_ == 0) return;
  const int64_t first = CountedEnd();
  const int64_t end = first + int64_t(ahead_) * recordLength_;
  if (endMark_) PWriteAll(fd_, "\x1A", 1, end, path_);
  if (durable) Sync();
  // Lifting the mark shows the records to readers that read to it; the
  // count, one write of four bytes, shows them to the others.
  PWriteAll(fd_, &firstFlag_, 1, first, path_);
  count_ += ahead_;
  ahead_ = 0;
  WriteHeader();
  if (durable) Sync();
  Remember(end + (endMark_ ? 1 : 0));
}

void DbfFile::Append(const std::string& records, uint32_t n, bool durable) {
  WriteAhead(records, n);
  CommitAhead(durable);
}

void DbfFile::DropAhead() {
  if (ahead_ == 0) return;
  ahead_ = 0;
  ++version_;
  // Cut back to the records the file counts now and their end mark (the
  // first record written ahead holds it); a count that grew behind our
  // back (another writer) keeps its records.
  unsigned char c[4];
  if (platform::ReadAt(fd_, c, 4, 4) != 4 || DbfGet32(c) < count_) return;
  int64_t end = int64_t(headerLength_) + int64_t(DbfGet32(c)) * recordLength_;
  if (DbfGet32(c) == count_ && endMark_) ++end;
  if (platform::CutFile(fd_, end) == 0) size_ = end;
}

void DbfFile::Truncate() {
  count_ = 0;
  ahead_ = 0;
  WriteHeader();
  if (platform::CutFile(fd_, headerLength_) != 0) Fail("не укорачивается: " + SystemErrorText(errno));
  size_ = headerLength_;
  if (endMark_) {
    PWriteAll(fd_, "\x1A", 1, headerLength_, path_);
    size_ = DataEnd();
  }
  Remember(0);
}

void DbfFile::FindEndMark() {
  endMark_ = false;
  char mark = 0;
  if (size_ > CountedEnd() && platform::ReadAt(fd_, &mark, 1, CountedEnd()) == 1) endMark_ = mark == 0x1A;
}

void DbfFile::SetCodePage(uint16_t codePage) {
  for (DbfField& f : fields_) f.codePage = codePage;
}

std::string DbfFile::HeaderBytes() const {
  std::string bytes(headerLength_, '\0');
  if (platform::ReadAt(fd_, bytes.data(), bytes.size(), 0) != static_cast<long long>(bytes.size()))
    Fail("не читается: " + SystemErrorText(errno));
  return bytes;
}

void DbfFile::Sync() const {
  if (platform::SyncData(fd_) != 0)
    throw EDBEngineError("Ошибка записи в файл " + path_ + ": " + SystemErrorText(errno));
}

uint32_t DbfFile::Mode() const {
  platform::FileInfo st;
  return platform::OpenFileInfo(fd_, st) ? st.mode : 0666u;
}

uint32_t DbfFile::LiveCount() const {
  uint32_t live = 0;
  std::string buf;
  const uint32_t chunk = 1u << 14;
  for (uint32_t first = 0; first < count_; first += chunk) {
    uint32_t n = std::min(chunk, count_ - first);
    ReadRecords(first, n, buf);
    for (uint32_t i = 0; i < n; ++i)
      if (buf[size_t(i) * recordLength_] != '*') ++live;
  }
  return live;
}

const std::vector<uint32_t>* DbfFile::Lookup(int field, const std::string& key) {
  Index& idx = indexes_[field];
  if (idx.version != version_ || (idx.rows.empty() && count_ > 0)) {
    idx.rows.clear();
    idx.version = version_;
    const DbfField& f = fields_[size_t(field)];
    std::string buf;
    const uint32_t chunk = 1u << 14;
    for (uint32_t first = 0; first < count_; first += chunk) {
      uint32_t n = std::min(chunk, count_ - first);
      ReadRecords(first, n, buf);
      for (uint32_t i = 0; i < n; ++i) {
        const char* rec = buf.data() + size_t(i) * recordLength_;
        if (rec[0] == '*') continue;
        idx.rows[FieldText(f, rec)].push_back(first + i);
      }
    }
  }
  auto it = idx.rows.find(key);
  return it == idx.rows.end() ? nullptr : &it->second;
}

}  // namespace drs
