// The journal's file and its lines on screen, without a window. The file is
// 1251 text, one line per journal line, each ended by CR LF; it is never
// trimmed. The lines on screen keep at most MaxLines lines, oldest dropped first.
#pragma once

#include <cstdio>
#include <deque>
#include <string>
#include <vector>

namespace drs {

// The lines on screen. Before each addition the oldest line is dropped when
// MaxLines or more are held, so a lowered limit shortens nothing at once.
class JournalLines {
 public:
  // True when the oldest line was dropped to make room.
  bool Add(const std::string& line, int maxLines);
  void Clear() { lines_.clear(); }
  const std::deque<std::string>& Lines() const { return lines_; }
  size_t Count() const { return lines_.size(); }

 private:
  std::deque<std::string> lines_;
};

// The journal file held open for appending while the journal is active.
// Every failure throws EInOutError naming the file.
class JournalFile {
 public:
  JournalFile() = default;
  ~JournalFile();
  JournalFile(const JournalFile&) = delete;
  JournalFile& operator=(const JournalFile&) = delete;

  // Every line of an existing file, decoded from 1251 (empty when the file
  // does not exist). Line ends CR LF, LF or CR.
  static std::vector<std::string> ReadLines(const std::string& fileName);
  // Creates the file when missing and opens it for appending.
  void Open(const std::string& fileName);
  // Writes the line and its CR LF; the text reaches the disk at once.
  void Append(const std::string& line);
  // Empties the open file and keeps it open for writing.
  void Truncate();
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  const std::string& FileName() const { return fileName_; }

 private:
  int fd_ = -1;
  std::string fileName_;
};

}  // namespace drs
