#include "format/ui/TEditCombo.h"

#include <QLineEdit>
#include <QSignalBlocker>

namespace drs {

TEditCombo::TEditCombo(QWidget* parent) : QComboBox(parent) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  setCompleter(nullptr);
  connect(this, &QComboBox::editTextChanged, this, &TEditCombo::FollowText);
}

void TEditCombo::FollowText(const QString& text) {
  const int match = findText(text, Qt::MatchFixedString | Qt::MatchCaseSensitive);
  if (match == currentIndex()) return;
  QLineEdit* edit = lineEdit();
  const int cursor = edit ? edit->cursorPosition() : 0;
  {
    const QSignalBlocker block(this);
    setCurrentIndex(match);  // -1 clears the text; put it back
    if (match < 0 && edit) edit->setText(text);
  }
  if (edit) edit->setCursorPosition(cursor);
  emit currentIndexChanged(match);
}

}  // namespace drs
