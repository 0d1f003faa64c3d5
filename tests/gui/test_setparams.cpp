// The format editor window driven as the operator drives it.
#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <functional>
#include <memory>

#include <QFileDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include "deals/DealList.h"
#include "format/FormatFile.h"
#include "format/ui/MainWindowLink.h"
#include "format/ui/StringGridView.h"
#include "format/ui/TEditCombo.h"
#include "format/ui/TLotEdit.h"
#include "format/ui/TSetParamsForm.h"
#include "profile/IniFile.h"
#include "profile/ListSection.h"
#include "support/AppPaths.h"
#include "support/DialogHelpers.h"
#include "support/ui/TFilenameEdit.h"
#include "support/ui/TJournal.h"
#include "support/ui/TJrnlForm.h"

using namespace drs;
using Strings = std::vector<std::string>;

namespace {

const Strings kExample = {
    "Номер сделки;1;Да;1;70;Номер сделки;6;;",
    "Номер заявки;2;Да;2;70;Номер заявки;5;;",
    "Счет;5;Да;3;80;Идентификатор счета;0;;",
    "Код ЦБ;6;Да;4;90;Код ЦБ;1;;",
    "Операция;7;Да;5;40;Код операции (Покупка / продажа);4;;",
    "Цена;8;Да;6;70;Цена сделки;3;;",
    "Количество;9;Да;7;60;Количество ЦБ (Лоты);2;;",
    "Время;3;Нет;8;60;;;;",
};

// The main window as the editor sees it; the load is the real one.
class FakeLink : public MainWindowLink {
 public:
  std::string paramsFileName;
  std::vector<std::string> calls;
  DealList deals;

  std::string ParamsFileName() const override { return paramsFileName; }
  void SetParamsFileName(const std::string& name) override {
    calls.push_back("SetParamsFileName " + name);
    paramsFileName = name;
    deals.LoadFormat(name);
  }
  bool DealsShown() const override { return false; }
  void ReparseReplaceList(const std::vector<std::string>&) override { calls.push_back("Reparse"); }
  void OpenBtnClick() override { calls.push_back("OpenBtnClick"); }
  // A real journal window when a test gives one.
  TJrnlForm* journal = nullptr;
  void ShowJournal() override {
    calls.push_back("ShowJournal");
    if (journal) journal->show();
  }
  void JournalClear() override { calls.push_back("JournalClear"); }
  void JournalSetActive(bool active) override { calls.push_back(active ? "Active" : "Inactive"); }
  void JournalAddLine(const std::string& line) override {
    calls.push_back(line);
    if (journal) journal->Journal1()->AddLine(line);
  }
};

struct State {
  bool open, edit, saveUndo, delAdd, header;
  int fixed;
  bool editMode;
};

}  // namespace

class TestSetParams : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir config_;
  std::unique_ptr<test::ScriptedMessageHandler> messages_;
  std::unique_ptr<ScopedMessageHandler> scope_;
  FakeLink link_;
  TSetParamsForm* form_ = nullptr;

  std::string FormatFile() const { return config_.filePath("fmt.ini").toStdString(); }
  void WriteExample(const Strings& items = kExample) {
    FormatParams p;
    p.fieldSep = 0;
    p.decSep = 1;
    p.format = 0;
    p.lot = 100;
    p.items = items;
    WriteFormatParams(FormatFile(), p);
  }
  QToolButton* Btn(const char* name) const { return form_->findChild<QToolButton*>(name); }
  TEditCombo* Combo(const char* name) const { return form_->findChild<TEditCombo*>(name); }
  TLotEdit* Lot() const { return form_->findChild<TLotEdit*>("CE_Lot"); }
  TFilenameEdit* FileEdit() const { return form_->findChild<TFilenameEdit*>("FN_Editor"); }
  StringGridView* View() const { return form_->GridView(); }
  std::string Cell(int col, int row) const { return form_->Grid().Cell(col, row); }
  Strings DataColumn(int col) const {
    Strings cells;
    for (int r = 1; r < form_->Grid().RowCount(); ++r) cells.push_back(Cell(col, r));
    return cells;
  }
  bool Aqua() const {
    QVariant bg = View()->model()->data(View()->model()->index(0, 1), Qt::BackgroundRole);
    return bg.value<QColor>() == QColor(0, 255, 255);
  }

  void Open(const std::string& fileName) {
    link_.paramsFileName = fileName;
    form_ = new TSetParamsForm(link_);
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_));
  }

  void CheckState(const State& s, int line) {
    const QByteArray where = QByteArray("state checked at line ") + QByteArray::number(line);
    QVERIFY2(Btn("OpenFormatBtn")->isEnabled() == s.open, where);
    QVERIFY2(Btn("EditFormatBtn")->isEnabled() == s.edit, where);
    QVERIFY2(Btn("SaveBtn")->isEnabled() == s.saveUndo, where);
    QVERIFY2(Btn("UndoBtn")->isEnabled() == s.saveUndo, where);
    QVERIFY2(Btn("DelRowBtn")->isEnabled() == s.delAdd, where);
    QVERIFY2(Btn("AddStrBtn")->isEnabled() == s.delAdd, where);
    for (QWidget* w :
         std::initializer_list<QWidget*>{Combo("CB_FieldSep"), Combo("CB_DecSep"), Combo("CB_Format"), Lot()})
      QVERIFY2(w->isEnabled() == s.header, where);
    QVERIFY2(View()->GridModel()->FixedCols() == s.fixed, where);
    QVERIFY2(form_->EditMode() == s.editMode, where);
  }

  // Key presses carrying the characters (Cyrillic included).
  static void TypeText(QWidget* target, const QString& text) {
    for (QChar ch : text) {
      QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
      QApplication::sendEvent(target, &press);
      QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
      QApplication::sendEvent(target, &release);
    }
  }

  // Types into a cell through the in-place editor.
  void TypeInto(int col, int row, const QString& text) {
    View()->setFocus();
    View()->setCurrentIndex(View()->model()->index(row - 1, col));
    View()->edit(View()->currentIndex());
    auto* editor = View()->viewport()->findChild<QLineEdit*>();
    QVERIFY(editor);
    QVERIFY(editor->isVisible());
    editor->selectAll();
    TypeText(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();  // the editor commits from a queued call
  }

  void Mouse(QEvent::Type type, const QPoint& pos, Qt::MouseButtons buttons) {
    QMouseEvent ev(type, pos, View()->viewport()->mapToGlobal(pos),
                   type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(View()->viewport(), &ev);
  }
  QPoint RowPoint(int row) const { return View()->visualRect(View()->model()->index(row - 1, 1)).center(); }

  void Drag(int from, int to) {
    Mouse(QEvent::MouseButtonPress, RowPoint(from), Qt::LeftButton);
    QPoint step = RowPoint(from) + QPoint(0, QApplication::startDragDistance() + 1);
    Mouse(QEvent::MouseMove, step, Qt::LeftButton);
    Mouse(QEvent::MouseMove, RowPoint(to), Qt::LeftButton);
    QVERIFY(View()->Dragging());
    QCOMPARE(View()->DropMarks(), std::vector<int>{to});
    QCOMPARE(form_->Grid().tag, to + 1);
    Mouse(QEvent::MouseButtonRelease, RowPoint(to), Qt::NoButton);
  }

 private slots:
  void initTestCase() { qputenv("XDG_CONFIG_HOME", config_.path().toUtf8()); }

  void init() {
    messages_ = std::make_unique<test::ScriptedMessageHandler>();
    scope_ = std::make_unique<ScopedMessageHandler>(messages_.get());
    link_ = FakeLink();
    std::remove(SettingsFilePath().c_str());
    std::remove(FormatFile().c_str());
  }

  void cleanup() {
    if (form_) form_->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    form_ = nullptr;
    scope_.reset();
  }

  void showWithBlankNameKeepsDesignedState() {
    Open("");
    QCOMPARE(messages_->Texts(), Strings{"Задайте имя файла параметров формата"});
    QCOMPARE(messages_->Messages()[0].kind, MsgKind::Error);
    QCOMPARE(form_->windowTitle(), QString("Настройка форматов  входных файлов и их отображения"));
    CheckState({true, true, true, true, true, 1, false}, __LINE__);
    QCOMPARE(form_->Grid().RowCount(), 2);
    QCOMPARE(Cell(3, 0), std::string("Номер  в сетке"));
    QCOMPARE(View()->columnWidth(0), 200);
    QCOMPARE(View()->columnWidth(5), 200);
    QCOMPARE(View()->columnWidth(6), 2);
    // The other titles are read whole: their columns grow where needed.
    for (int c = 1; c <= 4; ++c) {
      const QString title = View()->model()->headerData(c, Qt::Horizontal).toString();
      QVERIFY2(View()->columnWidth(c) >= (c == 2 ? 50 : 80), qPrintable(title));
      QVERIFY2(
          View()->horizontalHeader()->fontMetrics().horizontalAdvance(title) + 4 <= View()->columnWidth(c),
          qPrintable(title));
    }
    // Outside edit mode the menus change nothing.
    View()->setCurrentIndex(View()->model()->index(0, 2));
    form_->ChooseView(true);
    QCOMPARE(Cell(2, 1), std::string());
  }

  void showWithNamedFileReadsIt() {
    WriteExample();
    Open(FormatFile());
    QVERIFY(messages_->Texts().empty());
    CheckState({true, true, false, false, false, 1, false}, __LINE__);
    QCOMPARE(FileEdit()->Text().toStdString(), FormatFile());
    QCOMPARE(form_->Grid().RowCount(), 9);
    QCOMPARE(Cell(0, 3), std::string("Счет"));
    QCOMPARE(Cell(5, 5), std::string("Код операции (Покупка / продажа)"));
    QCOMPARE(Combo("CB_DecSep")->currentIndex(), 1);
    QCOMPARE(Lot()->value(), 100.0);
    QVERIFY(!Aqua());
    // Column 0 is a title column in view mode: the current cell avoids it.
    View()->setCurrentIndex(View()->model()->index(2, 0));
    QCOMPARE(form_->Grid().Col(), 1);
  }

  void editTypingAddDelete() {
    WriteExample();
    Open(FormatFile());
    Btn("EditFormatBtn")->click();
    CheckState({false, false, true, true, true, 0, true}, __LINE__);
    QVERIFY(!Aqua());

    TypeInto(4, 2, "75");
    QCOMPARE(Cell(4, 2), std::string("75"));
    QVERIFY(Aqua());
    QVERIFY(form_->Modified());

    // Typing is refused in the menu columns.
    View()->setCurrentIndex(View()->model()->index(0, 2));
    QVERIFY(!View()->TypingAllowed());
    form_->ChooseView(false);
    QCOMPARE(Cell(2, 1), std::string("Нет"));
    View()->setCurrentIndex(View()->model()->index(7, 5));
    form_->ChooseRole(6);  // "Номер заявки"
    QCOMPARE(Cell(5, 8), std::string("Номер заявки"));
    QCOMPARE(Cell(6, 8), std::string("5"));
    form_->ChooseRole(0);
    QCOMPARE(Cell(5, 8), std::string());
    QCOMPARE(Cell(6, 8), std::string());

    // Add on the last row appends; on the first row inserts above it.
    View()->setCurrentIndex(View()->model()->index(7, 1));
    Btn("AddStrBtn")->click();
    QCOMPARE(form_->Grid().RowCount(), 10);
    QCOMPARE(Cell(0, 9), std::string());
    QCOMPARE(Cell(0, 8), std::string("Время"));
    View()->setCurrentIndex(View()->model()->index(0, 1));
    Btn("AddStrBtn")->click();
    QCOMPARE(Cell(0, 1), std::string());
    QCOMPARE(Cell(0, 2), std::string("Номер сделки"));
    QCOMPARE(form_->Grid().CurrentRow(), 1);

    Btn("DelRowBtn")->click();
    QCOMPARE(Cell(0, 1), std::string("Номер сделки"));
    QCOMPARE(form_->Grid().RowCount(), 10);
    CheckState({false, false, true, true, true, 0, true}, __LINE__);
  }

  void rightClickActsOnTheCellUnderTheMouse() {
    WriteExample();
    Open(FormatFile());
    Btn("EditFormatBtn")->click();
    View()->setCurrentIndex(View()->model()->index(0, 2));  // "Показать" of row 1
    const QPoint cell = View()->visualRect(View()->model()->index(7, 5)).center();  // role of row 8
    QTest::mousePress(View()->viewport(), Qt::RightButton, Qt::NoModifier, cell);
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, cell, View()->viewport()->mapToGlobal(cell));
    QApplication::sendEvent(View()->viewport(), &menuEvent);
    QTRY_VERIFY(form_->RoleMenu()->isVisible());
    QVERIFY(!form_->ViewMenu()->isVisible());
    form_->RoleMenu()->actions().at(5)->trigger();  // "Цена сделки"
    form_->RoleMenu()->close();
    QCOMPARE(Cell(5, 8), std::string("Цена сделки"));
    QCOMPARE(Cell(6, 8), std::string("3"));
    QCOMPARE(Cell(2, 1), std::string("Да"));
  }

  void deleteOnTheOnlyRowEmptiesIt() {
    WriteExample({"Счет;5;Да;1;80;Идентификатор счета;0;;"});
    Open(FormatFile());
    Btn("EditFormatBtn")->click();
    Btn("DelRowBtn")->click();
    QCOMPARE(form_->Grid().RowCount(), 2);
    QCOMPARE(form_->Grid().RowCells(1), StringGrid::Row(7));
    QVERIFY(Aqua());
  }

  void saveValidWritesAndLoadsAtOnce() {
    WriteExample();
    Open(FormatFile());
    Btn("EditFormatBtn")->click();
    TypeInto(0, 8, "Время сделки");
    Combo("CB_FieldSep")->setCurrentIndex(2);
    Lot()->setFocus();
    Lot()->selectAll();
    QTest::keyClicks(Lot(), "2.5");
    QCOMPARE(Lot()->value(), 2.5);
    Btn("SaveBtn")->click();

    QCOMPARE(messages_->Texts(),
             (Strings{"Подтвердите сохранение формата в файле " + FormatFile(), "Формат сохранен"}));
    CheckState({true, true, false, false, false, 1, false}, __LINE__);
    QVERIFY(!Aqua());
    const FormatParams saved = ReadFormatParams(FormatFile());
    QCOMPARE(saved.items[7], std::string("Время сделки;3;Нет;8;60;;;;"));
    QCOMPARE(saved.fieldSep, 2);
    QCOMPARE(saved.lot, 2);
    QCOMPARE(link_.calls, Strings{"SetParamsFileName " + FormatFile()});
    QVERIFY(link_.deals.Format().formatValid);
    QCOMPARE(link_.deals.Format().fieldSepChar, ',');
  }

  void saveInvalidListsErrorsInTheJournal() {
    WriteExample();
    Open(FormatFile());
    const std::string before = ReadFormatParams(FormatFile()).items[1];
    Btn("EditFormatBtn")->click();
    TypeInto(4, 2, "8о");
    messages_->Answer(kAnswerYes);  // confirm
    messages_->Answer(kAnswerYes);  // show the list
    Btn("SaveBtn")->click();
    QCOMPARE(messages_->Texts()[1],
             std::string("Не могу сохранить. Описание содержит ошибки. Показать список в журнале?"));
    const Strings expected = {"ShowJournal",
                              "JournalClear",
                              "Active",
                              "Список ошибок описания формата",
                              std::string(27, '-'),
                              "Контроль формата",
                              std::string(81, '-'),
                              "Строка 3Колонка \"Ширина в сетке\"  значение \"8о\" не число!",
                              std::string(81, '-'),
                              std::string(27, '-')};
    QCOMPARE(link_.calls, expected);
    CheckState({false, false, true, true, true, 0, true}, __LINE__);
    QVERIFY(Aqua());
    QCOMPARE(ReadFormatParams(FormatFile()).items[1], before);

    // Answering "Нет" to the list question shows nothing.
    link_.calls.clear();
    messages_->Answer(kAnswerYes);
    messages_->Answer(kAnswerNo);
    Btn("SaveBtn")->click();
    QVERIFY(link_.calls.empty());
  }

  void saveRefusedChangesNothing() {
    WriteExample();
    Open(FormatFile());
    Btn("EditFormatBtn")->click();
    TypeInto(0, 1, "Другое");
    messages_->Answer(kAnswerNo);
    Btn("SaveBtn")->click();
    QCOMPARE(messages_->Texts().size(), size_t(1));
    CheckState({false, false, true, true, true, 0, true}, __LINE__);
    QCOMPARE(ReadFormatParams(FormatFile()).items, kExample);
    QVERIFY(link_.calls.empty());
  }

  void saveWithBlankNameAndFailedWrite() {
    WriteExample();
    Open(FormatFile());
    Btn("EditFormatBtn")->click();
    FileEdit()->SetText("   ");
    Btn("SaveBtn")->click();
    QCOMPARE(messages_->Texts(), Strings{"Задайте имя файла параметров формата"});
    CheckState({true, false, true, true, true, 0, true}, __LINE__);

    // A folder that does not exist: the error is shown, nothing told to the main window.
    messages_->Clear();
    const std::string bad = config_.filePath("no/such/dir/fmt.ini").toStdString();
    FileEdit()->SetText(QString::fromStdString(bad));
    Btn("SaveBtn")->click();
    QCOMPARE(messages_->Texts().size(), size_t(2));
    QVERIFY(messages_->Texts()[1].find("Unable to write to") != std::string::npos);
    QCOMPARE(messages_->Messages()[1].kind, MsgKind::Error);
    QVERIFY(link_.calls.empty());
    QVERIFY(!Btn("SaveBtn")->isEnabled());
    QVERIFY(!Btn("DelRowBtn")->isEnabled());
    QVERIFY(Btn("EditFormatBtn")->isEnabled());
  }

  void typedKindIsSavedAsMinusOne() {
    WriteExample({"Счет;5;Да;1;80;Идентификатор счета;0;;", "Код;6;Да;2;90;Код ЦБ;1;;",
                  "Кол;9;Да;3;60;Количество ЦБ (Лоты);2;;", "Цена;8;Да;4;70;Цена сделки;3;;",
                  "Оп;7;Да;5;40;Код операции (Покупка / продажа);4;;"});
    Open(FormatFile());
    Btn("EditFormatBtn")->click();
    Combo("CB_Format")->lineEdit()->selectAll();
    TypeText(Combo("CB_Format")->lineEdit(), "Свой");
    QCOMPARE(Combo("CB_Format")->currentIndex(), -1);
    QCOMPARE(Combo("CB_Format")->currentText(), QString("Свой"));
    Btn("SaveBtn")->click();
    QCOMPARE(messages_->Texts().back(), std::string("Формат сохранен"));
    QCOMPARE(ReadFormatParams(FormatFile()).format, -1);
  }

  void undoRestoresTheFile() {
    WriteExample();
    Open(FormatFile());
    Btn("EditFormatBtn")->click();
    TypeInto(0, 1, "Изменено");
    Btn("AddStrBtn")->click();
    Btn("UndoBtn")->click();
    CheckState({true, true, false, false, false, 1, false}, __LINE__);
    QCOMPARE(form_->Grid().RowCount(), 9);
    QCOMPARE(Cell(0, 1), std::string("Номер сделки"));
    QVERIFY(!Aqua());
  }

  void rowDraggedTwoToFiveAndBack() {
    WriteExample();
    Open(FormatFile());
    const Strings original = DataColumn(0);
    View()->setFocus();
    Mouse(QEvent::MouseButtonPress, RowPoint(2), Qt::LeftButton);  // the first press only takes the focus
    Mouse(QEvent::MouseButtonRelease, RowPoint(2), Qt::NoButton);
    QCOMPARE(form_->Grid().CurrentRow(), 2);

    Drag(2, 5);
    QCOMPARE(DataColumn(0), (Strings{original[0], original[2], original[3], original[4], original[1],
                                     original[5], original[6], original[7]}));
    QCOMPARE(form_->Grid().CurrentRow(), 5);
    QVERIFY(View()->DropMarks().empty());
    QCOMPARE(form_->Grid().tag, 0);
    QVERIFY(!form_->Modified());  // row moves set no modified marks

    Drag(5, 2);
    QCOMPARE(DataColumn(0), original);
    QVERIFY(View()->DropMarks().empty());
  }

  void dragOverTitleOrOwnRowKeepsTheMark() {
    WriteExample();
    Open(FormatFile());
    View()->setFocus();
    Mouse(QEvent::MouseButtonPress, RowPoint(3), Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, RowPoint(3), Qt::NoButton);
    Mouse(QEvent::MouseButtonPress, RowPoint(3), Qt::LeftButton);
    Mouse(QEvent::MouseMove, RowPoint(3) + QPoint(0, QApplication::startDragDistance() + 1), Qt::LeftButton);
    Mouse(QEvent::MouseMove, RowPoint(6), Qt::LeftButton);
    QCOMPARE(View()->DropMarks(), std::vector<int>{6});
    Mouse(QEvent::MouseMove, RowPoint(3), Qt::LeftButton);  // its own row
    QCOMPARE(View()->DropMarks(), std::vector<int>{6});
    const QPoint title(RowPoint(1).x(), -View()->horizontalHeader()->height() / 2);
    Mouse(QEvent::MouseMove, title, Qt::LeftButton);
    QCOMPARE(View()->HitRow(title), 0);
    QCOMPARE(View()->DropMarks(), std::vector<int>{6});
    // Dropped on the title row: refused, nothing moves, no mark remains.
    const Strings before = DataColumn(0);
    Mouse(QEvent::MouseButtonRelease, title, Qt::NoButton);
    QCOMPARE(DataColumn(0), before);
    QVERIFY(View()->DropMarks().empty());
  }

  void ctrlUpDownMoveTheRow() {
    WriteExample();
    Open(FormatFile());
    const Strings original = DataColumn(0);
    View()->setFocus();
    View()->setCurrentIndex(View()->model()->index(0, 3));
    QTest::keyClick(View(), Qt::Key_Up, Qt::ControlModifier);  // first row: nothing
    QCOMPARE(DataColumn(0), original);
    QTest::keyClick(View(), Qt::Key_Down, Qt::ControlModifier);
    QCOMPARE(Cell(0, 2), original[0]);
    QCOMPARE(Cell(0, 1), original[1]);
    QCOMPARE(form_->Grid().CurrentRow(), 2);
    QCOMPARE(form_->Grid().Col(), 3);
    View()->setCurrentIndex(View()->model()->index(7, 1));
    QTest::keyClick(View(), Qt::Key_Down, Qt::ControlModifier);  // last row: nothing
    QCOMPARE(Cell(0, 8), original[7]);
  }

  // The journal that Save opens takes the mouse while the editor, modal to
  // the main window, is open, and shows its lines whole.
  void journalUsableOverTheModalEditor() {
    WriteExample();
    QWidget main;
    main.resize(300, 200);
    main.show();
    TJrnlForm journal;
    link_.journal = &journal;
    link_.paramsFileName = FormatFile();
    form_ = new TSetParamsForm(link_, &main);
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_));
    Btn("EditFormatBtn")->click();
    TypeInto(4, 2, "8о");
    messages_->Answer(kAnswerYes);
    messages_->Answer(kAnswerYes);
    Btn("SaveBtn")->click();
    QVERIFY(QTest::qWaitForWindowExposed(&journal));
    QTRY_COMPARE(journal.Journal1()->horizontalScrollBar()->maximum(), 0);
    QVERIFY(journal.width() > TJrnlForm::kDesignWidth);
    // A click that goes through the window system, as the operator's does.
    auto* close = journal.findChild<QPushButton*>("CloseBtn");
    QTest::mouseClick(journal.windowHandle(), Qt::LeftButton, {},
                      close->mapTo(&journal, close->rect().center()));
    QTRY_VERIFY(!journal.isVisible());
    QVERIFY(form_->isVisible());
    form_->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    form_ = nullptr;
  }

  // Keys in the editor: Esc closes it only when nothing would be lost, and a
  // typed character never moves the current row.
  void keysNeverLoseWork() {
    struct Case {
      const char* name;
      std::function<void()> act;
      bool stays;
    };
    const std::vector<Case> cases = {
        {"nothing changed", [] {}, false},
        {"edit mode", [this] { Btn("EditFormatBtn")->click(); }, true},
        {"typed cell",
         [this] {
           Btn("EditFormatBtn")->click();
           TypeInto(0, 2, "X");
         },
         true},
        {"row moved in view mode",
         [this] {
           View()->setFocus();
           QTest::keyClick(View(), Qt::Key_Down, Qt::ControlModifier);
         },
         true},
        {"changes undone",
         [this] {
           Btn("EditFormatBtn")->click();
           TypeInto(0, 2, "X");
           Btn("UndoBtn")->click();
         },
         false},
    };
    for (const Case& c : cases) {
      WriteExample();
      Open(FormatFile());
      QVERIFY(QTest::qWaitForWindowActive(form_));
      c.act();
      QPointer<TSetParamsForm> alive = form_;
      form_ = nullptr;
      QTest::keyClick(alive->windowHandle(), Qt::Key_Escape);
      QCoreApplication::processEvents();
      const bool stays = alive && alive->isVisible();
      if (alive) alive->close();
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
      QVERIFY2(stays == c.stays, c.name);
    }

    // "9" starts only row 7's file number: the row stays where it was.
    WriteExample();
    Open(FormatFile());
    View()->setFocus();
    View()->setCurrentIndex(View()->model()->index(0, 1));
    QTest::keyClick(View(), Qt::Key_9);
    QCOMPARE(form_->Grid().CurrentRow(), 1);
    QCOMPARE(View()->currentIndex().row(), 0);
  }

  // The browse button names a file that does not exist yet.
  void browseNamesANewFile() {
    Open("");
    const QString fresh = QString::fromStdString(config_.filePath("new.ini").toStdString());
    bool anyFile = false;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      QVERIFY(dialog);
      anyFile = dialog->fileMode() == QFileDialog::AnyFile;
      dialog->selectFile(fresh);
      QMetaObject::invokeMethod(dialog, "accept");
    });
    FileEdit()->Browse();
    QVERIFY(anyFile);
    QCOMPARE(FileEdit()->Text(), fresh);
  }

  void storedSettingsComeBackWithBlankName() {
    Open("");
    Combo("CB_DecSep")->setCurrentIndex(2);
    Combo("CB_FieldSep")->setCurrentIndex(3);
    Lot()->setValue(7);
    form_->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    form_ = nullptr;
    IniFile ini(SettingsFilePath());
    QCOMPARE(ini.ReadInteger("TSetParamsForm", "CB_DecSep.ItemIndex", -9), 2);
    Open("");
    QCOMPARE(Combo("CB_DecSep")->currentIndex(), 2);
    QCOMPARE(Combo("CB_FieldSep")->currentIndex(), 3);
    QCOMPARE(Lot()->value(), 7.0);
  }
};

QTEST_MAIN(TestSetParams)
#include "test_setparams.moc"
