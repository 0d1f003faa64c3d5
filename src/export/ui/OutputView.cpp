#include "export/ui/OutputView.h"

#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "export/Export.h"
#include "export/ui/TDBGrid.h"
#include "export/ui/TDBNavigator.h"
#include "export/ui/TDataSource.h"
#include "support/ui/TFilenameEdit.h"

namespace drs {

namespace {

std::vector<TDBColumn> OutputColumns() {
  const auto right = Qt::AlignRight | Qt::AlignVCenter;
  const auto centre = Qt::AlignCenter;
  const auto left = Qt::AlignLeft | Qt::AlignVCenter;
  return {{"CLIENTID", "Клиент", 40, right, {}}, {"TICKER", "ЦБ", 100, centre, {}},
          {"OPERTYPE", "Опер.", 35, centre, {}}, {"PRICE", "Цена", -1, left, {}},
          {"QTY", "Колич.", -1, right, {}},      {"DATES", "Дата", -1, centre, {}},
          {"SDEL", "Заявка", -1, centre, {}},    {"BROCID", "Брокер", 125, centre, {}}};
}

}  // namespace

OutputView::OutputView(QWidget* parent) : QWidget(parent) {
  setObjectName("OutputView");
  auto* panel = new QGroupBox("Выходной файл", this);
  auto* top = new QHBoxLayout(panel);
  fileEdit_ = new TFilenameEdit(panel);
  fileEdit_->setObjectName("OutFilenameEdit");
  fileEdit_->SetDialogTitle("Выходной файл");
  fileEdit_->SetFilter("Таблицы dBASE (*.dbf *.DBF);;Все файлы (*)");
  newDealBtn_ = new QToolButton(panel);
  newDealBtn_->setObjectName("NewDealBtn");
  newDealBtn_->setText("↻");
  newDealBtn_->setToolTip("Обновить");
  navigator_ = new TDBNavigator(panel);
  navigator_->setObjectName("DBNavigator1");
  top->addWidget(fileEdit_, 1);
  top->addWidget(newDealBtn_);
  top->addWidget(navigator_);

  source_ = new TDataSource(this);
  source_->setObjectName("OutDataSource");
  grid_ = new TDBGrid(this);
  grid_->setObjectName("RxDBGrid1");
  grid_->SetDataSource(source_);
  grid_->SetColumns(OutputColumns());

  auto* box = new QVBoxLayout(this);
  box->setContentsMargins(0, 0, 0, 0);
  box->addWidget(panel);
  box->addWidget(grid_, 1);

  navigator_->SetDataSource(source_, grid_);

  connect(fileEdit_, &TFilenameEdit::textChanged, this, &OutputView::outputFileNameChanged);
  connect(fileEdit_, &TFilenameEdit::fileChosen, this, &OutputView::FileChosen);
  connect(newDealBtn_, &QToolButton::clicked, this, &OutputView::NewDealBtnClick);
  connect(grid_, &TDBGrid::focused, this, &OutputView::PointNavigatorAtOutput);
}

OutputView::~OutputView() {
  // The grid and navigator must let go of the source before the query goes.
  navigator_->SetDataSource(nullptr);
  grid_->SetDataSource(nullptr);
}

void OutputView::CloseOutputView() {
  query_.Close();
  source_->SetDataSet(nullptr);
}

bool OutputView::OpenOutputView(const std::string& path) {
  CloseOutputView();
  bool opened = drs::OpenOutputView(query_, path);
  if (opened) source_->SetDataSet(&query_);
  PointNavigatorAtOutput();
  return opened;
}

int64_t OutputView::RecordCount() { return query_.Active() ? source_->RecordCount() : 0; }

void OutputView::PointNavigatorAtOutput() { navigator_->SetDataSource(source_, grid_); }

void OutputView::AttachGrid(TDBGrid* grid, TDataSource* source) {
  connect(grid, &TDBGrid::focused, this,
          [this, grid] { navigator_->SetDataSource(grid->DataSource(), grid); });
  if (source && !grid->DataSource()) grid->SetDataSource(source);
}

void OutputView::NewDealBtnClick() {
  // Typed text is written before the view is read again.
  if (source_->Active() && !grid_->PostEdits()) return;
  OpenOutputView(fileEdit_->Text().toStdString());
  emit recordCountShown(RecordCount());
}

void OutputView::FileChosen(const QString& fileName) {
  if (QFileInfo::exists(fileName)) OpenOutputView(fileName.toStdString());
}

}  // namespace drs
