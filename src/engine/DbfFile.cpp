#include "engine/DbfFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <new>
#include <thread>

#include "engine/EDBEngineError.h"
#include "utils/Cp1251.h"
#include "utils/Cp866.h"
#include "utils/FileIO.h"

namespace drs {

namespace {

uint32_t Le32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t Le16(const unsigned char* p) { return uint16_t(p[0] | p[1] << 8); }

int64_t MtimeNs(const struct stat& st) {
  return int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

std::mutex& RegistryMutex() {
  static std::mutex m;
  return m;
}
std::map<std::string, std::weak_ptr<DbfFile>>& Registry() {
  static std::map<std::string, std::weak_ptr<DbfFile>> r;
  return r;
}

void PWriteAll(int fd, const char* data, size_t n, off_t at, const std::string& path) {
  while (n > 0) {
    ssize_t w = ::pwrite(fd, data, n, at);
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

// The code page that the language driver byte names; 0 for one whose text
// we cannot read or write.
uint16_t CodePageOf(unsigned char driver) {
  switch (driver) {
    case 0x00:
    case 0xC9:
      return 1251;
    case 0x26:
    case 0x65:
      return 866;
    default:
      return 0;
  }
}

// Today's date as the header holds it (year - 1900, month, day); local time
// is worked out again only when the minute changes, and every time zone's
// midnight falls on a minute boundary.
void TodayBytes(unsigned char out[3]) {
  thread_local std::time_t minute = -1;
  thread_local unsigned char bytes[3];
  std::time_t now = std::time(nullptr);
  if (now / 60 != minute) {
    std::tm tm{};
    localtime_r(&now, &tm);
    bytes[0] = static_cast<unsigned char>(tm.tm_year % 256);
    bytes[1] = static_cast<unsigned char>(tm.tm_mon + 1);
    bytes[2] = static_cast<unsigned char>(tm.tm_mday);
    minute = now / 60;
  }
  std::memcpy(out, bytes, 3);
}

}  // namespace

RecordCopy::RecordCopy(size_t size) : size_(size) {
  if (size == 0) return;
  void* m = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (m == MAP_FAILED) throw std::bad_alloc();
  ::madvise(m, size, MADV_HUGEPAGE);
  data_ = static_cast<char*>(m);
}

RecordCopy::~RecordCopy() {
  if (data_) ::munmap(data_, size_);
}

DbfFile::~DbfFile() {
  if (fd_ >= 0) ::close(fd_);
}

std::chrono::milliseconds DbfFile::LockWait() { return std::chrono::milliseconds(lockWaitMs.load()); }
void DbfFile::SetLockWait(std::chrono::milliseconds wait) { lockWaitMs.store(wait.count()); }

void DbfFile::SetLock(Lock lock) const {
  if (lock == lockHeld_) return;
  // Locks of the open file description: they belong to this descriptor, not
  // to the process, so closing another descriptor of the file keeps them.
  struct flock fl {};
  fl.l_type = static_cast<short>(lock == kWrite ? F_WRLCK : lock == kRead ? F_RDLCK : F_UNLCK);
  fl.l_whence = SEEK_SET;
  const auto deadline = std::chrono::steady_clock::now() + LockWait();
  int cmd = F_OFD_SETLK;
  while (::fcntl(fd_, cmd, &fl) != 0) {
    const int err = errno;
    if (err == EINVAL && cmd == F_OFD_SETLK) {
      cmd = F_SETLK;  // a kernel without descriptor locks
      continue;
    }
    if (err == EINTR) continue;
    // A file system without locks: go on as a single user would.
    if (err == ENOLCK || err == EOPNOTSUPP) break;
    if ((err != EAGAIN && err != EACCES) || std::chrono::steady_clock::now() >= deadline)
      throw EDBEngineError("Таблица " + path_ + " занята другой программой: " +
                           (err == EAGAIN || err == EACCES
                                ? "не удалось получить доступ за " +
                                      std::to_string(LockWait().count() / 1000.0).substr(0, 3) + " с"
                                : SystemErrorText(err)));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
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
  const bool outermost = writeLocks_ == 0;
  if (outermost) SetLock(kWrite);
  ++writeLocks_;
  try {
    // Links, size and mode only: asking for the times would make the kernel
    // stamp every later write with a fine-grained time.
    struct statx sx {};
    const unsigned mask = STATX_NLINK | STATX_SIZE | STATX_MODE;
    off_t size;
    uint64_t nlink, mode;
    if (::statx(fd_, "", AT_EMPTY_PATH, mask, &sx) == 0 && (sx.stx_mask & mask) == mask) {
      nlink = sx.stx_nlink, mode = sx.stx_mode, size = off_t(sx.stx_size);
    } else {
      struct stat st {};
      if (::fstat(fd_, &st) != 0) Fail("не читается: " + SystemErrorText(errno));
      nlink = st.st_nlink, mode = st.st_mode, size = st.st_size;
    }
    if (nlink == 0 || !ModeKept(mode)) {
      EndWrite();
      return false;
    }
    // Another writer may have appended or cleared while we waited: every
    // writer changes the size with the count, so a file just as we left it
    // keeps our header.
    if (size != size_ || size != CountedEnd()) {
      unsigned char h[12];
      if (::pread(fd_, h, sizeof h, 0) != ssize_t(sizeof h))
        Fail("изменен другой программой: заголовок не читается");
      if (Le32(h + 4) != count_ || Le16(h + 8) != headerLength_ || Le16(h + 10) != recordLength_ ||
          size < CountedEnd())
        ReadHeader();
      else
        size_ = size;
    }
    // Bytes of unfinished records (a killed writer, a full disk) go before
    // anything is written, so no reader ever takes them for records.
    if (outermost && ahead_ == 0 && size_ > CountedEnd()) {
      if (::ftruncate(fd_, CountedEnd()) != 0) Fail("не укорачивается: " + SystemErrorText(errno));
      size_ = CountedEnd();
      ++version_;
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

void DbfFile::Fail(const std::string& what) const { throw EDBEngineError("Файл " + path_ + " " + what); }

std::shared_ptr<DbfFile> DbfFile::Open(const std::string& path) {
  std::shared_ptr<DbfFile> f(new DbfFile);
  f->path_ = path;
  // A file marked read-only is kept read-only for every user, root
  // included, as the profile files are.
  struct stat mode {};
  const bool readOnly = ::stat(path.c_str(), &mode) == 0 && (mode.st_mode & 0222) == 0;
  f->fd_ = readOnly ? -1 : ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (readOnly) errno = EACCES;
  if (f->fd_ < 0 && (errno == EACCES || errno == EROFS)) {
    f->fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
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
  struct statx sx {};
  unsigned mask = STATX_NLINK | STATX_SIZE | STATX_MODE | (reading ? STATX_MTIME : 0u);
  uint64_t nlink, mode;
  off_t size;
  int64_t mtime = mtimeNs_;
  if (::statx(fd_, "", AT_EMPTY_PATH, mask, &sx) == 0 && (sx.stx_mask & mask) == mask) {
    nlink = sx.stx_nlink, mode = sx.stx_mode, size = off_t(sx.stx_size);
    if (reading) mtime = int64_t(sx.stx_mtime.tv_sec) * 1000000000 + sx.stx_mtime.tv_nsec;
  } else {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return false;
    nlink = st.st_nlink, mode = st.st_mode, size = st.st_size, mtime = MtimeNs(st);
  }
  if (nlink == 0) return false;
  // A file marked read-only since we opened it is opened again read-only,
  // and one marked writable again is opened for writing.
  if (!ModeKept(mode)) return false;
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
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    int err = errno;
    if (err == ENOENT) throw EDBEngineError("Файл таблицы не найден: " + path);
    throw EDBEngineError("Не могу открыть файл " + path + ": " + SystemErrorText(err));
  }
  auto& slot = Registry()[path];
  if (auto f = slot.lock()) {
    const bool modeKept = f->ModeKept(st.st_mode);
    if (f->dev_ == st.st_dev && f->ino_ == st.st_ino && f->size_ == st.st_size && modeKept) return f;
    if (f->dev_ == st.st_dev && f->ino_ == st.st_ino && modeKept) {
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
  ++version_;
  fields_.clear();
  indexes_.clear();
  records_.reset();
  struct stat st {};
  if (::fstat(fd_, &st) != 0) Fail("не читается: " + SystemErrorText(errno));
  if (!S_ISREG(st.st_mode)) Fail("не является таблицей dBASE");
  dev_ = st.st_dev;
  ino_ = st.st_ino;
  size_ = st.st_size;
  mtimeNs_ = MtimeNs(st);
  if (st.st_size < 33) Fail("не является таблицей dBASE (слишком короткий)");

  unsigned char h[32];
  if (::pread(fd_, h, 32, 0) != 32) Fail("не читается: " + SystemErrorText(errno));
  // dBASE III and its memo variant; FoxPro and later layouts are refused.
  if ((h[0] & 0x07) != 0x03 || (h[0] & 0x70) != 0)
    Fail("не является таблицей dBASE III (версия " + std::to_string(h[0]) + ")");
  const uint16_t codePage = CodePageOf(h[29]);
  if (codePage == 0) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", h[29]);
    Fail("записан в кодировке, которую программа не поддерживает (байт языка " + std::string(hex) +
         "); таблица не изменена");
  }
  count_ = Le32(h + 4);
  headerLength_ = Le16(h + 8);
  recordLength_ = Le16(h + 10);
  if (headerLength_ < 33 || off_t(headerLength_) > st.st_size)
    Fail("повреждён: длина заголовка " + std::to_string(headerLength_) + " не соответствует размеру файла");

  std::string desc(headerLength_ - 32, '\0');
  if (::pread(fd_, desc.data(), desc.size(), 32) != ssize_t(desc.size()))
    Fail("не читается: " + SystemErrorText(errno));
  size_t pos = 0;
  uint32_t offset = 1;
  while (true) {
    if (pos >= desc.size()) Fail("повреждён: нет конца описания полей");
    if (static_cast<unsigned char>(desc[pos]) == 0x0D) break;
    if (pos + 32 > desc.size()) Fail("повреждён: нет конца описания полей");
    const auto* d = reinterpret_cast<const unsigned char*>(desc.data() + pos);
    DbfField f;
    size_t nameLen = 0;
    while (nameLen < 11 && d[nameLen] != 0) ++nameLen;
    const std::string_view rawName(reinterpret_cast<const char*>(d), nameLen);
    f.name = codePage == 866 ? Cp866ToUtf8(rawName) : Cp1251ToUtf8(rawName);
    f.type = static_cast<char>(d[11]);
    if (f.type >= 'a' && f.type <= 'z') f.type = static_cast<char>(f.type - 'a' + 'A');
    f.length = d[16];
    f.decimals = d[17];
    f.codePage = codePage;
    if (f.name.empty()) Fail("повреждён: поле " + std::to_string(fields_.size() + 1) + " без имени");
    if (f.length == 0) Fail("повреждён: поле " + f.name + " нулевой длины");
    f.offset = offset;
    offset += f.length;
    fields_.push_back(std::move(f));
    pos += 32;
  }
  if (fields_.empty()) Fail("не содержит ни одного поля");
  if (offset != recordLength_)
    Fail("повреждён: длина записи в заголовке (" + std::to_string(recordLength_) +
         ") не равна сумме длин полей (" + std::to_string(offset) + ")");
  // Bytes past the last counted record (an end-of-file mark, a record cut
  // off by a crash) are ignored; fewer bytes than counted is a damaged file.
  off_t needed = off_t(headerLength_) + off_t(count_) * recordLength_;
  if (needed > st.st_size)
    Fail("повреждён: заголовок указывает " + std::to_string(count_) +
         " записей, а в файле место только для " +
         std::to_string((st.st_size - headerLength_) / recordLength_));
  // A count that the file holds only as a hole (a sparse file) was never
  // written: such records would cost minutes and gigabytes to walk.
  const off_t hole = ::lseek(fd_, headerLength_, SEEK_HOLE);
  if (hole >= 0 && hole < needed)
    Fail("повреждён: заголовок указывает " + std::to_string(count_) + " записей, а записано только " +
         std::to_string((hole - headerLength_) / recordLength_));
}

void DbfFile::Remember(off_t end) {
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
  const off_t at = off_t(headerLength_) + off_t(first) * recordLength_;
  LockRead();
  size_t done = 0;
  while (done < bytes) {
    ssize_t r = ::pread(fd_, out + done, bytes - done, at + off_t(done));
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
  unsigned char h[7];
  TodayBytes(h);
  for (int i = 0; i < 4; ++i) h[3 + i] = static_cast<unsigned char>(count_ >> (8 * i));
  PWriteAll(fd_, reinterpret_cast<const char*>(h), sizeof h, 1, path_);
}

void DbfFile::WriteRecords(const std::vector<std::pair<uint32_t, std::string>>& records) {
  for (const auto& [index, bytes] : records) {
    if (index >= count_ || bytes.size() != recordLength_) continue;
    PWriteAll(fd_, bytes.data(), bytes.size(), off_t(headerLength_) + off_t(index) * recordLength_, path_);
  }
  WriteHeader();
  Remember(0);
}

void DbfFile::MarkDeleted(const std::vector<uint32_t>& records) {
  for (uint32_t index : records) {
    if (index >= count_) continue;
    PWriteAll(fd_, "*", 1, off_t(headerLength_) + off_t(index) * recordLength_, path_);
  }
  WriteHeader();
  Remember(0);
}

void DbfFile::WriteAhead(const std::string& records, uint32_t n) {
  if (uint64_t(count_) + ahead_ + n > 0xFFFFFFFFull) Fail("переполнен: слишком много записей");
  off_t at = CountedEnd() + off_t(ahead_) * recordLength_;
  PWriteAll(fd_, records.data(), records.size(), at, path_);
  ahead_ += n;
  if (at + off_t(records.size()) > size_) size_ = at + off_t(records.size());
}

void DbfFile::Append(const std::string& records, uint32_t n) {
  if (uint64_t(count_) + ahead_ + n > 0xFFFFFFFFull) Fail("переполнен: слишком много записей");
  off_t at = CountedEnd() + off_t(ahead_) * recordLength_;
  if (!records.empty()) PWriteAll(fd_, records.data(), records.size(), at, path_);
  count_ += ahead_ + n;
  ahead_ = 0;
  WriteHeader();
  Remember(at + off_t(records.size()));
}

void DbfFile::DropAhead() {
  if (ahead_ == 0) return;
  ahead_ = 0;
  ++version_;
  // Cut back to the records the file counts now; a count that grew behind
  // our back (another writer) keeps its records.
  unsigned char c[4];
  if (::pread(fd_, c, 4, 4) != 4 || Le32(c) < count_) return;
  off_t end = off_t(headerLength_) + off_t(Le32(c)) * recordLength_;
  if (::ftruncate(fd_, end) == 0) size_ = end;
}

void DbfFile::Truncate() {
  count_ = 0;
  ahead_ = 0;
  WriteHeader();
  if (::ftruncate(fd_, headerLength_) != 0) Fail("не укорачивается: " + SystemErrorText(errno));
  size_ = headerLength_;
  Remember(0);
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

std::string DbfFile::FieldText(const DbfField& f, const char* record) {
  const char* p = record + f.offset;
  size_t n = f.length;
  while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\0')) --n;
  bool ascii = true;
  for (size_t i = 0; i < n; ++i)
    if (static_cast<unsigned char>(p[i]) >= 0x80) {
      ascii = false;
      break;
    }
  if (ascii) return std::string(p, n);
  return f.codePage == 866 ? Cp866ToUtf8(std::string_view(p, n)) : Cp1251ToUtf8(std::string_view(p, n));
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
