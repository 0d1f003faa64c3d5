#include "support/ui/TJournal.h"

#include <cstdio>

#include "utils/Utils.h"

namespace drs {

TJournal::TJournal(QWidget* parent) : QPlainTextEdit(parent) {
  setReadOnly(true);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

TJournal::~TJournal() {
  try {
    SetActive(false);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
  }
}

bool TJournal::HasFile() const { return !IsBlank(fileName_); }

void TJournal::SetActive(bool active) {
  if (active == active_) return;
  if (!active) {
    if (file_.IsOpen()) file_.Close();
    active_ = false;
    return;
  }
  lines_.Clear();
  ShowAll();
  if (HasFile()) {
    std::vector<std::string> old = JournalFile::ReadLines(fileName_);
    for (const std::string& line : old) lines_.Add(line, maxLines_);
    ShowAll();
    file_.Open(fileName_);
  }
  active_ = true;
}

void TJournal::AddMessage(const std::string& message, int mode) {
  if (active_ && HasFile() && file_.IsOpen()) file_.Append(message);
  bool wasEmpty = lines_.Count() == 0;
  bool dropped = lines_.Add(message, maxLines_);
  QString text = QString::fromStdString(message);
  if (wasEmpty || (dropped && lines_.Count() == 1)) {
    setPlainText(text);
  } else {
    if (dropped) {
      QTextCursor c(document());
      c.movePosition(QTextCursor::Start);
      c.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
      c.removeSelectedText();
    }
    appendPlainText(text);
  }
  emit addMessage(text, mode);
}

void TJournal::Clear() {
  if (active_ && HasFile() && file_.IsOpen()) file_.Truncate();
  lines_.Clear();
  ShowAll();
}

void TJournal::ShowAll() {
  QStringList all;
  for (const std::string& line : lines_.Lines()) all << QString::fromStdString(line);
  setPlainText(all.join('\n'));
  moveCursor(QTextCursor::End);
}

}  // namespace drs
