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

#include <stdexcept>

#include "export/Export.h"
#include "export/ExportProgress.h"
#include "export/TableLocation.h"
#include "export/Turnovers.h"
#include "export/ui/OutputView.h"
#include "export/ui/TDBGrid.h"
#include "export/ui/TDBNavigator.h"
#include "export/ui/TDataSource.h"
#include "format/ui/TReplaceForm.h"
#include "format/ui/TSetParamsForm.h"
#include "main/ui/DealGridDelegate.h"
#include "main/ui/DealGridModel.h"
#include "main/ui/TRadioGroup.h"
#include "main/ui/TStatusBar.h"
#include "profile/IniFile.h"
#include "profile/ListSection.h"
#include "support/AppPaths.h"
#include "support/Messages.h"
#include "support/SettingsFile.h"
#include "support/ui/AppWindow.h"
#include "support/ui/BusyCursor.h"
#include "support/ui/FocusReturn.h"
#include "support/ui/GeneralError.h"
#include "support/ui/TDynamicPanel.h"
#include "support/ui/TFilenameEdit.h"
#include "support/ui/TJournal.h"
#include "support/ui/TJrnlForm.h"
#include "support/ui/TProgressForm.h"
#include "support/ui/TextFit.h"
#include "support/ui/WindowStore.h"
#include "utils/Utils.h"

namespace drs {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }
std::string S(const QString& text) { return text.toStdString(); }

const char* const kParamsPrefix = "Файл настройки параметров: ";

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

  auto* lowerPanel = new drs::TDynamicPanel(this, drs::TDynamicPanel::Dock::Bottom);
  lowerPanel->setObjectName(QStringLiteral("FriendPanel1"));
  lowerPanel->SetHeight(211);
  FriendPanel1 = lowerPanel;
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
  // The output view detaches its grid and navigator while they still exist;
  // the turnover grid lets go of its source before the query goes.
  delete outputView_;
  ObDBGrid->SetDataSource(nullptr);
  oborotSource_->SetDataSet(nullptr);
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
  ReplaceListBtn =
      ToolButton(panel, "ReplaceListBtn", QStyle::SP_FileDialogListView, "Лист подстановок и лотов");
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
  MinClientEdit->setFixedWidth(drs::EditWidthFor(MinClientEdit, QStringLiteral("99999999"), 60));  // 8 digits
  grid->addWidget(MinClientEdit);
  grid->addWidget(Label(SelectGroup, "По счет \nклиента..."));
  MaxClientEdit = new QLineEdit(SelectGroup);
  MaxClientEdit->setObjectName(QStringLiteral("MaxClientEdit"));
  MaxClientEdit->setMaxLength(8);
  MaxClientEdit->setFixedWidth(drs::EditWidthFor(MaxClientEdit, QStringLiteral("99999999"), 60));  // 8 digits
  grid->addWidget(MaxClientEdit);
  NotSelBtn = ToolButton(SelectGroup, "NotSelBtn", QStyle::SP_DialogNoButton, "Не отмеченные сделки");
  grid->addWidget(NotSelBtn);
  row->addWidget(SelectGroup);
}

void TMMVBForm::BuildLowerPanel(QWidget* panel) {
  auto* column = new QVBoxLayout(panel);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  // The output view keeps the table, its query and the handlers; its
  // controls are laid out here, the navigator and the file name in one strip.
  outputView_ = new drs::OutputView(panel);
  outputView_->hide();
  auto* tools = new QFrame(panel);
  tools->setObjectName(QStringLiteral("OutToolPanel"));
  tools->setFrameShape(QFrame::Panel);
  tools->setFrameShadow(QFrame::Raised);
  auto* toolRow = new QHBoxLayout(tools);
  toolRow->setContentsMargins(2, 1, 2, 1);
  toolRow->setSpacing(3);
  toolRow->addWidget(outputView_->DBNavigator1());
  ExportBtn = ToolButton(tools, "ExportBtn", QStyle::SP_DialogSaveButton, "Экспорт");
  toolRow->addWidget(ExportBtn);
  toolRow->addSpacing(6);
  toolRow->addWidget(Label(tools, "Выходной файл"));
  toolRow->addWidget(outputView_->OutFilenameEdit(), 1);
  toolRow->addWidget(outputView_->NewDealBtn());
  outputView_->NewDealBtn()->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
  outputView_->NewDealBtn()->setAutoRaise(true);
  column->addWidget(tools);

  auto* row = new QHBoxLayout;
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(2);
  auto* outPanel = new drs::TDynamicPanel(panel, drs::TDynamicPanel::Dock::Left);
  outPanel->setObjectName(QStringLiteral("FriendPanel2"));
  outPanel->SetWidth(361);
  FriendPanel2 = outPanel;
  auto* outColumn = new QVBoxLayout(FriendPanel2);
  outColumn->setContentsMargins(0, 0, 0, 0);
  outColumn->addWidget(outputView_->RxDBGrid1());
  row->addWidget(FriendPanel2);

  auto* options = new QVBoxLayout;
  options->setSpacing(2);
  WriteModeRadioGroup =
      new TRadioGroup(QString(), {QStringLiteral("Сначала"), QStringLiteral("Дозапись")}, panel);
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
  row->addLayout(options);

  auto* turnovers = new QGroupBox(QStringLiteral("Обороты"), panel);
  turnovers->setObjectName(QStringLiteral("OborotGroupBox"));
  auto* turnoverColumn = new QVBoxLayout(turnovers);
  turnoverColumn->setContentsMargins(4, 2, 4, 4);
  turnoverColumn->setSpacing(2);
  auto* turnoverTools = new QHBoxLayout;
  NewOborotBtn = ToolButton(turnovers, "NewOborotBtn", QStyle::SP_BrowserReload, "Обновить");
  turnoverTools->addWidget(NewOborotBtn, 0, Qt::AlignTop);
  OborotModeRadioGroup =
      new TRadioGroup(QString(), {QStringLiteral("По ЦБ"), QStringLiteral("По счетам")}, turnovers);
  OborotModeRadioGroup->setObjectName(QStringLiteral("OborotModeRadioGroup"));
  OborotModeRadioGroup->SetItemIndex(0);
  turnoverTools->addWidget(OborotModeRadioGroup, 1);
  turnoverColumn->addLayout(turnoverTools);
  oborotSource_ = new drs::TDataSource(this);
  oborotSource_->setObjectName(QStringLiteral("OborotDataSource"));
  ObDBGrid = new drs::TDBGrid(turnovers);
  ObDBGrid->setObjectName(QStringLiteral("ObDBGrid"));
  ObDBGrid->SetDataSource(oborotSource_);
  turnoverColumn->addWidget(ObDBGrid, 1);
  outputView_->AttachGrid(ObDBGrid, oborotSource_);
  row->addWidget(turnovers, 1);
  column->addLayout(row, 1);
}

void TMMVBForm::ListStoredControls() {
  namespace stored = drs::mainwindow;
  store_ = std::make_unique<drs::WindowStore>(this, drs::kMainWindowSection);
  const std::pair<QObject*, drs::StoredProperty> controls[] = {
      {InFilenameEdit, stored::kInFile},         {outputView_->OutFilenameEdit(), stored::kOutFile},
      {BrokerAccEdit, stored::kBrokerAcc},       {MaxClientEdit, stored::kMaxClient},
      {MinClientEdit, stored::kMinClient},       {OborotModeRadioGroup, stored::kOborotMode},
      {WriteModeRadioGroup, stored::kWriteMode}, {SqueeseClaineCheckBox, stored::kSqueezeOrders},
      {TorgDateEdit, stored::kTradeDate},        {SqueeseClientCheckBox, stored::kSqueezeClients},
  };
  // The store keys a value by control name; the settings file's names rule.
  for (const auto& [control, property] : controls) {
    control->setObjectName(QString::fromLatin1(property.control));
    store_->Add(control, property.property);
  }
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
  connect(outputView_, &drs::OutputView::outputFileNameChanged, this,
          [this](const QString& text) { outFileName_ = S(text); });
  connect(outputView_, &drs::OutputView::recordCountShown, this,
          [this](qint64 count) { StatusBar1->SetPanelText(0, QString::number(count)); });
  connect(ExportBtn, &QToolButton::clicked, this, Guarded([this] { ExportBtnClick(); }));
  connect(NewOborotBtn, &QToolButton::clicked, this, Guarded([this] { NewOborotBtnClick(); }));
  connect(MMVBGrid->horizontalHeader(), &QHeaderView::sectionResized, this,
          [this](int section, int, int size) {
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
  if (exporting_) {
    // Closing the window during an export is its "Отмена": the export undoes
    // itself and the window stays.
    event->ignore();
    for (QWidget* window : QApplication::topLevelWidgets())
      if (auto* progress = qobject_cast<drs::TProgressForm*>(window)) progress->reject();
    return;
  }
  QWidget::closeEvent(event);
  if (event->isAccepted()) emit Closed();
}

void TMMVBForm::FormShow() {
  outFileName_ = S(outputView_->OutFilenameEdit()->Text());
  deals_.SetDealsShown(false);
  ExportBtn->setEnabled(false);
  if (journal_) {
    journal_->Journal1()->SetFileName(drs::JournalFilePath());
    journal_->Journal1()->SetMaxLines(kJournalMaxLines);
  }

  const drs::StartupSettings startup = drs::ReadStartupSettings();
  deals_.ParseReplaceLines(startup.replaceLines);
  paramsFileName_ = startup.paramsFileName;
  StatusBar3->SetPanelText(0, Q(kParamsPrefix + paramsFileName_));
  if (drs::IsBlank(paramsFileName_)) {
    deals_.LoadStartFormat(paramsFileName_);  // says that no format file is set
  } else {
    RunLoadFormat();
  }
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
  finish.refused =
      !deals_.OpenReport(S(InFilenameEdit->Text()), S(MinClientEdit->text()), S(MaxClientEdit->text()));
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
  drs::FocusReturn back;
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
  drs::WriteParamsFileName(name);
  paramsFileName_ = name;
  StatusBar3->SetPanelText(0, Q(kParamsPrefix + name));
  RunLoadFormat();
}

void TMMVBForm::ReparseReplaceList(const std::vector<std::string>& lines) { deals_.ParseReplaceLines(lines); }

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

namespace {

// The export's progress shown in the progress window.
class WindowProgress : public drs::ExportProgress {
 public:
  explicit WindowProgress(QWidget* owner) : owner_(owner) {}
  void Begin(const std::string& caption, const std::vector<std::string>& steps) override {
    form_ = std::make_unique<drs::TProgressForm>(owner_, Q(caption), steps);
    form_->show();
  }
  void ShowProgress(int step, long long position, long long total) override {
    if (form_) form_->ShowProgress(step, position, total);
  }
  void WaitDone() override {
    if (form_) form_->WaitDone();
  }
  void End() noexcept override { form_.reset(); }

 private:
  QWidget* owner_;
  std::unique_ptr<drs::TProgressForm> form_;
};

}  // namespace

void TMMVBForm::ExportBtnClick() {
  drs::ExportSettings settings;
  settings.outFileName = outFileName_;
  settings.writeMode = WriteModeRadioGroup->ItemIndex();
  settings.squeezeOrders = SqueeseClaineCheckBox->isChecked();
  settings.squeezeClients = SqueeseClientCheckBox->isChecked();
  settings.tradeDate = S(TorgDateEdit->text());
  settings.brokerAcc = S(BrokerAccEdit->text());
  // The grid must not read the view while the export closes and reopens it.
  outputView_->CloseOutputView();
  // A table held by another program is waited for before any progress shows.
  drs::BusyCursor busy(this);
  WindowProgress progress(this);
  exporting_ = true;
  const drs::ExportResult result = [&] {
    struct Done {
      bool& flag;
      ~Done() { flag = false; }
    } done{exporting_};
    return drs::ExportMarkedDeals(deals_, settings, progress, outputView_->OutQuery());
  }();
  if (result.control || !result.tableState.empty()) {
    // The reconciliation and what the table now holds go into the journal
    // as its other lists do; the lines refused by the table stay above them.
    if (result.failedLines == 0 || result.cancelled) JournalClear();
    ShowJournal();
    JournalSetActive(true);
    if (!result.tableState.empty()) JournalAddLine(result.tableState);
    if (result.control)
      for (const std::string& line :
           result.control->JournalLines(drs::LocateTable(settings.outFileName).table))
        JournalAddLine(line);
    if (journal_) journal_->WidenToLines();
  }
  if (!result.finished) {
    if (result.recordCount >= 0) StatusBar1->SetPanelText(0, QString::number(result.recordCount));
    // A cancel reaches the operator as every broken-off operation does.
    if (result.cancelled) throw std::runtime_error(result.cancelMessage);
    return;
  }
  if (outputView_->OutQuery().Active()) {
    outputView_->OutDataSource()->SetDataSet(&outputView_->OutQuery());
    outputView_->PointNavigatorAtOutput();
  }
  StatusBar1->SetPanelText(0, Q(result.recordCountText));
}

void TMMVBForm::NewOborotBtnClick() {
  // The output grid keeps still while the computation reads its table.
  struct HoldUpdates {
    QWidget* widget;
    ~HoldUpdates() { widget->setUpdatesEnabled(true); }
  } hold{outputView_};
  outputView_->setUpdatesEnabled(false);
  drs::BusyCursor busy(this);
  oborotSource_->SetDataSet(nullptr);
  const drs::TurnoverResult result =
      drs::ComputeTurnovers(outFileName_, OborotModeRadioGroup->ItemIndex(), oborotQuery_);
  if (!result.shown) return;
  std::vector<drs::TDBColumn> columns;
  for (const drs::TurnoverColumn& c : result.columns) {
    drs::TDBColumn column;
    column.field = QString::fromUtf8(c.field);
    column.title = QString::fromUtf8(c.title);
    column.width = c.width;
    column.alignment = (*c.displayFormat ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
    column.displayFormat = QString::fromUtf8(c.displayFormat);
    columns.push_back(column);
  }
  ObDBGrid->SetColumns(columns);
  oborotSource_->SetDataSet(&oborotQuery_);
  StatusBar1->SetPanelText(1, Q(result.recordCountText));
}

}  // namespace drs
