#include "format/ui/TSetParamsForm.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QShowEvent>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "format/FormatFile.h"
#include "format/FormatGrid.h"
#include "format/StrGdPrc.h"
#include "format/ValidateFormat.h"
#include "format/ui/MainWindowLink.h"
#include "format/ui/StringGridModel.h"
#include "format/ui/StringGridView.h"
#include "format/ui/TEditCombo.h"
#include "format/ui/TLotEdit.h"
#include "support/Messages.h"
#include "support/ui/GeneralError.h"
#include "support/ui/TFilenameEdit.h"
#include "support/ui/TJrnlForm.h"
#include "support/ui/TextFit.h"
#include "support/ui/WindowStore.h"
#include "utils/Utils.h"

namespace drs {

namespace {

const QColor kStripColour(207, 207, 231);
const QColor kTitleColour(185, 220, 255);
const QColor kModifiedColour(0, 255, 255);
const char* const kNoFileName = "Задайте имя файла параметров формата";

QFrame* Strip(QWidget* parent, const char* name) {
  auto* frame = new QFrame(parent);
  frame->setObjectName(name);
  frame->setAutoFillBackground(true);
  QPalette pal = frame->palette();
  pal.setColor(QPalette::Window, kStripColour);
  frame->setPalette(pal);
  return frame;
}

QLabel* NavyLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  QPalette pal = label->palette();
  pal.setColor(QPalette::WindowText, QColor(0, 0, 128));
  label->setPalette(pal);
  return label;
}

QToolButton* ToolButton(QWidget* parent, const char* name, const QString& hint, QStyle::StandardPixmap icon) {
  auto* button = new QToolButton(parent);
  button->setObjectName(name);
  button->setToolTip(hint);
  button->setIcon(parent->style()->standardIcon(icon));
  button->setAutoRaise(true);
  button->setFixedSize(25, 25);
  return button;
}

TEditCombo* Combo(QWidget* parent, const char* name, const QStringList& items) {
  auto* combo = new TEditCombo(parent);
  combo->setObjectName(name);
  combo->addItems(items);
  return combo;
}

// Runs at the end of a block whatever way it ends.
template <typename F>
struct Finally {
  F f;
  ~Finally() { f(); }
};
template <typename F>
Finally(F) -> Finally<F>;

}  // namespace

TSetParamsForm::TSetParamsForm(MainWindowLink& link, QWidget* parent)
    : QDialog(parent), link_(link), grid_(kFormatColumns, 2) {
  setObjectName("SetParamsForm");
  setWindowTitle("Настройка форматов  входных файлов и их отображения");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowFlag(Qt::WindowStaysOnTopHint);
  setModal(true);
  // Blocks the main window only: the journal that Save opens stays usable.
  setWindowModality(Qt::WindowModal);
  resize(590, 480);
  BuildLayout();

  store_ = std::make_unique<WindowStore>(this);
  store_->Add(CB_DecSep, "ItemIndex");
  store_->Add(CB_FieldSep, "ItemIndex");
  store_->Add(CB_Format, "ItemIndex");
  store_->Add(CE_Lot, "Value");
  store_->Add(FN_Editor, "Text");
}

TSetParamsForm::~TSetParamsForm() = default;

void TSetParamsForm::BuildLayout() {
  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(0, 0, 0, 0);
  root->setSpacing(0);
  root->addWidget(BuildHeader());
  root->addWidget(BuildTools());
  root->addWidget(BuildGrid(), 1);
  BuildMenus();
  ConnectControls();
  // The designed state: one fixed column, every control enabled.
  ResetGridTitles();
  SG_Format->Refresh();
  ApplyDisplaySetting();
}

// Header strip: separators, format kind, default lot.
QFrame* TSetParamsForm::BuildHeader() {
  QFrame* header = Strip(this, "HeaderPanel");
  header->setFixedHeight(55);
  auto* hl = new QGridLayout(header);
  hl->setContentsMargins(6, 4, 6, 4);
  hl->setVerticalSpacing(2);
  CB_FieldSep = Combo(header, "CB_FieldSep", {"Точка с запятой", "Табуляция", "Запятая", "Пробел"});
  CB_DecSep = Combo(header, "CB_DecSep", {"Запятая", "Точка", ""});
  CB_Format = Combo(header, "CB_Format", {"Сделки", "Сделки для исполнения", "Сделки в РТС"});
  CE_Lot = new TLotEdit(header);
  CE_Lot->setObjectName("CE_Lot");
  CE_Lot->setValue(100);
  hl->addWidget(NavyLabel("Разделитель полей", header), 0, 0);
  hl->addWidget(NavyLabel("Десятичный символ", header), 0, 1);
  hl->addWidget(NavyLabel("Входной файл это :", header), 0, 2);
  hl->addWidget(NavyLabel("Лот по умолчанию", header), 0, 3);
  hl->addWidget(CB_FieldSep, 1, 0);
  hl->addWidget(CB_DecSep, 1, 1);
  hl->addWidget(CB_Format, 1, 2);
  hl->addWidget(CE_Lot, 1, 3);
  hl->setColumnStretch(0, 3);
  hl->setColumnStretch(1, 2);
  hl->setColumnStretch(2, 4);
  hl->setColumnStretch(3, 2);
  return header;
}

// Tool strip and the file name box.
QFrame* TSetParamsForm::BuildTools() {
  QFrame* tools = Strip(this, "ToolPanel");
  auto* tl = new QVBoxLayout(tools);
  tl->setContentsMargins(4, 2, 4, 4);
  tl->setSpacing(2);
  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(1);
  OpenFormatBtn = ToolButton(tools, "OpenFormatBtn", "Открыть формат", QStyle::SP_DialogOpenButton);
  EditFormatBtn =
      ToolButton(tools, "EditFormatBtn", "Редактировать формат", QStyle::SP_FileDialogContentsView);
  SaveBtn = ToolButton(tools, "SaveBtn", "Сохранить формат", QStyle::SP_DialogSaveButton);
  UndoBtn = ToolButton(tools, "UndoBtn", "Отменить", QStyle::SP_ArrowBack);
  DelRowBtn = ToolButton(tools, "DelRowBtn", "Удалить", QStyle::SP_TrashIcon);
  AddStrBtn = ToolButton(tools, "AddStrBtn", "Добавить", QStyle::SP_FileDialogNewFolder);
  for (QToolButton* b : {OpenFormatBtn, EditFormatBtn, SaveBtn, UndoBtn}) buttons->addWidget(b);
  buttons->addSpacing(16);
  buttons->addWidget(DelRowBtn);
  buttons->addWidget(AddStrBtn);
  buttons->addStretch(1);
  tl->addLayout(buttons);
  tl->addWidget(NavyLabel("Файл для сохранения настроек", tools));
  FN_Editor = new TFilenameEdit(tools);
  FN_Editor->setObjectName("FN_Editor");
  FN_Editor->SetFilter("Файлы настроек (*.ini *.INI);;Все файлы (*)");
  FN_Editor->SetDialogKind(TFilenameEdit::DialogKind::Save);  // a new file may be named
  tl->addWidget(FN_Editor);
  return tools;
}

// The grid inside two bevelled frames.
QFrame* TSetParamsForm::BuildGrid() {
  auto* outer = new QFrame(this);
  outer->setObjectName("GridPanel");
  outer->setFrameStyle(QFrame::Panel | QFrame::Raised);
  auto* ol = new QVBoxLayout(outer);
  ol->setContentsMargins(3, 3, 3, 3);
  auto* inner = new QFrame(outer);
  inner->setObjectName("GridBevel");
  inner->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  auto* il = new QVBoxLayout(inner);
  il->setContentsMargins(2, 2, 2, 2);
  model_ = new StringGridModel(grid_, this);
  model_->SetFixedColour(kTitleColour);
  SG_Format = new StringGridView(model_, inner);
  SG_Format->setObjectName("SG_Format");
  SG_Format->horizontalHeader()->setStyleSheet(
      QString(
          "QHeaderView::section { background-color: rgb(%1,%2,%3); border: 0px; border-right: 1px solid gray;"
          " border-bottom: 1px solid gray; padding-left: 2px; }")
          .arg(kTitleColour.red())
          .arg(kTitleColour.green())
          .arg(kTitleColour.blue()));
  SG_Format->setContextMenuPolicy(Qt::CustomContextMenu);
  il->addWidget(SG_Format);
  ol->addWidget(inner);
  return outer;
}

// The grid's pop-up menus: shown or not, and the roles.
void TSetParamsForm::BuildMenus() {
  PM_View = new QMenu(this);
  PM_View->setObjectName("PM_View");
  connect(PM_View->addAction("Да"), &QAction::triggered, this, Guarded([this] { ChooseView(true); }));
  connect(PM_View->addAction("Нет"), &QAction::triggered, this, Guarded([this] { ChooseView(false); }));
  PM_obligatory_fields = new QMenu(this);
  PM_obligatory_fields->setObjectName("PM_obligatory_fields");
  PM_obligatory_fields->addAction("ЭТО:");  // a heading, no action
  for (int i = 0; i < static_cast<int>(kRoleChoices.size()); ++i) {
    QAction* a =
        PM_obligatory_fields->addAction(QString::fromUtf8(kRoleChoices[static_cast<size_t>(i)].menuText));
    connect(a, &QAction::triggered, this, Guarded([this, i] { ChooseRole(i); }));
  }
}

void TSetParamsForm::ConnectControls() {
  connect(OpenFormatBtn, &QToolButton::clicked, this, Guarded([this] { OpenFormat(); }));
  connect(EditFormatBtn, &QToolButton::clicked, this, Guarded([this] { EditFormat(); }));
  connect(SaveBtn, &QToolButton::clicked, this, Guarded([this] { SaveFormat(); }));
  connect(UndoBtn, &QToolButton::clicked, this, Guarded([this] { UndoFormat(); }));
  connect(DelRowBtn, &QToolButton::clicked, this, Guarded([this] { DeleteRow(); }));
  connect(AddStrBtn, &QToolButton::clicked, this, Guarded([this] { AddRow(); }));

  connect(SG_Format, &StringGridView::cellTextEdited, this, [this] { SetModifiedMarks(); });
  connect(SG_Format, &StringGridView::rowMoved, this, [this] { rowsMoved_ = true; });
  connect(SG_Format, &StringGridView::focusReceived, this, [this] { ApplyDisplaySetting(); });
  connect(SG_Format, &StringGridView::gridClicked, this, [this] { ApplyDisplaySetting(); });
  connect(SG_Format, &StringGridView::currentCellChanged, this, [this](int col, int) {
    UpdatePopupMenu(col);
    ApplyDisplaySetting();
  });
  connect(SG_Format, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    const int col = grid_.Col();
    QMenu* menu = col == kShowFlag ? PM_View : col == kRoleName ? PM_obligatory_fields : nullptr;
    if (menu) menu->popup(SG_Format->viewport()->mapToGlobal(pos));
  });
}

std::string TSetParamsForm::FileName() const { return FN_Editor->Text().toStdString(); }

void TSetParamsForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  RunGuarded([this] {
    FN_Editor->SetText(QString::fromStdString(link_.ParamsFileName()));
    OpenFormat();
    editMode_ = false;
  });
}

void TSetParamsForm::keyPressEvent(QKeyEvent* event) {
  // Esc closes the window only when nothing would be lost.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && HoldsChanges()) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TSetParamsForm::ResetGridTitles() {
  SetFormatTitles(grid_);
  for (int c = 0; c < kFormatColumns; ++c) {
    const auto& column = kFormatGridColumns[static_cast<size_t>(c)];
    // A title wider than its column widens it; the role code column stays hidden.
    const int title = TextWidth(SG_Format->horizontalHeader(), QString::fromUtf8(column.title)) + 8;
    SG_Format->setColumnWidth(c, c == kRoleCode ? column.width : std::max(column.width, title));
  }
  SetFixedCols(1);
}

void TSetParamsForm::SetFixedCols(int count) {
  model_->SetFixedCols(count);
  SG_Format->SyncCurrentFromGrid();
}

void TSetParamsForm::SetHeaderEnabled(bool on) {
  for (QWidget* w : std::initializer_list<QWidget*>{CB_FieldSep, CB_DecSep, CB_Format, CE_Lot})
    w->setEnabled(on);
}

void TSetParamsForm::SetModifiedMarks() {
  modified_ = true;
  SaveBtn->setEnabled(true);
  UndoBtn->setEnabled(true);
  model_->SetCellColour(kModifiedColour);
  QPalette pal = SG_Format->palette();
  pal.setColor(QPalette::Base, kModifiedColour);
  SG_Format->setPalette(pal);
  SG_Format->viewport()->update();
}

void TSetParamsForm::PaintNormal() {
  modified_ = false;
  rowsMoved_ = false;
  model_->SetCellColour(QColor());
  SG_Format->setPalette(QPalette());
  SG_Format->viewport()->update();
}

void TSetParamsForm::ApplyDisplaySetting() {
  const int col = grid_.Col();
  const bool typing = editMode_ && col != kShowFlag && col != kRoleName;
  std::vector<bool> editable(kFormatColumns, false);
  if (typing) {
    for (int c = 0; c < kFormatColumns; ++c)
      editable[static_cast<size_t>(c)] = c != kShowFlag && c != kRoleName;
  }
  model_->SetEditableColumns(editable);
  SG_Format->SetTypingAllowed(typing);
}

void TSetParamsForm::UpdatePopupMenu(int) {
  // The menu is chosen from the current column when it is asked for.
}

void TSetParamsForm::OpenFormat() {
  SG_Format->CommitEditor();
  const std::string name = FileName();
  if (IsBlank(name)) {
    ShowError(kNoFileName);
    ResetGridTitles();
    PaintNormal();
    grid_.SetRowCount(2);
    ClearFormatRow(grid_, 1);  // a grid without a file shows no stale row
    SG_Format->Refresh();
    ApplyDisplaySetting();
    return;
  }
  Finally done{[this] {
    DelRowBtn->setEnabled(false);
    AddStrBtn->setEnabled(false);
    UndoBtn->setEnabled(false);
    SaveBtn->setEnabled(false);
    EditFormatBtn->setEnabled(true);
  }};
  const FormatParams params = ReadFormatParams(name, CB_Format->currentIndex());
  auto select = [](QComboBox* combo, int index) {
    combo->setCurrentIndex(index < combo->count() ? index : -1);
  };
  select(CB_FieldSep, params.fieldSep);
  select(CB_DecSep, params.decSep);
  select(CB_Format, params.format);
  CE_Lot->setValue(params.lot);
  SetHeaderEnabled(false);
  ResetGridTitles();
  FillFormatGrid(grid_, params.items);
  SG_Format->Refresh();
  PaintNormal();
  ApplyDisplaySetting();
}

void TSetParamsForm::EditFormat() {
  for (QToolButton* b : {DelRowBtn, AddStrBtn, UndoBtn, SaveBtn}) b->setEnabled(true);
  EditFormatBtn->setEnabled(false);
  OpenFormatBtn->setEnabled(false);
  SetHeaderEnabled(true);
  SetFixedCols(0);
  editMode_ = true;
  ApplyDisplaySetting();
  SG_Format->viewport()->update();
}

void TSetParamsForm::AddRow() {
  SG_Format->CommitEditor();
  InsertBlankRow(grid_, grid_.CurrentRow());
  SG_Format->Refresh();
  SetModifiedMarks();
  editMode_ = true;
  ApplyDisplaySetting();
}

void TSetParamsForm::DeleteRow() {
  SG_Format->CommitEditor();
  if (grid_.RowCount() == 2)
    ClearFormatRow(grid_, 1);
  else
    DeleteGridRow(grid_, grid_.CurrentRow());
  SG_Format->Refresh();
  SetModifiedMarks();
}

void TSetParamsForm::ChooseView(bool shown) {
  if (!editMode_) return;
  grid_.SetCell(kShowFlag, grid_.CurrentRow(), shown ? "Да" : "Нет");
  SG_Format->viewport()->update();
}

void TSetParamsForm::ChooseRole(int choice) {
  if (!editMode_ || choice < 0 || choice >= static_cast<int>(kRoleChoices.size())) return;
  const RoleChoice& role = kRoleChoices[static_cast<size_t>(choice)];
  grid_.SetCell(kRoleName, grid_.CurrentRow(), role.roleName);
  grid_.SetCell(kRoleCode, grid_.CurrentRow(), role.roleCode);
  SG_Format->viewport()->update();
}

void TSetParamsForm::UndoFormat() {
  OpenFormat();
  OpenFormatBtn->setEnabled(true);
  SetHeaderEnabled(false);
  SetFixedCols(1);
  editMode_ = false;
  ApplyDisplaySetting();
}

void TSetParamsForm::SaveFormat() {
  SG_Format->CommitEditor();
  const std::string name = FileName();
  if (IsBlank(name)) {
    ShowError(kNoFileName);
    OpenFormatBtn->setEnabled(true);
    return;
  }
  if (!AskQuestion("Подтвердите сохранение формата в файле " + name)) return;
  std::vector<std::string> errors;
  if (!ValidateFormat(grid_, CB_Format->currentIndex(), errors)) {
    if (AskQuestion("Не могу сохранить. Описание содержит ошибки. Показать список в журнале?")) {
      link_.ShowJournal();
      link_.JournalClear();
      link_.JournalSetActive(true);
      for (const std::string& line : FormatErrorJournal(errors)) link_.JournalAddLine(line);
      if (TJrnlForm* journal = TJrnlForm::Instance()) journal->WidenToLines();
    }
    return;
  }
  Finally done{[this] {
    DelRowBtn->setEnabled(false);
    AddStrBtn->setEnabled(false);
    UndoBtn->setEnabled(false);
    SaveBtn->setEnabled(false);
    EditFormatBtn->setEnabled(true);
  }};
  FormatParams params;
  params.items = FormatGridItems(grid_);
  params.fieldSep = CB_FieldSep->currentIndex();
  params.decSep = CB_DecSep->currentIndex();
  params.format = CB_Format->currentIndex();
  params.lot = RoundHalfEven(CE_Lot->value());
  WriteFormatParams(name, params);
  SetHeaderEnabled(false);
  ShowInfo("Формат сохранен");
  SetFixedCols(1);
  PaintNormal();
  editMode_ = false;
  ApplyDisplaySetting();
  OpenFormatBtn->setEnabled(true);
  link_.SetParamsFileName(name);
}

}  // namespace drs
