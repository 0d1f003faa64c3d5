#include "support/ui/TFilenameEdit.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QToolButton>

#include "support/ui/FocusReturn.h"
#include "support/ui/RussianUi.h"

namespace drs {

namespace {
TFilenameEdit::DialogHook& Hook() {
  static TFilenameEdit::DialogHook hook;
  return hook;
}
}  // namespace

void TFilenameEdit::SetDialogHook(DialogHook hook) { Hook() = std::move(hook); }

TFilenameEdit::TFilenameEdit(QWidget* parent)
    : QWidget(parent), edit_(new QLineEdit(this)), button_(new QToolButton(this)) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(edit_, 1);
  layout->addWidget(button_);
  button_->setText(QStringLiteral("…"));
  button_->setToolTip(QStringLiteral("Выбрать файл"));
  button_->setFocusPolicy(Qt::NoFocus);
  setFocusProxy(edit_);
  connect(edit_, &QLineEdit::textChanged, this, &TFilenameEdit::textChanged);
  connect(button_, &QToolButton::clicked, this, &TFilenameEdit::Browse);
}

QString TFilenameEdit::Text() const { return edit_->text(); }

void TFilenameEdit::SetText(const QString& text) { edit_->setText(text); }

void TFilenameEdit::Browse() {
  QString chosen;
  if (Hook()) {
    chosen = Hook()(this);
  } else {
    FocusReturn back;
    QFileDialog dialog(this, title_);
    dialog.setNameFilter(filter_);
    MakeFileDialogRussian(dialog);
    QString current = Text().trimmed();
    if (!current.isEmpty()) {
      QFileInfo info(current);
      dialog.setDirectory(info.absolutePath());
      dialog.selectFile(info.fileName());
    }
    if (kind_ == DialogKind::Save) {
      dialog.setAcceptMode(QFileDialog::AcceptSave);
      dialog.setFileMode(QFileDialog::AnyFile);
      // Overwriting is the caller's question to ask, not the dialog's.
      dialog.setOption(QFileDialog::DontConfirmOverwrite);
      if (!suffix_.isEmpty()) dialog.setDefaultSuffix(suffix_);
    } else {
      dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
      chosen = dialog.selectedFiles().first();
  }
  if (!chosen.isEmpty()) ChooseFile(chosen);
}

void TFilenameEdit::ChooseFile(const QString& fileName) {
  SetText(fileName);
  emit fileChosen(fileName);
}

}  // namespace drs
