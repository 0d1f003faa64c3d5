#include "engine/DbfFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <bit>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>

#include "engine/EDBEngineError.h"
#include "utils/Cp1251.h"
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

uint32_t ToLe32(uint32_t v) {
  if constexpr (std::endian::native == std::endian::little) return v;
  return (v & 0xFF) << 24 | (v & 0xFF00) << 8 | (v >> 8 & 0xFF00) | v >> 24;
}

constexpr size_t kHeaderMap = 32;  // the kernel maps the whole first page

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

DbfFile::~DbfFile() {
  for (auto [m, n] : maps_) ::munmap(m, n);
  if (header_) ::munmap(header_, kHeaderMap);
  if (fd_ >= 0) ::close(fd_);
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
  f->MapHeader();
  return f;
}

void DbfFile::MapHeader() {
  // Without a mapping (a file system that cannot share one) the header is
  // written and checked through the descriptor instead.
  int prot = writable_ ? PROT_READ | PROT_WRITE : PROT_READ;
  void* m = ::mmap(nullptr, kHeaderMap, prot, MAP_SHARED, fd_, 0);
  if (m == MAP_FAILED && writable_) {
    m = ::mmap(nullptr, kHeaderMap, PROT_READ, MAP_SHARED, fd_, 0);
    prot = PROT_READ;
  }
  if (m == MAP_FAILED) return;
  header_ = static_cast<unsigned char*>(m);
  headerWritable_ = (prot & PROT_WRITE) != 0;
}

uint32_t DbfFile::MappedCount() const {
  uint32_t v =
      std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(header_ + 4)).load(std::memory_order_acquire);
  return ToLe32(v);
}

bool DbfFile::Current(bool reading) {
  // Links, size and mode only, unless reading: once a file's times have been
  // asked for, the kernel stamps the next write with a fine-grained time and
  // dirties the inode, which doubles the cost of an append.
  // Taken before the look, so a change made meanwhile is not counted as seen.
  const uint64_t generation = FileChangeGeneration();
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
  checkedAt_ = std::chrono::steady_clock::now();
  checkedGeneration_ = generation;
  if (nlink == 0) return false;
  // A file marked read-only since we opened it is opened again read-only,
  // and one marked writable again is opened for writing.
  if (!ModeKept(mode)) return false;
  // Another writer's append shows in the shared header page; without one,
  // in the file size. The page is read only once the size says it is there.
  bool recounted = header_ && size >= 8 ? MappedCount() != count_ : size != size_;
  if (recounted || size < CountedEnd()) {
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

bool DbfFile::CurrentForWrite() {
  if (FileChangeGeneration() != checkedGeneration_ ||
      std::chrono::steady_clock::now() - checkedAt_ >= kRecheckInterval)
    return Current(false);
  // The size seen at the last check says the header page is there.
  if (header_ && size_ >= 8 && MappedCount() != count_) ReadHeader();
  return true;
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
  for (auto [m, n] : maps_) ::munmap(m, n);
  maps_.clear();
  map_ = nullptr;
  mapLength_ = 0;
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
    f.name = Cp1251ToUtf8(std::string_view(reinterpret_cast<const char*>(d), nameLen));
    f.type = static_cast<char>(d[11]);
    if (f.type >= 'a' && f.type <= 'z') f.type = static_cast<char>(f.type - 'a' + 'A');
    f.length = d[16];
    f.decimals = d[17];
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
}

void DbfFile::Remember(off_t end) {
  ++version_;
  if (end > size_) size_ = end;
}

const char* DbfFile::Record(uint32_t index) {
  off_t end = off_t(headerLength_) + off_t(count_) * recordLength_;
  if (!map_ || mapLength_ < size_t(end)) {
    // Earlier mappings stay valid for cursors that still point into them.
    void* m = ::mmap(nullptr, size_t(end), PROT_READ, MAP_SHARED, fd_, 0);
    if (m == MAP_FAILED) Fail("не читается: " + SystemErrorText(errno));
    maps_.emplace_back(m, size_t(end));
    map_ = static_cast<const char*>(m);
    mapLength_ = size_t(end);
  }
  return map_ + headerLength_ + size_t(index) * recordLength_;
}

void DbfFile::ReadRecords(uint32_t first, uint32_t n, std::string& buf) const {
  size_t bytes = size_t(n) * recordLength_;
  buf.resize(bytes);
  off_t at = off_t(headerLength_) + off_t(first) * recordLength_;
  size_t done = 0;
  while (done < bytes) {
    ssize_t r = ::pread(fd_, buf.data() + done, bytes - done, at + off_t(done));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) Fail("не читается: " + (r < 0 ? SystemErrorText(errno) : std::string("файл укорочен")));
    done += size_t(r);
  }
}

void DbfFile::WriteHeader() {
  // Update date and record count in one write (bytes 1..7).
  unsigned char h[7];
  TodayBytes(h);
  uint32_t le = ToLe32(count_);
  std::memcpy(h + 3, &le, 4);
  PWriteAll(fd_, reinterpret_cast<const char*>(h), sizeof h, 1, path_);
}

void DbfFile::PublishCount() {
  if (!headerWritable_) return WriteHeader();
  // The records were written before this store; a reader that sees the new
  // count finds them, and a process killed in between leaves them uncounted.
  unsigned char date[3];
  TodayBytes(date);
  if (std::memcmp(header_ + 1, date, 3) != 0) std::memcpy(header_ + 1, date, 3);
  std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(header_ + 4))
      .store(ToLe32(count_), std::memory_order_release);
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
  PublishCount();
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
  return ascii ? std::string(p, n) : Cp1251ToUtf8(std::string_view(p, n));
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
