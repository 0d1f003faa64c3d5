#include "support/JournalFile.h"

#include <cerrno>

#include "platform/Files.h"

#include "utils/Cp1251.h"
#include "utils/Errors.h"
#include "utils/FileIO.h"

namespace drs {

namespace {
[[noreturn]] void Fail(const std::string& what, const std::string& fileName, int err) {
  throw EInOutError(what + " " + fileName + ": " + SystemErrorText(err));
}
}  // namespace

bool JournalLines::Add(const std::string& line, int maxLines) {
  bool dropped = false;
  if (!lines_.empty() && static_cast<long long>(lines_.size()) >= maxLines) {
    lines_.pop_front();
    dropped = true;
  }
  lines_.push_back(line);
  return dropped;
}

JournalFile::~JournalFile() {
  if (fd_ >= 0) platform::CloseFile(fd_);
}

std::vector<std::string> JournalFile::ReadLines(const std::string& fileName) {
  std::vector<std::string> lines;
  if (!FileExists(fileName)) return lines;
  std::string bytes, error;
  if (!ReadFileBytes(fileName, bytes, &error))
    throw EInOutError("Ошибка чтения журнала " + fileName + (error.empty() ? "" : ": " + error));
  std::string text = Cp1251ToUtf8(bytes);
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      lines.push_back(text.substr(start, i - start));
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

void JournalFile::Open(const std::string& fileName) {
  Close();
  const int fd = platform::OpenFile(fileName, platform::kWriteOnly | platform::kCreate | platform::kAppend);
  if (fd < 0) Fail("Не могу открыть журнал", fileName, errno);
  fd_ = fd;
  fileName_ = fileName;
}

void JournalFile::Append(const std::string& line) {
  if (fd_ < 0) throw EInOutError("Журнал не открыт");
  std::string bytes = Utf8ToCp1251(line);
  bytes += "\r\n";
  // Straight to the descriptor: nothing of a line that failed (a full disk)
  // stays buffered to be glued to the next one, and the part of it that did
  // reach the file is cut off again.
  const int fd = fd_;
  platform::FileInfo st;
  const int64_t before = platform::OpenFileInfo(fd, st) ? st.size : -1;
  size_t done = 0;
  while (done < bytes.size()) {
    long long n = platform::WriteSome(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      if (before >= 0 && platform::CutFile(fd, before) != 0) {
        // The piece stays; the error below is reported all the same.
      }
      Fail("Ошибка записи в журнал", fileName_, err);
    }
    done += static_cast<size_t>(n);
  }
}

void JournalFile::Truncate() {
  if (fd_ < 0) throw EInOutError("Журнал не открыт");
  platform::CloseFile(fd_);
  fd_ = platform::OpenFile(fileName_, platform::kWriteOnly | platform::kCreate | platform::kTruncate);
  if (fd_ < 0) Fail("Не могу очистить журнал", fileName_, errno);
}

void JournalFile::Close() {
  if (fd_ < 0) return;
  const int fd = fd_;
  fd_ = -1;
  if (platform::CloseFile(fd) != 0) Fail("Ошибка закрытия журнала", fileName_, errno);
}

}  // namespace drs
