// The journal window "Журнал": four buttons over the journal Journal1.
// Created once at start, hidden; closing only hides it.
#pragma once

#include <QWidget>
#include <memory>
#include <string>
#include <vector>

class QPushButton;

namespace drs {

class TGradientCaption;
class TJournal;
class WindowStore;

class TJrnlForm : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kDesignWidth = 427;
  static constexpr int kDesignHeight = 230;
  static constexpr int kMaxLines = 500;

  explicit TJrnlForm(QWidget* parent = nullptr);
  ~TJrnlForm() override;

  // The program's journal window (the last one created), or nullptr.
  static TJrnlForm* Instance();

  TJournal* Journal1() const { return journal_; }

  // How the callers fill the journal: clear, show the window (before the
  // clearing when `showFirst`), activate, heading, 27 hyphens, the items,
  // 27 hyphens.
  void ShowList(const std::string& heading, const std::vector<std::string>& items, bool showFirst);
  // Grows the window (up to the screen's width) so the longest line is seen
  // whole; a window that then covers the main window goes beside it.
  void WidenToLines();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  TGradientCaption* caption_;
  QPushButton* activeButton_;
  QPushButton* unActiveButton_;
  QPushButton* clearBtn_;
  QPushButton* closeBtn_;
  TJournal* journal_;
  std::unique_ptr<WindowStore> store_;
};

}  // namespace drs
