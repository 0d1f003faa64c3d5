// The journal: a read-only text box that keeps at most MaxLines lines and,
// while active, appends every line it is given to the journal file.
#pragma once

#include <QPlainTextEdit>
#include <QString>
#include <string>

#include "support/JournalFile.h"

namespace drs {

class TJournal : public QPlainTextEdit {
  Q_OBJECT

 public:
  static constexpr int kDefaultMaxLines = 32;

  explicit TJournal(QWidget* parent = nullptr);
  // Deactivates first, closing the file.
  ~TJournal() override;

  bool Active() const { return active_; }
  // True: empties the screen, loads the file's last MaxLines lines (creating
  // an empty file when there is none) and opens it for appending. False:
  // closes the file, the lines stay. The same value again does nothing.
  // File failures throw EInOutError; a failed activation stays inactive.
  virtual void SetActive(bool active);

  int MaxLines() const { return maxLines_; }
  void SetMaxLines(int maxLines) { maxLines_ = maxLines; }
  // Blank (only spaces, tabs, CR, LF): no file, the journal is on screen only.
  const std::string& FileName() const { return fileName_; }
  void SetFileName(const std::string& fileName) { fileName_ = fileName; }
  bool HasFile() const;

  // Writes the line to the file (when active with a file), then shows it,
  // dropping the oldest line when MaxLines or more are shown.
  virtual void AddMessage(const std::string& message, int mode);
  void AddLine(const std::string& message) { AddMessage(message, 0); }
  // Empties the screen; an active journal with a file empties the file too.
  void Clear();

  const std::deque<std::string>& Lines() const { return lines_.Lines(); }

 signals:
  // After every added line.
  void addMessage(const QString& message, int mode);

 private:
  void ShowAll();

  JournalLines lines_;
  JournalFile file_;
  std::string fileName_;
  int maxLines_ = kDefaultMaxLines;
  bool active_ = false;
};

}  // namespace drs
