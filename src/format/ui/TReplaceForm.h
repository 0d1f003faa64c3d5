// The substitution list editor: a plain text box over the list section
// ReplaceList of the settings file. Non-modal, on top, one at a time (the
// main window keeps the reference).
#pragma once

#include <QWidget>
#include <memory>
#include <string>
#include <vector>

class QPlainTextEdit;
class QToolButton;

namespace drs {

class MainWindowLink;
class WindowStore;

class TReplaceForm : public QWidget {
  Q_OBJECT

 public:
  TReplaceForm(MainWindowLink& link, QWidget* parent = nullptr);
  ~TReplaceForm() override;

  void Save();   // SaveBtn
  void Erase();  // EraseBtn
  bool Modified() const { return modified_; }
  std::vector<std::string> Lines() const;
  QPlainTextEdit* Memo() const { return ReplaceMemo; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void WriteList();

  MainWindowLink& link_;
  bool modified_ = false;
  QToolButton* SaveBtn = nullptr;
  QToolButton* EraseBtn = nullptr;
  QPlainTextEdit* ReplaceMemo = nullptr;
  std::unique_ptr<WindowStore> store_;
};

}  // namespace drs
