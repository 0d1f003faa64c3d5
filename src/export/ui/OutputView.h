// The output table view the main window embeds: the output file name with
// its browse button, the refresh button, the navigator and the grid of the
// output deal table, live so that edits go to the table at once.
#pragma once

#include <QToolButton>
#include <QWidget>
#include <memory>
#include <string>

#include "engine/Query.h"

namespace drs {

class TDataSource;
class TFilenameEdit;
class TDBGrid;
class TDBNavigator;

class OutputView : public QWidget {
  Q_OBJECT
 public:
  explicit OutputView(QWidget* parent = nullptr);
  ~OutputView() override;

  TFilenameEdit* OutFilenameEdit() const { return fileEdit_; }
  QToolButton* NewDealBtn() const { return newDealBtn_; }
  TDBGrid* RxDBGrid1() const { return grid_; }
  TDBNavigator* DBNavigator1() const { return navigator_; }
  TDataSource* OutDataSource() const { return source_; }
  TQuery& OutQuery() { return query_; }

  // Opens the live view on the table at the path; on an engine error shows
  // "Не могу открыть файл" with its message and leaves the view closed.
  bool OpenOutputView(const std::string& path);
  void CloseOutputView();
  int64_t RecordCount();
  // A second grid (the turnovers) the navigator follows when it has the focus.
  void AttachGrid(TDBGrid* grid, TDataSource* source);
  // Points the navigator at the output view.
  void PointNavigatorAtOutput();

 signals:
  // After NewDealBtn: the record count for the first status panel.
  void recordCountShown(qint64 count);
  void outputFileNameChanged(const QString& name);

 private:
  void NewDealBtnClick();
  void FileChosen(const QString& fileName);

  TFilenameEdit* fileEdit_;
  QToolButton* newDealBtn_;
  TDBNavigator* navigator_;
  TDBGrid* grid_;
  TDataSource* source_;
  TQuery query_;
};

}  // namespace drs
