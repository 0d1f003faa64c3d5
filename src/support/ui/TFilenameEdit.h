// A file-name edit: a line edit with a browse button that opens a file dialog.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

class QLineEdit;
class QToolButton;

namespace drs {

class TFilenameEdit : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QString text READ Text WRITE SetText NOTIFY textChanged)

 public:
  enum class DialogKind { Open, Save };

  explicit TFilenameEdit(QWidget* parent = nullptr);

  QString Text() const;
  // Emits textChanged when the text differs.
  void SetText(const QString& text);

  void SetFilter(const QString& filter) { filter_ = filter; }
  void SetDialogTitle(const QString& title) { title_ = title; }
  void SetDialogKind(DialogKind kind) { kind_ = kind; }
  // Extension added by the save dialog to a name typed without one.
  void SetDefaultSuffix(const QString& suffix) { suffix_ = suffix; }

  QLineEdit* Edit() const { return edit_; }
  QToolButton* Button() const { return button_; }

  // Tests replace the file dialog: the hook gets the edit and returns the
  // chosen file, or an empty text for a cancelled dialog.
  using DialogHook = std::function<QString(TFilenameEdit*)>;
  static void SetDialogHook(DialogHook hook);

 public slots:
  // Opens the dialog; a confirmed choice sets the text and emits fileChosen.
  void Browse();
  // What a confirmed dialog does.
  void ChooseFile(const QString& fileName);

 signals:
  void textChanged(const QString& text);
  // The dialog was closed with "open"/"save" and this file.
  void fileChosen(const QString& fileName);

 private:
  QLineEdit* edit_;
  QToolButton* button_;
  QString filter_;
  QString title_;
  QString suffix_;
  DialogKind kind_ = DialogKind::Open;
};

}  // namespace drs
