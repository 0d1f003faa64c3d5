// The main window as the operator meets it: first start, stored settings,
// the example report shown, marked and drawn, the bound edits' digit check
// and the unmarked-deals view.
#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <memory>

#include "export/ui/OutputView.h"
#include "export/ui/TDBGrid.h"
#include "format/ui/TReplaceForm.h"
#include "format/ui/TSetParamsForm.h"
#include "main/ui/DealGridModel.h"
#include "main/ui/TMMVBForm.h"
#include "main/ui/TRadioGroup.h"
#include "main/ui/TStatusBar.h"
#include "profile/IniFile.h"
#include "support/AppPaths.h"
#include "support/DialogHelpers.h"
#include "support/FormLookup.h"
#include "support/ui/TDynamicPanel.h"
#include "support/ui/TFilenameEdit.h"
#include "support/ui/TJournal.h"
#include "support/ui/TJrnlForm.h"
#include "support/ui/TProgressForm.h"

using drs::TMMVBForm;
using drs::TRadioGroup;
using drs::TStatusBar;
using drs::test::Child;
using drs::test::Examples;
using drs::test::Panel;
using drs::test::ScriptedMessageHandler;

namespace {

const std::string kNoParamsFile =
    "Не задан файл настройки параметров. Откройте форму \"Настройка форматов  входных файлов и их "
    "отображения\"";

// The colour of a cell's pixel, after the view has drawn it.
QColor CellPixel(QTableView* grid, int row, int col, QPoint offset) {
  QModelIndex index = grid->model()->index(row, col);
  grid->scrollTo(index);
  QRect rect = grid->visualRect(index);
  QImage image = grid->viewport()->grab().toImage();
  return image.pixelColor(rect.topLeft() + offset);
}

bool CellHasColor(QTableView* grid, int row, int col, const QColor& color) {
  QModelIndex index = grid->model()->index(row, col);
  grid->scrollTo(index);
  QRect rect = grid->visualRect(index);
  QImage image = grid->viewport()->grab().toImage();
  for (int y = rect.top(); y <= rect.bottom(); ++y)
    for (int x = rect.left(); x <= rect.right(); ++x)
      if (image.pixelColor(x, y) == color) return true;
  return false;
}

}  // namespace

class TestMainWindow : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir config_;
  QTemporaryDir out_;
  ScriptedMessageHandler messages_;
  std::unique_ptr<drs::ScopedMessageHandler> scoped_;

  QString SettingsFile() const { return QString::fromStdString(drs::SettingsFilePath()); }

  // The bundled settings with their placeholders filled; the file stays 1251.
  void InstallExampleSettings() {
    QFile in(Examples() + "/drsprep.INI");
    QVERIFY(in.open(QIODevice::ReadOnly));
    QByteArray bytes = in.readAll();
    bytes.replace("@EXAMPLES@", Examples().toUtf8());
    bytes.replace("@OUT@", out_.path().toUtf8());
    QFile target(SettingsFile());
    QVERIFY(target.open(QIODevice::WriteOnly | QIODevice::Truncate));
    target.write(bytes);
  }

  std::unique_ptr<TMMVBForm> ShowForm() {
    auto form = std::make_unique<TMMVBForm>();
    form->show();
    return form;
  }

  void OpenExample(TMMVBForm& form) {
    QTest::mouseClick(Child<QToolButton>(&form, "OpenBtn"), Qt::LeftButton);
  }

 private slots:
  void initTestCase() {
    QVERIFY(config_.isValid());
    qputenv("XDG_CONFIG_HOME", config_.path().toUtf8());
    qputenv("XDG_STATE_HOME", config_.filePath("state").toUtf8());
    scoped_ = std::make_unique<drs::ScopedMessageHandler>(&messages_);
  }

  void init() {
    QFile::remove(SettingsFile());
    messages_.Clear();
  }

  void firstStartReportsMissingFormatFile() {
    auto form = ShowForm();
    QCOMPARE(form->windowTitle(), QStringLiteral("Торги ММВБ. Подготовка файла сделок для ДРС. "));
    QCOMPARE(form->size(), QSize(788, 526));
    QCOMPARE(Panel(form.get(), "StatusBar3", 0), QStringLiteral("Файл настройки параметров: "));
    QCOMPARE(messages_.Texts(), std::vector<std::string>{kNoParamsFile});
    QCOMPARE(messages_.Messages()[0].kind, drs::MsgKind::Error);
    QVERIFY(!Child<QToolButton>(form.get(), "ExportBtn")->isEnabled());
    // The grid as designed: 12 columns, one empty row under the header.
    QCOMPARE(form->GridModel()->columnCount(), 12);
    QCOMPARE(form->GridModel()->rowCount(), 1);

    messages_.Clear();
    OpenExample(*form);
    QCOMPARE(messages_.Texts(),
             std::vector<std::string>{"Не определен или содержит ошибки формат отображания"});
    QVERIFY(!Child<QToolButton>(form.get(), "ExportBtn")->isEnabled());
  }

  void layoutHasEveryControl() {
    auto form = ShowForm();
    struct Hint {
      const char* name;
      const char* hint;
    };
    for (const Hint& h :
         {Hint{"OpenBtn", "Показать/обновить"},
          Hint{"SetParamsBtn", "Настройка параметров форматов файлов и их отображения"},
          Hint{"ReplaceListBtn", "Лист подстановок и лотов"},
          Hint{"JournalBtn", "Журнал неотмеченных счетов"}, Hint{"NotSelBtn", "Не отмеченные сделки"},
          Hint{"ExportBtn", "Экспорт"}, Hint{"NewOborotBtn", "Обновить"}}) {
      QCOMPARE(Child<QWidget>(form.get(), h.name)->toolTip(), QString::fromUtf8(h.hint));
    }
    Child<drs::TFilenameEdit>(form.get(), "InFilenameEdit");
    Child<drs::TFilenameEdit>(form.get(), "OutFilenameEdit");
    for (const char* name : {"BrokerAccEdit", "MinClientEdit", "MaxClientEdit"})
      Child<QLineEdit>(form.get(), name);
    for (const char* name :
         {"DBNavigator1", "RxDBGrid1", "ObDBGrid", "NewDealBtn", "FriendPanel1", "FriendPanel2"})
      Child<QWidget>(form.get(), name);
    QCOMPARE(Child<QLineEdit>(form.get(), "MinClientEdit")->maxLength(), 8);
    QCOMPARE(Child<QLineEdit>(form.get(), "MaxClientEdit")->maxLength(), 8);
    QCOMPARE(Child<QDateEdit>(form.get(), "TorgDateEdit")->displayFormat(), QStringLiteral("dd.MM.yyyy"));

    auto* writeMode = Child<TRadioGroup>(form.get(), "WriteModeRadioGroup");
    QCOMPARE(writeMode->Item(0)->text(), QStringLiteral("Сначала"));
    QCOMPARE(writeMode->Item(1)->text(), QStringLiteral("Дозапись"));
    auto* turnoverMode = Child<TRadioGroup>(form.get(), "OborotModeRadioGroup");
    QCOMPARE(turnoverMode->Item(0)->text(), QStringLiteral("По ЦБ"));
    QCOMPARE(turnoverMode->Item(1)->text(), QStringLiteral("По счетам"));
    QCOMPARE(Child<QCheckBox>(form.get(), "SqueeseClaineCheckBox")->text(),
             QStringLiteral("\"Сжать\" заявки"));
    QCOMPARE(Child<QCheckBox>(form.get(), "SqueeseClientCheckBox")->text(),
             QStringLiteral("Сжать по клиентам"));

    auto widths = [&](const char* name) {
      auto* bar = Child<TStatusBar>(form.get(), name);
      QList<int> w;
      for (int i = 0; i < bar->PanelCount(); ++i) w.push_back(bar->PanelWidth(i));
      return w;
    };
    QCOMPARE(widths("StatusBar3"), (QList<int>{500, 150, 150, 50}));
    QCOMPARE(widths("StatusBar2"), (QList<int>{200, 200, 50}));
    QCOMPARE(widths("StatusBar1"), (QList<int>{200, 200, 50}));
    auto* lower = Child<drs::TDynamicPanel>(form.get(), "FriendPanel1");
    QCOMPARE(lower->height(), 211);
    QCOMPARE(lower->Align(), drs::TDynamicPanel::Dock::Bottom);
    auto* outPanel = Child<drs::TDynamicPanel>(form.get(), "FriendPanel2");
    QCOMPARE(outPanel->width(), 361);
    QCOMPARE(outPanel->Align(), drs::TDynamicPanel::Dock::Left);
    // Collapsing the lower panel gives its room to the deal grid.
    auto* dealGrid = Child<QTableView>(form.get(), "MMVBGrid");
    const int gridHeight = dealGrid->height();
    lower->SetSizeMinimized(true);
    QTRY_COMPARE(lower->height(), 12);
    QTRY_VERIFY(dealGrid->height() > gridHeight);
    QVERIFY(!Child<QWidget>(form.get(), "ExportBtn")->isVisible());
    lower->SetSizeMinimized(false);
    QTRY_COMPARE(lower->height(), 211);

    auto* grid = Child<QTableView>(form.get(), "MMVBGrid");
    QCOMPARE(grid->verticalHeader()->defaultSectionSize(), 16);
    QCOMPARE(grid->rowHeight(0), 16);
    QVERIFY(grid->verticalHeader()->isHidden());
    QCOMPARE(grid->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(grid->horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);

    // The labels the operator reads, with their odd spacing kept.
    QStringList labels;
    for (QLabel* label : form->findChildren<QLabel*>()) labels << label->text();
    for (const char* text : {"Входной файл", "Код счета брокера\n      в ДРС", "Дата торгов",
                             "Со счета \nклиента...", "По счет \nклиента..."})
      QVERIFY2(labels.contains(QString::fromUtf8(text)), text);
    QStringList groups;
    for (QGroupBox* box : form->findChildren<QGroupBox*>()) groups << box->title();
    for (const char* text : {"  Выделение сделок  ", "Выходной файл", "Обороты"})
      QVERIFY2(groups.contains(QString::fromUtf8(text)), text);
  }

  // Texts are read whole: a status panel grows to its text (the first keeps
  // its width) and a bound edit shows all 8 digits; short texts keep the
  // design widths.
  void textsFitTheirPlaces() {
    TStatusBar bar({500, 150, 150, 50});
    bar.resize(1000, bar.height());
    struct Case {
      int panel;
      const char* text;
    };
    for (const Case& c : {Case{1, "Разделитель полей:   <\t>"}, Case{2, "Десятичн. разделит.: <,>"},
                          Case{1, "x"}, Case{2, "y"}}) {
      bar.SetPanelText(c.panel, QString::fromUtf8(c.text));
      const QList<QLabel*> panels = bar.findChildren<QLabel*>();
      QVERIFY2(panels[c.panel]->sizeHint().width() <= bar.PanelWidth(c.panel), c.text);
      QVERIFY2(bar.PanelWidth(c.panel) >= 150, c.text);
      for (int i = 1; i < bar.PanelCount(); ++i)
        QVERIFY2(panels[i]->x() >= panels[i - 1]->geometry().right(), c.text);
    }
    QCOMPARE(bar.PanelWidth(1), 150);
    QCOMPARE(bar.PanelWidth(2), 150);
    // In the window's design width the file name panel makes room for the
    // decimal separator.
    bar.resize(788, bar.height());
    bar.SetPanelText(2, "Десятичн. разделит.: <,>");
    QVERIFY(bar.findChildren<QLabel*>()[2]->geometry().right() < 788);
    QVERIFY(bar.PanelWidth(0) < 500);

    auto form = ShowForm();
    for (const char* name : {"MinClientEdit", "MaxClientEdit"}) {
      auto* edit = Child<QLineEdit>(form.get(), name);
      edit->setText("99999999");
      edit->end(false);
      // Scrolled text would put a later digit at the left edge.
      QVERIFY2(edit->cursorPositionAt(QPoint(edit->contentsRect().left() + 3, edit->height() / 2)) == 0,
               name);
      QVERIFY2(edit->width() >= 60, name);
    }
  }

  void storedValuesReappearAfterRestart() {
    {
      auto form = ShowForm();
      QTest::keyClicks(Child<drs::TFilenameEdit>(form.get(), "InFilenameEdit")->Edit(), "/tmp/report 1.txt");
      QTest::keyClicks(Child<drs::TFilenameEdit>(form.get(), "OutFilenameEdit")->Edit(), "/tmp/OUT.DBF");
      QTest::keyClicks(Child<QLineEdit>(form.get(), "BrokerAccEdit"), "BRK77");
      QTest::keyClicks(Child<QLineEdit>(form.get(), "MinClientEdit"), "100");
      QTest::keyClicks(Child<QLineEdit>(form.get(), "MaxClientEdit"), "200");
      Child<QDateEdit>(form.get(), "TorgDateEdit")->setDate(QDate(2026, 3, 9));
      // Clicked on the round mark, where a radio button takes clicks.
      QTest::mouseClick(Child<TRadioGroup>(form.get(), "WriteModeRadioGroup")->Item(1), Qt::LeftButton, {},
                        {6, 8});
      QTest::mouseClick(Child<TRadioGroup>(form.get(), "OborotModeRadioGroup")->Item(1), Qt::LeftButton, {},
                        {6, 8});
      Child<QCheckBox>(form.get(), "SqueeseClaineCheckBox")->setChecked(true);
      Child<QCheckBox>(form.get(), "SqueeseClientCheckBox")->setChecked(true);
      QCOMPARE(form->OutFileName(), std::string("/tmp/OUT.DBF"));
      form->resize(900, 640);
      form->close();
    }
    drs::IniFile settings(drs::SettingsFilePath());
    QCOMPARE(settings.ReadString("TMMVBForm", "MinClientEdit.Text", ""), std::string("100"));
    QCOMPARE(settings.ReadString("TMMVBForm", "TorgDateEdit.Text", ""), std::string("09.03.2026"));

    auto form = ShowForm();
    QCOMPARE(form->size(), QSize(900, 640));
    QCOMPARE(Child<drs::TFilenameEdit>(form.get(), "InFilenameEdit")->Text(),
             QStringLiteral("/tmp/report 1.txt"));
    QCOMPARE(Child<drs::TFilenameEdit>(form.get(), "OutFilenameEdit")->Text(),
             QStringLiteral("/tmp/OUT.DBF"));
    QCOMPARE(form->OutFileName(), std::string("/tmp/OUT.DBF"));
    QCOMPARE(Child<QLineEdit>(form.get(), "BrokerAccEdit")->text(), QStringLiteral("BRK77"));
    QCOMPARE(Child<QLineEdit>(form.get(), "MinClientEdit")->text(), QStringLiteral("100"));
    QCOMPARE(Child<QLineEdit>(form.get(), "MaxClientEdit")->text(), QStringLiteral("200"));
    QCOMPARE(Child<QDateEdit>(form.get(), "TorgDateEdit")->date(), QDate(2026, 3, 9));
    QCOMPARE(Child<TRadioGroup>(form.get(), "WriteModeRadioGroup")->ItemIndex(), 1);
    QCOMPARE(Child<TRadioGroup>(form.get(), "OborotModeRadioGroup")->ItemIndex(), 1);
    QVERIFY(Child<QCheckBox>(form.get(), "SqueeseClaineCheckBox")->isChecked());
    QVERIFY(Child<QCheckBox>(form.get(), "SqueeseClientCheckBox")->isChecked());
    // The grid is not stored: it waits for "Показать/обновить".
    QCOMPARE(form->GridModel()->rowCount(), 1);
    QVERIFY(!form->DealsShown());
  }

  void boundEditsTakeDigitsOnly() {
    auto form = ShowForm();
    messages_.Clear();
    auto* min = Child<QLineEdit>(form.get(), "MinClientEdit");
    QTest::keyClicks(min, "12a");
    QCOMPARE(min->text(), QStringLiteral("12"));
    QCOMPARE(messages_.Texts(), std::vector<std::string>{"Допустимы только цифры!!!"});
    QCOMPARE(messages_.Messages()[0].kind, drs::MsgKind::Error);

    // A pasted text loses its last character once per check: three messages.
    messages_.Clear();
    auto* max = Child<QLineEdit>(form.get(), "MaxClientEdit");
    max->setText("5xyz");
    QCOMPARE(max->text(), QStringLiteral("5"));
    QCOMPARE(messages_.Texts().size(), size_t(3));
    // The wrong character in the middle: the last one goes, then the wrong one.
    messages_.Clear();
    max->setText("1x2");
    QCOMPARE(max->text(), QStringLiteral("1"));
    QCOMPARE(messages_.Texts().size(), size_t(2));
    // Blanks only count as no bound.
    messages_.Clear();
    max->setText("  ");
    QVERIFY(messages_.Texts().empty());

    max->clear();
    QTest::keyClicks(max, "123456789");
    QCOMPARE(max->text(), QStringLiteral("12345678"));
  }

  void restoredBoundIsCheckedToo() {
    drs::IniFile settings(drs::SettingsFilePath());
    settings.WriteString("TMMVBForm", "MinClientEdit.Text", "1a2");
    auto form = ShowForm();
    QCOMPARE(Child<QLineEdit>(form.get(), "MinClientEdit")->text(), QStringLiteral("1"));
    // Two digit messages from the restore, then the show sequence's own.
    QCOMPARE(messages_.Texts(), (std::vector<std::string>{"Допустимы только цифры!!!",
                                                          "Допустимы только цифры!!!", kNoParamsFile}));
  }

  void exampleFormatLoadsAtShow() {
    InstallExampleSettings();
    auto form = ShowForm();
    QVERIFY2(messages_.Texts().empty(), messages_.Texts().empty() ? "" : messages_.Texts()[0].c_str());
    QCOMPARE(Panel(form.get(), "StatusBar3", 0),
             QStringLiteral("Файл настройки параметров: ") + Examples() + "/format.ini");
    QCOMPARE(Panel(form.get(), "StatusBar3", 1), QStringLiteral("Разделитель полей:   <;>"));
    QCOMPARE(Panel(form.get(), "StatusBar3", 2), QStringLiteral("Десятичн. разделит.: <.>"));
    auto* grid = Child<QTableView>(form.get(), "MMVBGrid");
    // Seven shown fields, captions and widths from the format.
    QCOMPARE(grid->model()->columnCount(), 7);
    QCOMPARE(grid->model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Счет"));
    QCOMPARE(grid->columnWidth(0), 70);
    QCOMPARE(grid->columnWidth(2), 80);
    QCOMPARE(grid->columnWidth(3), 90);
    // Before any report the one empty row equals the empty key after it.
    QCOMPARE(CellPixel(grid, 0, 0, {1, 1}), QColor(0, 255, 255));
    QVERIFY(!Child<QToolButton>(form.get(), "ExportBtn")->isEnabled());
  }

  void openShowsMarksAndColours() {
    InstallExampleSettings();
    auto form = ShowForm();
    auto* grid = Child<QTableView>(form.get(), "MMVBGrid");
    OpenExample(*form);
    QVERIFY(messages_.Texts().empty());
    QVERIFY(Child<QToolButton>(form.get(), "ExportBtn")->isEnabled());
    QVERIFY(form->DealsShown());
    QCOMPARE(grid->model()->rowCount(), 30);
    QCOMPARE(Panel(form.get(), "StatusBar2", 0), QStringLiteral("Всего 30 сделок"));
    const int marked = form->Deals().Marks().Count();
    QVERIFY(marked > 0);
    QCOMPARE(Panel(form.get(), "StatusBar2", 1), QStringLiteral("Отмеченных  сделок: %1").arg(marked));

    // Row 1 and 2: the same account, direction and order, account 150 in range.
    QCOMPARE(grid->model()->index(0, 2).data().toString(), QStringLiteral("150"));
    QVERIFY(form->Deals().IsMarked(1));
    QCOMPARE(CellPixel(grid, 0, 2, {1, 1}), QColor(0, 255, 255));
    QVERIFY(CellHasColor(grid, 0, 2, QColor(255, 0, 0)));
    // Row 3: account 99, below the range and unlike its neighbours.
    QCOMPARE(grid->model()->index(2, 2).data().toString(), QStringLiteral("99"));
    QVERIFY(!form->Deals().IsMarked(3));
    QVERIFY(CellPixel(grid, 2, 2, {1, 1}) != QColor(0, 255, 255));
    QVERIFY(!CellHasColor(grid, 2, 2, QColor(255, 0, 0)));
    // Row 6: the exchange code ZX1 became 175 through the substitution list.
    QCOMPARE(grid->model()->index(5, 2).data().toString(), QStringLiteral("175"));
    QVERIFY(CellHasColor(grid, 5, 2, QColor(255, 0, 0)));
    // Row 17 is marked but its key differs from both neighbours: red on white.
    QVERIFY(form->Deals().IsMarked(17));
    QVERIFY(!form->Deals().IsRelated(17));
    QVERIFY(CellHasColor(grid, 16, 2, QColor(255, 0, 0)));
    QVERIFY(!CellHasColor(grid, 16, 2, QColor(0, 255, 255)));
  }

  void doubleClickTogglesMark() {
    InstallExampleSettings();
    auto form = ShowForm();
    auto* grid = Child<QTableView>(form.get(), "MMVBGrid");
    OpenExample(*form);
    const int marked = form->Deals().Marks().Count();
    auto doubleClick = [&](int row) {
      QModelIndex index = grid->model()->index(row, 1);
      grid->scrollTo(index);
      QPoint at = grid->visualRect(index).center();
      QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
      QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
    };
    doubleClick(0);
    QVERIFY(!form->Deals().IsMarked(1));
    QCOMPARE(Panel(form.get(), "StatusBar2", 1), QStringLiteral("Отмеченных  сделок: %1").arg(marked - 1));
    const auto& unmarked = form->Deals().UnmarkedAccounts();
    QVERIFY(std::find(unmarked.begin(), unmarked.end(), "150") != unmarked.end());
    QVERIFY(!CellHasColor(grid, 0, 2, QColor(255, 0, 0)));
    doubleClick(0);
    QVERIFY(form->Deals().IsMarked(1));
    QCOMPARE(Panel(form.get(), "StatusBar2", 1), QStringLiteral("Отмеченных  сделок: %1").arg(marked));
    QVERIFY(CellHasColor(grid, 0, 2, QColor(255, 0, 0)));
  }

  void unmarkedViewAndBack() {
    InstallExampleSettings();
    auto form = ShowForm();
    auto* grid = Child<QTableView>(form.get(), "MMVBGrid");
    auto* exportBtn = Child<QToolButton>(form.get(), "ExportBtn");
    OpenExample(*form);
    const int marked = form->Deals().Marks().Count();
    QTest::mouseClick(Child<QToolButton>(form.get(), "NotSelBtn"), Qt::LeftButton);
    QVERIFY(messages_.Texts().empty());
    QCOMPARE(grid->model()->rowCount(), 30 - marked);
    QCOMPARE(Panel(form.get(), "StatusBar2", 0), QStringLiteral("Всего %1 сделок").arg(30 - marked));
    QCOMPARE(Panel(form.get(), "StatusBar2", 1), QStringLiteral("Не отмеченныее сделки"));
    QVERIFY(!exportBtn->isEnabled());
    // No hand marks in this view.
    grid->setCurrentIndex(grid->model()->index(0, 0));
    form->MMVBGridDblClick();
    QCOMPARE(Panel(form.get(), "StatusBar2", 1), QStringLiteral("Не отмеченныее сделки"));

    OpenExample(*form);
    QCOMPARE(grid->model()->rowCount(), 30);
    QVERIFY(exportBtn->isEnabled());
  }

  void unmarkedViewWithoutMarksChangesNothing() {
    InstallExampleSettings();
    drs::IniFile settings(drs::SettingsFilePath());
    settings.WriteString("TMMVBForm", "MinClientEdit.Text", "");
    settings.WriteString("TMMVBForm", "MaxClientEdit.Text", "");
    auto form = ShowForm();
    OpenExample(*form);
    QCOMPARE(form->Deals().Marks().Count(), 0);
    messages_.Clear();
    QTest::mouseClick(Child<QToolButton>(form.get(), "NotSelBtn"), Qt::LeftButton);
    QCOMPARE(messages_.Texts(), std::vector<std::string>{"Нет отмеченных сделок"});
    QCOMPARE(form->GridModel()->rowCount(), 30);
    QVERIFY(Child<QToolButton>(form.get(), "ExportBtn")->isEnabled());
  }

  void missingReportStillEnablesExport() {
    InstallExampleSettings();
    drs::IniFile settings(drs::SettingsFilePath());
    settings.WriteString("TMMVBForm", "InFilenameEdit.Text", "\"/nonexistent/deals.txt\"");
    auto form = ShowForm();
    OpenExample(*form);
    QCOMPARE(messages_.Texts(), std::vector<std::string>{"Файл /nonexistent/deals.txt  не найден."});
    QCOMPARE(messages_.Messages()[0].kind, drs::MsgKind::Information);
    QVERIFY(Child<QToolButton>(form.get(), "ExportBtn")->isEnabled());
  }

  void journalButtonListsUnmarkedAccounts() {
    InstallExampleSettings();
    drs::TJrnlForm journal;
    auto form = std::make_unique<TMMVBForm>();
    form->SetJournalForm(&journal);
    form->show();
    drs::TJournal* lines = journal.Journal1();
    // In the state folder, never beside the program.
    QCOMPARE(lines->FileName(), config_.filePath("state/drsprep/test_mainwindow.jrn").toStdString());
    QCOMPARE(lines->MaxLines(), 3000);
    auto* journalBtn = Child<QToolButton>(form.get(), "JournalBtn");

    OpenExample(*form);
    QTest::mouseClick(journalBtn, Qt::LeftButton);
    QVERIFY(messages_.Texts().empty());
    QVERIFY(journal.isVisible());
    QVERIFY(lines->Active());
    const std::vector<std::string> expected = form->Deals().UnmarkedJournalLines();
    QVERIFY(expected.size() > 4);
    QCOMPARE(expected.front(), std::string("Список неотмеченных счетов"));
    // The file's earlier lines come first; ours are the last ones.
    std::vector<std::string> shown(lines->Lines().begin(), lines->Lines().end());
    QVERIFY(shown.size() >= expected.size());
    QCOMPARE(std::vector<std::string>(shown.end() - expected.size(), shown.end()), expected);

    QTest::mouseClick(journalBtn, Qt::LeftButton);
    QVERIFY(!journal.isVisible());
    lines->SetActive(false);

    // Without bounds nothing is listed.
    Child<QLineEdit>(form.get(), "MinClientEdit")->clear();
    Child<QLineEdit>(form.get(), "MaxClientEdit")->clear();
    OpenExample(*form);
    QTest::mouseClick(journalBtn, Qt::LeftButton);
    QCOMPARE(messages_.Texts(), std::vector<std::string>{"Нет неотмеченных сделок"});
    QVERIFY(!journal.isVisible());
    form.reset();
  }

  void editorsOpenOneAtATime() {
    auto form = ShowForm();
    int seen = -1;
    drs::test::WhenModal([&](QWidget* modal) {
      seen = static_cast<int>(form->findChildren<drs::TSetParamsForm*>().size());
      QVERIFY(qobject_cast<drs::TSetParamsForm*>(modal));
      modal->close();
    });
    QTest::mouseClick(Child<QToolButton>(form.get(), "SetParamsBtn"), Qt::LeftButton);
    QCOMPARE(seen, 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(form->findChildren<drs::TSetParamsForm*>().isEmpty());

    auto* replaceBtn = Child<QToolButton>(form.get(), "ReplaceListBtn");
    QTest::mouseClick(replaceBtn, Qt::LeftButton);
    QTest::mouseClick(replaceBtn, Qt::LeftButton);
    QList<drs::TReplaceForm*> editors = form->findChildren<drs::TReplaceForm*>();
    QCOMPARE(editors.size(), 1);
    QVERIFY(editors[0]->isVisible());
    editors[0]->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(form->findChildren<drs::TReplaceForm*>().isEmpty());
    QTest::mouseClick(replaceBtn, Qt::LeftButton);
    QCOMPARE(form->findChildren<drs::TReplaceForm*>().size(), 1);
  }

  void editorLinkStoresFormatAndReloads() {
    auto form = ShowForm();
    messages_.Clear();
    const std::string format = Examples().toStdString() + "/format.ini";
    form->SetParamsFileName(format);
    QCOMPARE(form->ParamsFileName(), format);
    QCOMPARE(drs::IniFile(drs::SettingsFilePath()).ReadString("ParamsFileName", "ParamsFileName", ""),
             format);
    QCOMPARE(Panel(form.get(), "StatusBar3", 0),
             QString::fromStdString("Файл настройки параметров: " + format));
    QCOMPARE(Panel(form.get(), "StatusBar3", 1), QStringLiteral("Разделитель полей:   <;>"));
    QCOMPARE(form->GridModel()->columnCount(), 7);
    QVERIFY(messages_.Texts().empty());

    // A new substitution list, then the reload the editor asks for.
    Child<drs::TFilenameEdit>(form.get(), "InFilenameEdit")->SetText(Examples() + "/deals.txt");
    Child<QLineEdit>(form.get(), "MinClientEdit")->setText("100");
    Child<QLineEdit>(form.get(), "MaxClientEdit")->setText("200");
    form->ReparseReplaceList({"$QQ7=150;", "", "bad line"});
    QCOMPARE(messages_.Texts(),
             std::vector<std::string>{"Ошибка формата  в строке 3. файла подстановок. Начальный "
                                      "символ строки должен быть \"$\" или \"@\""});
    form->OpenBtnClick();
    QCOMPARE(form->GridModel()->index(7, 2).data().toString(), QStringLiteral("150"));
    QVERIFY(form->Deals().IsMarked(8));
    // ZX1 is no longer substituted: the earlier list is gone.
    QCOMPARE(form->GridModel()->index(5, 2).data().toString(), QStringLiteral("ZX1"));
    QVERIFY(form->DealsShown());
  }

  void exportAndTurnoversFromTheWindow() {
    InstallExampleSettings();
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(out_.path()));
    QFile::remove(out_.path() + "/DEALS.DBF");
    auto form = ShowForm();
    OpenExample(*form);
    // "Готово" as soon as the progress window offers it.
    int progressWindows = 0;
    QTimer closer;
    connect(&closer, &QTimer::timeout, [&] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* progress = qobject_cast<drs::TProgressForm*>(w);
        if (progress && progress->isVisible() && progress->IsDone()) {
          ++progressWindows;
          progress->close();
        }
      }
    });
    closer.start(20);
    messages_.Clear();
    QTest::mouseClick(Child<QToolButton>(form.get(), "ExportBtn"), Qt::LeftButton);
    closer.stop();
    // One question: create the missing table; answered "Да".
    QCOMPARE(messages_.Messages().size(), size_t(1));
    QCOMPARE(messages_.Messages()[0].kind, drs::MsgKind::Question);
    QCOMPARE(progressWindows, 1);
    QVERIFY(QFile::exists(out_.path() + "/DEALS.DBF"));
    drs::OutputView* view = form->OutputTableView();
    const qint64 records = view->RecordCount();
    QVERIFY(records > 0);
    QVERIFY(records <= form->Deals().Marks().Count());
    QCOMPARE(Panel(form.get(), "StatusBar1", 0), QString::number(records));
    QCOMPARE(view->RxDBGrid1()->model()->rowCount(), int(records));
    QVERIFY(form->isEnabled());

    QTest::mouseClick(Child<QToolButton>(form.get(), "NewOborotBtn"), Qt::LeftButton);
    QVERIFY(QFile::exists(out_.path() + "/ShOb.DBF"));
    auto* turnovers = Child<drs::TDBGrid>(form.get(), "ObDBGrid");
    QCOMPARE(turnovers->model()->headerData(0, Qt::Horizontal).toString(),
             QStringLiteral("Наименование ЦБ "));
    const int securities = turnovers->model()->rowCount();
    QVERIFY(securities > 0);
    QCOMPARE(Panel(form.get(), "StatusBar1", 1), QString::number(securities));

    // Refresh after the operator emptied the panel: the count comes back.
    Child<TStatusBar>(form.get(), "StatusBar1")->SetPanelText(0, {});
    QTest::mouseClick(view->NewDealBtn(), Qt::LeftButton);
    QCOMPARE(Panel(form.get(), "StatusBar1", 0), QString::number(records));
    form.reset();
    QDir::setCurrent(previous);
  }

  void cleanupTestCase() { scoped_.reset(); }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
