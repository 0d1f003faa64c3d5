#include "main/ui/TMMVBForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDate>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QShowEvent>
#include <QStyle>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include "format/IniFile.h"
#include "format/ui/TReplaceForm.h"
#include "format/ui/TSetParamsForm.h"
#include "format/ListSection.h"
#include "main/ui/DealGridDelegate.h"
#include "main/ui/DealGridModel.h"
#include "main/ui/TRadioGroup.h"
#include "main/ui/TStatusBar.h"
#include "support/AppPaths.h"
#include "support/Messages.h"
#include "support/ui/AppWindow.h"
#include "support/ui/GeneralError.h"
#include "support/ui/TFilenameEdit.h"
#include "support/ui/TJournal.h"
#include "support/ui/TJrnlForm.h"
#include "support/ui/WindowStore.h"
#include "utils/Utils.h"

using drs::Guarded;

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }
std::string S(const QString& text) { return text.toStdString(); }

const char* const kParamsPrefix = "Файл настройки параметров: ";
const char* const kNoParamsFile =
    "Не задан файл настройки параметров. Откройте форму \"Настройка форматов  входных файлов и их отображения\"";

QToolButton* ToolButton(QWidget* parent, const char* name, QStyle::StandardPixmap icon, const char* hint) {
  auto* button = new QToolButton(parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setIcon(parent->style()->standardIcon(icon));
  button->setIconSize(QSize(20, 20));
  button->setFixedSize(28, 28);
  button->setAutoRaise(true);
  button->setToolTip(QString::fromUtf8(hint));
  return button;
}

QLabel* Label(QWidget* parent, const char* text) {
  auto* label = new QLabel(QString::fromUtf8(text), parent);
  label->setTextFormat(Qt::PlainText);
  return label;
}

void Paint(QWidget* widget, const QColor& color) {
  QPalette pal = widget->palette();
  pal.setColor(QPalette::Window, color);
  widget->setPalette(pal);
  widget->setAutoFillBackground(true);
}

}  // namespace

TMMVBForm::TMMVBForm(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("MMVBForm"));
  setWindowTitle(QStringLiteral("Торги ММВБ. Подготовка файла сделок для ДРС. "));
  resize(kDesignWidth, kDesignHeight);
  // The layout was drawn for an 8-point font; larger ones cut the panels' texts.
  QFont designFont = font();
  designFont.setPointSize(8);
  setFont(designFont);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  auto* topStrip = new QFrame(this);
  topStrip->setObjectName(QStringLiteral("TopPanel"));
  topStrip->setFixedHeight(37);
  Paint(topStrip, QColor(207, 207, 231));
  BuildTopStrip(topStrip);
  column->addWidget(topStrip);

  auto* upperPanel = new QFrame(this);
  upperPanel->setObjectName(QStringLiteral("UpperPanel"));
  upperPanel->setFixedHeight(64);
  upperPanel->setFrameShape(QFrame::Panel);
  upperPanel->setFrameShadow(QFrame::Raised);
  Paint(upperPanel, QColor(214, 214, 214));
  BuildUpperPanel(upperPanel);
  column->addWidget(upperPanel);

  StatusBar3 = new TStatusBar({500, 150, 150, 50}, this);
  StatusBar3->setObjectName(QStringLiteral("StatusBar3"));
  StatusBar3->SetTextColor(QColor(255, 0, 0));
  column->addWidget(StatusBar3);

  MMVBGrid = new QTableView(this);
  MMVBGrid->setObjectName(QStringLiteral("MMVBGrid"));
  model_ = new DealGridModel(
      deals_.Grid(), [this](int row) { return deals_.IsMarked(row); },
      [this](int row) { return deals_.IsRelated(row); }, this);
  MMVBGrid->setModel(model_);
  MMVBGrid->setItemDelegate(new DealGridDelegate(*model_, MMVBGrid));
  MMVBGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
  MMVBGrid->setSelectionMode(QAbstractItemView::SingleSelection);
  MMVBGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  MMVBGrid->setWordWrap(false);
  MMVBGrid->verticalHeader()->hide();
  // Fixed, equal rows: the view never measures a row, so a million deals
  // scroll as fast as ten.
  MMVBGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  MMVBGrid->verticalHeader()->setMinimumSectionSize(kGridRowHeight);
  MMVBGrid->verticalHeader()->setDefaultSectionSize(kGridRowHeight);
  MMVBGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  MMVBGrid->horizontalHeader()->setHighlightSections(false);
  MMVBGrid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  column->addWidget(MMVBGrid, 1);

  StatusBar2 = new TStatusBar({200, 200, 50}, this);
  StatusBar2->setObjectName(QStringLiteral("StatusBar2"));
  column->addWidget(StatusBar2);

  FriendPanel1 = new QFrame(this);
  FriendPanel1->setObjectName(QStringLiteral("FriendPanel1"));
  FriendPanel1->setFixedHeight(211);
  BuildLowerPanel(FriendPanel1);
  column->addWidget(FriendPanel1);

  StatusBar1 = new TStatusBar({200, 200, 50}, this);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  column->addWidget(StatusBar1);

  ListStoredControls();
  ConnectHandlers();
  drs::SetAppMainWindow(this);
}

TMMVBForm::~TMMVBForm() {
  if (drs::AppMainWindow() == this) drs::SetAppMainWindow(nullptr);
  // The store saves while the controls still exist; the grid and its model
  // go before the deal list they read, which dies with the members.
  store_.reset();
  delete MMVBGrid;
  delete model_;
}

void TMMVBForm::BuildTopStrip(QWidget* strip) {
  auto* row = new QHBoxLayout(strip);
  row->setContentsMargins(4, 4, 4, 4);
  row->setSpacing(6);
  OpenBtn = ToolButton(strip, "OpenBtn", QStyle::SP_BrowserReload, "Показать/обновить");
  row->addWidget(OpenBtn);
  QLabel* inLabel = Label(strip, "Входной файл");
  QFont bold = inLabel->font();
  bold.setBold(true);
  inLabel->setFont(bold);
  QPalette navy = inLabel->palette();
  navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
  inLabel->setPalette(navy);
  row->addWidget(inLabel);
  InFilenameEdit = new drs::TFilenameEdit(strip);
  InFilenameEdit->setObjectName(QStringLiteral("InFilenameEdit"));
  InFilenameEdit->SetDialogTitle(QStringLiteral("Входной файл"));
  InFilenameEdit->SetFilter(QStringLiteral("Все файлы (*)"));
  row->addWidget(InFilenameEdit, 1);
}

void TMMVBForm::BuildUpperPanel(QWidget* panel) {
  auto* row = new QHBoxLayout(panel);
  row->setContentsMargins(2, 2, 2, 2);
  row->setSpacing(3);
  SetParamsBtn = ToolButton(panel, "SetParamsBtn", QStyle::SP_FileDialogDetailedView,
                            "Настройка параметров форматов файлов и их отображения");
  ReplaceListBtn = ToolButton(panel, "ReplaceListBtn", QStyle::SP_FileDialogListView, "Лист подстановок и лотов");
  JournalBtn = ToolButton(panel, "JournalBtn", QStyle::SP_FileDialogInfoView, "Журнал неотмеченных счетов");
  row->addWidget(SetParamsBtn);
  row->addWidget(ReplaceListBtn);
  row->addWidget(JournalBtn);
  row->addSpacing(4);

  row->addWidget(Label(panel, "Код счета брокера\n      в ДРС"));
  BrokerAccEdit = new QLineEdit(panel);
  BrokerAccEdit->setObjectName(QStringLiteral("BrokerAccEdit"));
  BrokerAccEdit->setFixedWidth(64);
  row->addWidget(BrokerAccEdit);
  row->addSpacing(4);

  row->addWidget(Label(panel, "Дата торгов"));
  TorgDateEdit = new QDateEdit(QDate::currentDate(), panel);
  TorgDateEdit->setObjectName(QStringLiteral("TorgDateEdit"));
  TorgDateEdit->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
  TorgDateEdit->setCalendarPopup(true);
  TorgDateEdit->setFixedWidth(92);
  row->addWidget(TorgDateEdit);
  row->addStretch(1);

  SelectGroup = new QGroupBox(QStringLiteral("  Выделение сделок  "), panel);
  SelectGroup->setObjectName(QStringLiteral("SelectGroupBox"));
  auto* grid = new QHBoxLayout(SelectGroup);
  grid->setContentsMargins(6, 0, 6, 2);
  grid->setSpacing(4);
  grid->addWidget(Label(SelectGroup, "Со счета \nклиента..."));
  MinClientEdit = new QLineEdit(SelectGroup);
  MinClientEdit->setObjectName(QStringLiteral("MinClientEdit"));
  MinClientEdit->setMaxLength(8);
  MinClientEdit->setFixedWidth(60);
  grid->addWidget(MinClientEdit);
  grid->addWidget(Label(SelectGroup, "По счет \nклиента..."));
  MaxClientEdit = new QLineEdit(SelectGroup);
  MaxClientEdit->setObjectName(QStringLiteral("MaxClientEdit"));
  MaxClientEdit->setMaxLength(8);
  MaxClientEdit->setFixedWidth(60);
  grid->addWidget(MaxClientEdit);
  NotSelBtn = ToolButton(SelectGroup, "NotSelBtn", QStyle::SP_DialogNoButton, "Не отмеченные сделки");
  grid->addWidget(NotSelBtn);
  row->addWidget(SelectGroup);
}

void TMMVBForm::BuildLowerPanel(QWidget* panel) {
  auto* column = new QVBoxLayout(panel);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  auto* tools = new QFrame(panel);
  tools->setObjectName(QStringLiteral("OutToolPanel"));
  tools->setFrameShape(QFrame::Panel);
  tools->setFrameShadow(QFrame::Raised);
  auto* toolRow = new QHBoxLayout(tools);
  toolRow->setContentsMargins(2, 2, 2, 2);
  toolRow->setSpacing(4);
  DBNavigator1 = new QWidget(tools);
  DBNavigator1->setObjectName(QStringLiteral("DBNavigator1"));
  toolRow->addWidget(DBNavigator1);
  ExportBtn = ToolButton(tools, "ExportBtn", QStyle::SP_DialogSaveButton, "Экспорт");
  toolRow->addWidget(ExportBtn);
  toolRow->addWidget(Label(tools, "Выходной файл"));
  OutFilenameEdit = new drs::TFilenameEdit(tools);
  OutFilenameEdit->setObjectName(QStringLiteral("OutFilenameEdit"));
  OutFilenameEdit->SetDialogTitle(QStringLiteral("Выходной файл"));
  OutFilenameEdit->SetFilter(QStringLiteral("Таблицы dBASE (*.dbf *.DBF);;Все файлы (*)"));
  OutFilenameEdit->SetDialogKind(drs::TFilenameEdit::DialogKind::Save);
  OutFilenameEdit->SetDefaultSuffix(QStringLiteral("DBF"));
  toolRow->addWidget(OutFilenameEdit, 1);
  NewDealBtn = ToolButton(tools, "NewDealBtn", QStyle::SP_BrowserReload, "Обновить");
  toolRow->addWidget(NewDealBtn);
  column->addWidget(tools);

  auto* body = new QHBoxLayout;
  body->setContentsMargins(0, 0, 0, 0);
  body->setSpacing(2);
  FriendPanel2 = new QFrame(panel);
  FriendPanel2->setObjectName(QStringLiteral("FriendPanel2"));
  FriendPanel2->setFixedWidth(361);
  auto* outColumn = new QVBoxLayout(FriendPanel2);
  outColumn->setContentsMargins(0, 0, 0, 0);
  RxDBGrid1 = new QTableView(FriendPanel2);
  RxDBGrid1->setObjectName(QStringLiteral("RxDBGrid1"));
  outColumn->addWidget(RxDBGrid1);
  body->addWidget(FriendPanel2);

  auto* options = new QVBoxLayout;
  options->setSpacing(2);
  WriteModeRadioGroup = new TRadioGroup(QString(), {QStringLiteral("Сначала"), QStringLiteral("Дозапись")}, panel);
  WriteModeRadioGroup->setObjectName(QStringLiteral("WriteModeRadioGroup"));
  WriteModeRadioGroup->SetItemIndex(0);
  options->addWidget(WriteModeRadioGroup);
  SqueeseClaineCheckBox = new QCheckBox(QStringLiteral("\"Сжать\" заявки"), panel);
  SqueeseClaineCheckBox->setObjectName(QStringLiteral("SqueeseClaineCheckBox"));
  options->addWidget(SqueeseClaineCheckBox);
  SqueeseClientCheckBox = new QCheckBox(QStringLiteral("Сжать по клиентам"), panel);
  SqueeseClientCheckBox->setObjectName(QStringLiteral("SqueeseClientCheckBox"));
  options->addWidget(SqueeseClientCheckBox);
  options->addStretch(1);
  body->addLayout(options);

  auto* turnovers = new QGroupBox(QStringLiteral("Обороты"), panel);
  turnovers->setObjectName(QStringLiteral("OborotGroupBox"));
  auto* turnoverRow = new QHBoxLayout(turnovers);
  turnoverRow->setContentsMargins(4, 2, 4, 4);
  auto* turnoverTools = new QVBoxLayout;
  NewOborotBtn = ToolButton(turnovers, "NewOborotBtn", QStyle::SP_BrowserReload, "Обновить");
  turnoverTools->addWidget(NewOborotBtn);
  OborotModeRadioGroup =
      new TRadioGroup(QString(), {QStringLiteral("По ЦБ"), QStringLiteral("По счетам")}, turnovers);
  OborotModeRadioGroup->setObjectName(QStringLiteral("OborotModeRadioGroup"));
  OborotModeRadioGroup->SetItemIndex(0);
  turnoverTools->addWidget(OborotModeRadioGroup);
  turnoverTools->addStretch(1);
  turnoverRow->addLayout(turnoverTools);
  ObDBGrid = new QTableView(turnovers);
  ObDBGrid->setObjectName(QStringLiteral("ObDBGrid"));
  turnoverRow->addWidget(ObDBGrid, 1);
  body->addWidget(turnovers, 1);
  column->addLayout(body, 1);
}

void TMMVBForm::ListStoredControls() {
  store_ = std::make_unique<drs::WindowStore>(this, "TMMVBForm");
  store_->Add(InFilenameEdit, "Text");
  store_->Add(OutFilenameEdit, "Text");
  store_->Add(BrokerAccEdit, "Text");
  store_->Add(MaxClientEdit, "Text");
  store_->Add(MinClientEdit, "Text");
  store_->Add(OborotModeRadioGroup, "ItemIndex");
  store_->Add(WriteModeRadioGroup, "ItemIndex");
  store_->Add(SqueeseClaineCheckBox, "Checked");
  store_->Add(TorgDateEdit, "Text");
  store_->Add(SqueeseClientCheckBox, "Checked");
}

void TMMVBForm::ConnectHandlers() {
  connect(OpenBtn, &QToolButton::clicked, this, Guarded([this] { OpenBtnClick(); }));
  connect(NotSelBtn, &QToolButton::clicked, this, Guarded([this] { NotSelBtnClick(); }));
  connect(JournalBtn, &QToolButton::clicked, this, Guarded([this] { JournalBtnClick(); }));
  connect(SetParamsBtn, &QToolButton::clicked, this, Guarded([this] { SetParamsBtnClick(); }));
  connect(ReplaceListBtn, &QToolButton::clicked, this, Guarded([this] { ReplaceListBtnClick(); }));
  connect(MMVBGrid, &QTableView::doubleClicked, this, Guarded([this] { MMVBGridDblClick(); }));
  connect(MinClientEdit, &QLineEdit::textChanged, this, Guarded([this] { BoundEditChange(MinClientEdit); }));
  connect(MaxClientEdit, &QLineEdit::textChanged, this, Guarded([this] { BoundEditChange(MaxClientEdit); }));
  connect(OutFilenameEdit, &drs::TFilenameEdit::textChanged, this,
          [this](const QString& text) { outFileName_ = S(text); });
  connect(MMVBGrid->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int section, int, int size) {
    if (applyingWidths_ || section < 0) return;
    if (static_cast<size_t>(section) >= columnWidths_.size()) columnWidths_.resize(section + 1, -1);
    columnWidths_[section] = size;
  });
}

void TMMVBForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // The window store has restored the stored values by now (its filter sees
  // the show first); a show that only comes back from minimising is no show.
  if (!event->spontaneous()) drs::RunGuarded([this] { FormShow(); });
}

void TMMVBForm::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  if (event->isAccepted()) emit Closed();
}

void TMMVBForm::FormShow() {
  outFileName_ = S(OutFilenameEdit->Text());
  deals_.ClearReplaceLists();
  deals_.SetDealsShown(false);
  ExportBtn->setEnabled(false);
  if (journal_) {
    journal_->Journal1()->SetFileName(drs::JournalFilePath());
    journal_->Journal1()->SetMaxLines(kJournalMaxLines);
  }

  drs::IniFile settings(drs::SettingsFilePath());
  std::vector<std::string> lines;
  drs::ReadListSection(settings, "ReplaceList", lines, drs::ListReadMode::Replace);
  for (size_t i = 0; i < lines.size(); ++i) deals_.ParseReplaceLine(lines[i], static_cast<int>(i) + 1);

  paramsFileName_ = settings.ReadString("ParamsFileName", "ParamsFileName", "");
  StatusBar3->SetPanelText(0, Q(kParamsPrefix + paramsFileName_));
  if (drs::IsBlank(paramsFileName_)) {
    drs::ShowError(kNoParamsFile);
    return;
  }
  RunLoadFormat();
}

void TMMVBForm::RunLoadFormat() {
  // Whatever the load reports, the grid's columns are as far as it got.
  struct Refresh {
    TMMVBForm* form;
    ~Refresh() {
      form->model_->UseGridColumns();
      form->model_->Reload();
      const drs::DealGrid& grid = form->deals_.Grid();
      form->columnWidths_.assign(grid.ColCount(), -1);
      for (int c = 0; c < grid.ColCount(); ++c) form->columnWidths_[c] = grid.ColWidth(c);
      form->ApplyColumnWidths();
    }
  } refresh{this};
  deals_.LoadFormat(paramsFileName_);
  if (deals_.Format().formatValid) {
    const auto& status = deals_.FormatStatus();
    for (int i = 0; i < 3; ++i) StatusBar3->SetPanelText(i, Q(status[i]));
  }
}

void TMMVBForm::ApplyColumnWidths() {
  applyingWidths_ = true;
  QHeaderView* header = MMVBGrid->horizontalHeader();
  for (int c = 0; c < model_->columnCount() && c < static_cast<int>(columnWidths_.size()); ++c) {
    if (columnWidths_[c] >= 0) header->resizeSection(c, columnWidths_[c]);
  }
  applyingWidths_ = false;
}

void TMMVBForm::ShowDealGrid() {
  model_->Reload();
  ApplyColumnWidths();
  const auto& status = deals_.DealStatus();
  StatusBar2->SetPanelText(0, Q(status[0]));
  StatusBar2->SetPanelText(1, Q(status[1]));
}

void TMMVBForm::OpenBtnClick() {
  struct Finish {
    TMMVBForm* form;
    bool refused = false;
    ~Finish() {
      if (refused) return;
      // Also after a read error: the rows read so far are shown and counted.
      form->ShowDealGrid();
      form->ExportBtn->setEnabled(true);
    }
  } finish{this};
  finish.refused = !deals_.OpenReport(S(InFilenameEdit->Text()), S(MinClientEdit->text()), S(MaxClientEdit->text()));
}

void TMMVBForm::NotSelBtnClick() {
  struct Finish {
    TMMVBForm* form;
    ~Finish() {
      if (form->deals_.Mode() != drs::ViewMode::Unmarked) return;
      form->ExportBtn->setEnabled(false);
      const drs::DealGrid& grid = form->deals_.Grid();
      constexpr int kEighthColumn = 7;
      if (grid.ColCount() > kEighthColumn) {
        if (form->columnWidths_.size() <= kEighthColumn) form->columnWidths_.resize(kEighthColumn + 1, -1);
        form->columnWidths_[kEighthColumn] = grid.ColWidth(kEighthColumn);
      }
      form->ShowDealGrid();
    }
  } finish{this};
  deals_.ShowUnmarked(S(InFilenameEdit->Text()), S(MinClientEdit->text()), S(MaxClientEdit->text()));
}

void TMMVBForm::MMVBGridDblClick() {
  if (deals_.Mode() == drs::ViewMode::Unmarked) return;
  const QModelIndex current = MMVBGrid->currentIndex();
  if (!current.isValid()) return;
  deals_.ToggleMark(current.row() + 1);
  StatusBar2->SetPanelText(1, Q(deals_.DealStatus()[1]));
  MMVBGrid->viewport()->update();
}

void TMMVBForm::BoundEditChange(QLineEdit* edit) {
  const std::string text = S(edit->text());
  const std::string checked = drs::CheckBoundDigits(text);
  // The shortened text goes back into the edit, which checks it once more.
  if (checked != text) edit->setText(Q(checked));
}

void TMMVBForm::JournalBtnClick() {
  if (journal_ && journal_->isVisible()) {
    journal_->hide();
    return;
  }
  const std::vector<std::string> lines = deals_.UnmarkedJournalLines();
  if (lines.empty()) {
    drs::ShowInfo("Нет неотмеченных сделок");
    return;
  }
  JournalClear();
  ShowJournal();
  JournalSetActive(true);
  for (const std::string& line : lines) JournalAddLine(line);
}

void TMMVBForm::SetParamsBtnClick() {
  if (setParamsForm_) setParamsForm_->close();
  auto* editor = new drs::TSetParamsForm(*this, this);
  editor->setAttribute(Qt::WA_DeleteOnClose);
  setParamsForm_ = editor;
  editor->exec();
}

void TMMVBForm::ReplaceListBtnClick() {
  if (replaceForm_) return;
  auto* editor = new drs::TReplaceForm(*this, this);
  editor->setAttribute(Qt::WA_DeleteOnClose);
  replaceForm_ = editor;
  editor->show();
}

void TMMVBForm::SetJournalForm(drs::TJrnlForm* journal) { journal_ = journal; }

void TMMVBForm::SetParamsFileName(const std::string& name) {
  drs::IniFile settings(drs::SettingsFilePath());
  settings.WriteString("ParamsFileName", "ParamsFileName", name);
  paramsFileName_ = name;
  StatusBar3->SetPanelText(0, Q(kParamsPrefix + name));
  RunLoadFormat();
}

void TMMVBForm::ReparseReplaceList(const std::vector<std::string>& lines) {
  deals_.ClearReplaceLists();
  for (size_t i = 0; i < lines.size(); ++i) deals_.ParseReplaceLine(lines[i], static_cast<int>(i) + 1);
}

void TMMVBForm::ShowJournal() {
  if (!journal_) return;
  journal_->show();
  journal_->raise();
}

void TMMVBForm::JournalClear() {
  if (journal_) journal_->Journal1()->Clear();
}

void TMMVBForm::JournalSetActive(bool active) {
  if (journal_) journal_->Journal1()->SetActive(active);
}

void TMMVBForm::JournalAddLine(const std::string& line) {
  if (journal_) journal_->Journal1()->AddLine(line);
}
