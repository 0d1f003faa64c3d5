// The message dialog: one fresh dialog per message, shown modally, answering
// 1 ("Да"/"OK"), 0 ("Нет") or -1 ("Отмена", close box).
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/Messages.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QFrame;

namespace drs {

class TGradientCaption;
class WindowStore;

class TMessDlg : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kDesignWidth = 367;
  static constexpr int kDesignHeight = 279;  // with the gradient strip
  static constexpr int kObjectPanelHeight = 162;
  static constexpr int kButtonWidth = 77;
  static constexpr int kButtonHeight = 27;
  static constexpr int kButtonPanelHeight = 33;

  // Builds the dialog for one message (it is not shown yet).
  explicit TMessDlg(const MessageRequest& request, QWidget* owner = nullptr);
  ~TMessDlg() override;

  // Builds, shows modally, answers and destroys the dialog.
  static int Execute(const MessageRequest& request);

  // The answer once the dialog has closed.
  int Answer() const { return answer_; }

  static QString KindTitle(MsgKind kind);

  QPlainTextEdit* MessageMemo() const { return messageMemo_; }
  QPlainTextEdit* ObjectMemo() const { return objectMemo_; }
  QLabel* ObjectLabel() const { return objectLabel_; }
  QLabel* LinePosLabel() const { return linePosLabel_; }
  QWidget* ButtonPanel() const { return buttonPanel_; }
  TGradientCaption* Caption() const { return caption_; }
  QPushButton* EscapeButton() const { return escButton_; }

 public slots:
  // The close box (and anything else that rejects) answers -1.
  void reject() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* BuildClient();
  QWidget* BuildMessageArea();
  void BuildObjectPanel();
  QWidget* BuildButtons();
  void ApplyKind(const MessageRequest& request);
  void ShowDetails(const MessageRequest& request);
  void PlaceCaret(int line, int position);
  void WidenToDetails();
  void UpdateCaretIndicator();
  void Finish(int answer);

  TGradientCaption* caption_;
  QFrame* imagePanel_;
  QLabel* image_;
  QPlainTextEdit* messageMemo_;
  QSplitter* splitter_;
  QWidget* objectPanel_;
  QLabel* objectLabel_;
  QLabel* linePosLabel_;
  QPlainTextEdit* objectMemo_;
  QWidget* buttonPanel_;
  QPushButton* yesBtn_;
  QPushButton* noBtn_;
  QPushButton* detailBtn_;
  QPushButton* cancelBtn_;
  QPushButton* escButton_ = nullptr;
  std::function<void()> onDetail_;
  int scrollTo_ = 0;  // first line to show in the details
  int answer_ = kAnswerCancel;
  std::unique_ptr<WindowStore> store_;
};

}  // namespace drs
