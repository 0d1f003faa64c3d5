#include "export/ui/TDBGrid.h"

#include <QApplication>
#include <QHeaderView>
#include <QLocale>
#include <cmath>

#include "export/ui/TDataSource.h"

namespace drs {

// Maps the grid's columns onto the source's fields.
class TDBGrid::ColumnModel : public QAbstractProxyModel {
 public:
  explicit ColumnModel(TDBGrid* grid) : QAbstractProxyModel(grid), grid_(grid) {}

  void Reset() {
    beginResetModel();
    endResetModel();
  }
  QModelIndex index(int row, int column, const QModelIndex& parent) const override {
    return parent.isValid() ? QModelIndex() : createIndex(row, column);
  }
  QModelIndex parent(const QModelIndex&) const override { return {}; }
  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() || !sourceModel() ? 0 : sourceModel()->rowCount();
  }
  int columnCount(const QModelIndex& parent) const override {
    if (parent.isValid() || !sourceModel()) return 0;
    return grid_->columns_.empty() ? sourceModel()->columnCount() : int(grid_->columns_.size());
  }
  QModelIndex mapToSource(const QModelIndex& proxy) const override {
    if (!proxy.isValid() || !sourceModel()) return {};
    int field = grid_->FieldOfColumn(proxy.column());
    return field < 0 ? QModelIndex() : sourceModel()->index(proxy.row(), field);
  }
  QModelIndex mapFromSource(const QModelIndex& source) const override {
    if (!source.isValid()) return {};
    for (int c = 0; c < columnCount(QModelIndex()); ++c)
      if (grid_->FieldOfColumn(c) == source.column()) return index(source.row(), c, {});
    return {};
  }
  QVariant data(const QModelIndex& proxy, int role) const override {
    if (!proxy.isValid()) return {};
    const TDBColumn* col = grid_->columns_.empty() ? nullptr : &grid_->columns_[size_t(proxy.column())];
    if (role == Qt::TextAlignmentRole && col) return QVariant::fromValue(col->alignment);
    QModelIndex src = mapToSource(proxy);
    if (!src.isValid()) return {};
    QVariant v = sourceModel()->data(src, role);
    if (role == Qt::DisplayRole && col && !col->displayFormat.isEmpty() && !v.toString().isEmpty())
      return FormatNumber(v.toString().toDouble(), col->displayFormat);
    return v;
  }
  bool setData(const QModelIndex& proxy, const QVariant& value, int role) override {
    QModelIndex src = mapToSource(proxy);
    return src.isValid() && sourceModel()->setData(src, value, role);
  }
  Qt::ItemFlags flags(const QModelIndex& proxy) const override {
    QModelIndex src = mapToSource(proxy);
    return src.isValid() ? sourceModel()->flags(src) : Qt::ItemIsEnabled;
  }
  QVariant headerData(int section, Qt::Orientation o, int role) const override {
    if (o == Qt::Horizontal && !grid_->columns_.empty() && section < int(grid_->columns_.size())) {
      if (role == Qt::DisplayRole) return grid_->columns_[size_t(section)].title;
      if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
      return {};
    }
    if (!sourceModel()) return {};
    if (o == Qt::Horizontal) {
      int field = grid_->FieldOfColumn(section);
      return field < 0 ? QVariant() : sourceModel()->headerData(field, o, role);
    }
    return sourceModel()->headerData(section, o, role);
  }

 private:
  TDBGrid* grid_;
};

TDBGrid::TDBGrid(QWidget* parent) : QTableView(parent), columnModel_(new ColumnModel(this)) {
  setModel(columnModel_);
  setTabKeyNavigation(true);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  setSelectionMode(QAbstractItemView::SingleSelection);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  verticalHeader()->setVisible(true);  // the row indicator
  connect(qApp, &QApplication::focusChanged, this, &TDBGrid::FocusChanged);
}

// The focus moves while the widget tree is torn down.
TDBGrid::~TDBGrid() { disconnect(qApp, nullptr, this, nullptr); }

void TDBGrid::SetDataSource(TDataSource* source) {
  if (source_) disconnect(source_, nullptr, this, nullptr);
  source_ = source;
  columnModel_->setSourceModel(source);
  if (source_) {
    connect(source_, &QAbstractItemModel::modelReset, this, [this] { Rebind(); });
    connect(source_, &QAbstractItemModel::rowsInserted, this, [this] {
      columnModel_->Reset();
      Rebind();
    });
    connect(source_, &QAbstractItemModel::rowsRemoved, this, [this] {
      columnModel_->Reset();
      Rebind();
    });
    connect(source_, &QAbstractItemModel::dataChanged, this, [this] { viewport()->update(); });
    // The row indicator: a posted row loses its "*".
    connect(source_, &QAbstractItemModel::headerDataChanged, columnModel_,
            [this](Qt::Orientation o, int first, int last) {
              emit columnModel_->headerDataChanged(o, first, last);
              if (o == Qt::Vertical) verticalHeader()->viewport()->update();
            });
    connect(source_, &TDataSource::currentRowChanged, this, [this](int row) {
      if (row < 0 || row == currentIndex().row()) return;
      QModelIndex at = model()->index(row, std::max(0, currentIndex().column()));
      setCurrentIndex(at);
      scrollTo(at);
    });
  }
  Rebind();
}

void TDBGrid::SetColumns(const std::vector<TDBColumn>& columns) {
  columns_ = columns;
  Rebind();
}

void TDBGrid::Rebind() {
  columnModel_->Reset();
  for (size_t c = 0; c < columns_.size(); ++c)
    if (columns_[c].width >= 0) setColumnWidth(int(c), columns_[c].width);
  if (source_ && source_->CurrentRow() >= 0 && source_->CurrentRow() < model()->rowCount())
    setCurrentIndex(model()->index(source_->CurrentRow(), 0));
}

int TDBGrid::FieldOfColumn(int column) const {
  if (!source_ || !source_->Active()) return -1;
  if (columns_.empty()) return column < source_->columnCount() ? column : -1;
  if (column < 0 || column >= int(columns_.size())) return -1;
  return source_->DataSet()->FieldIndex(columns_[size_t(column)].field.toStdString());
}

QString TDBGrid::CellText(int row, int column) const {
  return model()->data(model()->index(row, column), Qt::DisplayRole).toString();
}

QString TDBGrid::FormatNumber(double value, const QString& format) {
  if (format == ",0") {
    QLocale ru(QLocale::Russian, QLocale::Russia);
    return ru.toString(static_cast<qlonglong>(std::llround(value)));
  }
  return QString::number(value, 'f');
}

void TDBGrid::focusInEvent(QFocusEvent* event) {
  QTableView::focusInEvent(event);
  emit focused();
}

bool TDBGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
  const bool was = Editing();
  const bool opened = QTableView::edit(index, trigger, event);
  if (!was && Editing()) emit editingChanged(true);
  return opened;
}

void TDBGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
  const bool was = Editing();
  QTableView::closeEditor(editor, hint);
  if (was && !Editing()) emit editingChanged(false);
}

void TDBGrid::CommitEdit() {
  if (!Editing()) return;
  if (QWidget* editor = indexWidget(currentIndex())) {
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
  }
}

void TDBGrid::CancelEdit() {
  if (!Editing()) return;
  if (QWidget* editor = indexWidget(currentIndex()))
    closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
}

bool TDBGrid::PostEdits() {
  CommitEdit();
  if (!source_ || !source_->Inserting()) return true;
  if (source_->PendingEmpty()) {
    source_->Cancel();
    return true;
  }
  return source_->Post();
}

// A new row left unchanged is dropped when the focus goes to another control
// of the window.
void TDBGrid::FocusChanged(QWidget* old, QWidget* now) {
  auto inside = [this](QWidget* w) { return w && (w == this || isAncestorOf(w)); };
  if (!inside(old) || inside(now) || !now || now->window() != window()) return;
  if (source_ && source_->Inserting() && source_->PendingEmpty()) source_->Cancel();
}

void TDBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  if (source_ && current.isValid()) source_->SetCurrentRow(current.row());
}

}  // namespace drs
