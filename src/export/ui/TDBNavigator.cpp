#include "export/ui/TDBNavigator.h"

#include <QHBoxLayout>

#include "export/ui/TDBGrid.h"
#include "export/ui/TDataSource.h"

namespace drs {

TDBNavigator::TDBNavigator(QWidget* parent) : QWidget(parent) {
  static const char* const kText[] = {"|<", "<", ">", ">|", "+", "-", "^", "✓", "✕", "↻"};
  static const char* const kHint[] = {
      "Первая запись",  "Предыдущая запись", "Следующая запись",    "Последняя запись",   "Вставить запись",
      "Удалить запись", "Изменить запись",   "Сохранить изменения", "Отменить изменения", "Обновить данные"};
  static const char* const kName[] = {"nbFirst",  "nbPrior", "nbNext", "nbLast",   "nbInsert",
                                      "nbDelete", "nbEdit",  "nbPost", "nbCancel", "nbRefresh"};
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  for (int b = 0; b < ButtonCount; ++b) {
    auto* btn = new QToolButton(this);
    btn->setText(QString::fromUtf8(kText[b]));
    btn->setToolTip(QString::fromUtf8(kHint[b]));
    btn->setObjectName(kName[b]);
    btn->setFocusPolicy(Qt::NoFocus);  // pressing keeps the grid's focus
    connect(btn, &QToolButton::clicked, this, [this, b] { Press(Button(b)); });
    row->addWidget(btn);
    buttons_[size_t(b)] = btn;
  }
  UpdateButtons();
}

void TDBNavigator::SetDataSource(TDataSource* source, TDBGrid* grid) {
  if (source_) disconnect(source_, nullptr, this, nullptr);
  if (grid_) disconnect(grid_, nullptr, this, nullptr);
  source_ = source;
  grid_ = grid;
  if (grid_) connect(grid_, &TDBGrid::editingChanged, this, [this] { UpdateButtons(); });
  if (source_) {
    connect(source_, &TDataSource::stateChanged, this, [this] { UpdateButtons(); });
    connect(source_, &TDataSource::currentRowChanged, this, [this] { UpdateButtons(); });
    connect(source_, &QObject::destroyed, this, [this] {
      source_ = nullptr;
      grid_ = nullptr;
      UpdateButtons();
    });
  }
  UpdateButtons();
}

void TDBNavigator::Press(Button b) {
  if (!source_ || !source_->Active()) return;
  switch (b) {
    case First:
      source_->First();
      break;
    case Prior:
      source_->Prior();
      break;
    case Next:
      source_->Next();
      break;
    case Last:
      source_->Last();
      break;
    case Insert:
      source_->Insert();
      break;
    case Delete:
      source_->Delete();
      break;
    case Edit:
      if (grid_ && grid_->currentIndex().isValid()) grid_->edit(grid_->currentIndex());
      break;
    case Post:
      if (grid_) grid_->CommitEdit();
      source_->Post();
      break;
    case Cancel:
      if (grid_) grid_->CancelEdit();
      source_->Cancel();
      break;
    case Refresh:
      // Typed text is written first; a row that cannot be written stays.
      if (grid_ && !grid_->PostEdits()) break;
      source_->Refresh();
      break;
    default:
      break;
  }
  UpdateButtons();
}

void TDBNavigator::UpdateButtons() {
  bool active = source_ && source_->Active();
  bool live = active && source_->CanModify();
  int row = active ? source_->CurrentRow() : -1;
  int count = active ? source_->rowCount() : 0;
  buttons_[First]->setEnabled(active && row > 0);
  buttons_[Prior]->setEnabled(active && row > 0);
  buttons_[Next]->setEnabled(active && row + 1 < count);
  buttons_[Last]->setEnabled(active && row + 1 < count);
  buttons_[Insert]->setEnabled(live && !source_->Inserting());
  buttons_[Delete]->setEnabled(live && count > 0);
  buttons_[Edit]->setEnabled(live && count > 0);
  const bool changing = live && (source_->Inserting() || (grid_ && grid_->Editing()));
  buttons_[Post]->setEnabled(changing);
  buttons_[Cancel]->setEnabled(changing);
  buttons_[Refresh]->setEnabled(active);
}

}  // namespace drs
