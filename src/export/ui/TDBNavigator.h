// Record navigator: first, prior, next, last, insert, delete (asks first),
// edit, post, cancel and refresh on one data source at a time.
#pragma once

#include <QToolButton>
#include <QWidget>
#include <array>

namespace drs {

class TDataSource;
class TDBGrid;

class TDBNavigator : public QWidget {
  Q_OBJECT
 public:
  enum Button { First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel, Refresh, ButtonCount };

  explicit TDBNavigator(QWidget* parent = nullptr);
  // The source to work on, and the grid whose editor is opened and closed.
  void SetDataSource(TDataSource* source, TDBGrid* grid = nullptr);
  TDataSource* DataSource() const { return source_; }
  QToolButton* ButtonAt(Button b) const { return buttons_[b]; }
  void Press(Button b);

 private:
  void UpdateButtons();

  TDataSource* source_ = nullptr;
  TDBGrid* grid_ = nullptr;
  std::array<QToolButton*, ButtonCount> buttons_{};
};

}  // namespace drs
