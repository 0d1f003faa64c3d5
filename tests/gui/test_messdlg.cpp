// The message dialog driven as the operator meets it: answers, Esc, the
// close box, the details memo with its caret, the button strip, placement.
#include <QApplication>
#include <QCalendarWidget>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QtTest>
#include <memory>

#include "gui/support/DialogHelpers.h"
#include "profile/IniFile.h"
#include "support/AppPaths.h"
#include "support/Messages.h"
#include "support/ui/AppWindow.h"
#include "support/ui/CenterButtons.h"
#include "support/ui/GeneralError.h"
#include "support/ui/GuiMessageHandler.h"
#include "support/ui/RussianUi.h"
#include "support/ui/TGradientCaption.h"
#include "support/ui/TMessDlg.h"

using namespace drs;
using namespace drs::test;

namespace {

MessageRequest Request(const std::string& text, MsgKind kind,
                       const std::vector<std::string>* details = nullptr, int line = -1, int position = -1) {
  MessageRequest r;
  r.text = text;
  r.kind = kind;
  r.details = details;
  r.line = line;
  r.position = position;
  return r;
}

QPushButton* Button(QWidget* dlg, const char* name) { return dlg->findChild<QPushButton*>(name); }

}  // namespace

class TestMessDlg : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    dir = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", dir->path().toUtf8());
  }

  void answersThroughTheMessageCalls() {
    GuiMessageHandler gui;
    ScopedMessageHandler installed(&gui);

    PressModalButton("Нет");
    QCOMPARE(AskQuestion("Удалить?"), false);
    PressModalButton("Да");
    QCOMPARE(AskQuestion("Удалить?"), true);
    CloseModal();
    QCOMPARE(AskQuestion("Удалить?"), false);
    SendModalKey(Qt::Key_Escape);
    QCOMPARE(AskQuestion("Удалить?"), false);

    // OK keeps the yes answer; Esc presses it in kinds 0-2.
    for (MsgKind kind : {MsgKind::Warning, MsgKind::Information, MsgKind::Error}) {
      SendModalKey(Qt::Key_Escape);
      QCOMPARE(ShowMessDlg("Готово", nullptr, nullptr, -1, -1, kind), 1);
      SendModalKey(Qt::Key_Return);
      QCOMPARE(ShowMessDlg("Готово", nullptr, nullptr, -1, -1, kind), 1);
    }
    // The close box answers -1 even where Esc answers 1.
    CloseModal();
    QCOMPARE(ShowMessDlg("Готово", nullptr, nullptr, -1, -1, MsgKind::Information), -1);

    PressModalButton("Отмена");
    QCOMPARE(ShowMessDlg("?", nullptr, nullptr, -1, -1, MsgKind::QuestionCancel), -1);
    PressModalButton("Нет");
    QCOMPARE(ShowMessDlg("?", nullptr, nullptr, -1, -1, MsgKind::QuestionCancel), 0);

    // The exception question: "Да" true; the info report true whatever.
    std::runtime_error engine("Table is busy\nFile: X.DBF");
    QString details, title;
    WhenModal([&](QWidget* modal) {
      details = modal->findChild<QPlainTextEdit*>("ObjectMemo")->toPlainText();
      title = modal->windowTitle();
      FindButton(modal, "Да")->click();
    });
    QVERIFY(ShowExceptionQuestion(engine, "Ошибка очистки выходного файла"));
    QCOMPARE(details, QString("Table is busy\nFile: X.DBF"));
    QCOMPARE(title, QString("Вопрос"));
    CloseModal();
    QVERIFY(ShowExceptionInfo(engine, "Не могу открыть файл"));
  }

  // After the dialog the focus is back in the control that had it.
  void focusComesBackAfterTheDialog() {
    QMainWindow main;
    auto* edit = new QLineEdit(&main);
    main.setCentralWidget(edit);
    SetAppMainWindow(&main);
    main.show();
    QVERIFY(QTest::qWaitForWindowActive(&main));
    edit->setFocus();
    GuiMessageHandler gui;
    ScopedMessageHandler installed(&gui);
    PressModalButton("Да");
    QVERIFY(AskQuestion("Продолжить?"));
    QTRY_COMPARE(QApplication::focusWidget(), edit);
    SetAppMainWindow(nullptr);
  }

  void kindsFixTitleButtonsAndColour() {
    struct Case {
      MsgKind kind;
      const char* title;
      QStringList buttons;
      QColor start;
    };
    const QColor red(255, 0, 0), blue(0, 0, 255);
    const Case cases[] = {
        {MsgKind::Warning, "Предупреждение", {"OK"}, red},
        {MsgKind::Information, "Информация", {"OK"}, blue},
        {MsgKind::Error, "Ошибка", {"OK"}, red},
        {MsgKind::Question, "Вопрос", {"Да", "Нет"}, blue},
        {MsgKind::QuestionCancel, "Вопрос", {"Да", "Нет", "Отмена"}, blue},
    };
    for (const Case& c : cases) {
      TMessDlg dlg(Request("x", c.kind));
      dlg.show();
      QCOMPARE(dlg.windowTitle(), QString(c.title));
      QCOMPARE(dlg.Caption()->Caption(), QString(c.title));
      QCOMPARE(dlg.Caption()->StartColor(), c.start);
      QStringList shown;
      for (const char* name : {"YesBtn", "NoBtn", "DetailBtn", "CancelBtn"}) {
        QPushButton* b = Button(&dlg, name);
        if (b->isVisible()) shown << b->text();
      }
      QCOMPARE(shown, c.buttons);
      QVERIFY(dlg.windowFlags() & Qt::WindowStaysOnTopHint);
      QVERIFY(!(dlg.windowFlags() & Qt::WindowMaximizeButtonHint));
      dlg.reject();
    }
  }

  void detailsButtonRunsTheHandlerAndStaysOpen() {
    int calls = 0;
    MessageRequest r = Request("x", MsgKind::Information);
    r.onDetail = [&] { ++calls; };
    TMessDlg dlg(r);
    dlg.show();
    QPushButton* details = Button(&dlg, "DetailBtn");
    QVERIFY(details->isVisible());
    details->click();
    details->click();
    QCOMPARE(calls, 2);
    QVERIFY(dlg.isVisible());
    QCOMPARE(dlg.Answer(), -1);
  }

  void caretPlacementAndIndicator() {
    std::vector<std::string> details;
    for (int i = 1; i <= 40; ++i)
      details.push_back("line " + std::to_string(i) + " of the engine message text");
    TMessDlg dlg(Request("Ошибка формата", MsgKind::Error, &details, 3, 17));
    dlg.show();
    QPlainTextEdit* memo = dlg.ObjectMemo();
    QTextCursor c = memo->textCursor();
    QCOMPARE(c.block().blockNumber(), 2);
    QCOMPARE(c.position() - c.block().position(), 16);  // before the 17th character
    QCOMPARE(dlg.ObjectLabel()->text(), QString("В строке: 3; позиции: 17"));
    QCOMPARE(dlg.LinePosLabel()->text(), QString("(3:17)"));
    QCOMPARE(memo->verticalScrollBar()->value(), 2);  // line 3 at the top
    QCOMPARE(dlg.focusWidget(), memo);

    // A position beyond a 10-character line stands after its last character.
    std::vector<std::string> shortLines = {"first", "second", "0123456789", "fourth"};
    TMessDlg shortDlg(Request("x", MsgKind::Error, &shortLines, 3, 17));
    shortDlg.show();
    QCOMPARE(shortDlg.LinePosLabel()->text(), QString("(3:11)"));
    QCOMPARE(shortDlg.ObjectLabel()->text(), QString("В строке: 3; позиции: 17"));

    // No place given: empty label, caret at the start; a click moves it.
    TMessDlg plain(Request("x", MsgKind::Error, &shortLines, 0, 5));
    plain.show();
    QCOMPARE(plain.ObjectLabel()->text(), QString());
    QCOMPARE(plain.LinePosLabel()->text(), QString("(1:1)"));
    QPlainTextEdit* pm = plain.ObjectMemo();
    QTextCursor at(pm->document()->findBlockByNumber(2));
    at.setPosition(at.position() + 4);
    QRect r = pm->cursorRect(at);
    QTest::mouseClick(pm->viewport(), Qt::LeftButton, {}, QPoint(r.left() + 1, r.center().y()));
    QCOMPARE(plain.LinePosLabel()->text(), QString("(3:5)"));

    // A line beyond the details does not fail: the caret goes to the last line.
    TMessDlg beyond(Request("x", MsgKind::Error, &shortLines, 9, 2));
    beyond.show();
    QCOMPARE(beyond.LinePosLabel()->text(), QString("(4:2)"));
  }

  void enterInTheDetailsPressesTheDefaultButton() {
    GuiMessageHandler gui;
    ScopedMessageHandler installed(&gui);
    std::vector<std::string> lines = {"a", "b"};
    bool memoHadFocus = false;
    WhenModal([&](QWidget* modal) {
      auto* memo = modal->findChild<QPlainTextEdit*>("ObjectMemo");
      memoHadFocus = modal->focusWidget() == memo;
      QTest::keyClick(memo, Qt::Key_Return);
    });
    QCOMPARE(ShowMessDlg("x", &lines, nullptr, -1, -1, MsgKind::Question), 1);
    QVERIFY(memoHadFocus);
    // Esc from the details memo presses the kind's Esc button too.
    SendModalKey(Qt::Key_Escape);
    QCOMPARE(ShowMessDlg("x", &lines, nullptr, -1, -1, MsgKind::Question), 0);
    SendModalKey(Qt::Key_Escape);
    QCOMPARE(ShowMessDlg("x", &lines, nullptr, -1, -1, MsgKind::Error), 1);
    // Without details the first visible button has the focus.
    QString focused;
    WhenModal([&](QWidget* modal) {
      focused = modal->focusWidget() ? modal->focusWidget()->objectName() : QString();
      modal->close();
    });
    ShowMessDlg("x", nullptr, nullptr, -1, -1, MsgKind::Question);
    QCOMPARE(focused, QString("YesBtn"));
  }

  void buttonStripIsCentred() {
    TMessDlg dlg(Request("x", MsgKind::Error));
    dlg.show();
    QCOMPARE(dlg.ButtonPanel()->width(), 367);
    QPushButton* ok = Button(&dlg, "YesBtn");
    QCOMPARE(ok->x(), 145);
    QCOMPARE(ok->width(), 77);

    TMessDlg three(Request("x", MsgKind::QuestionCancel));
    three.show();
    three.resize(500, three.height());
    QCoreApplication::processEvents();
    QPushButton* yes = Button(&three, "YesBtn");
    QPushButton* no = Button(&three, "NoBtn");
    QPushButton* cancel = Button(&three, "CancelBtn");
    QCOMPARE(no->x() - yes->x(), 77 + 5);
    QCOMPARE(cancel->x() - no->x(), 77 + 5);
    QCOMPARE(yes->x(), (500 - (3 * 77 + 10)) / 2);
  }

  void centerButtonsRules() {
    QWidget panel;
    panel.resize(100, 33);
    auto* a = new QPushButton("a", &panel);
    auto* b = new QPushButton("b", &panel);
    auto* hidden = new QPushButton("h", &panel);
    hidden->hide();
    a->setGeometry(50, 2, 77, 20);
    b->setGeometry(10, 6, 77, 30);
    CenterButtons(&panel);
    // Wider than the panel: the total is cut to the panel's width, start 0.
    QCOMPARE(b->x(), 0);  // b was leftmost, it stays first
    QCOMPARE(a->x(), 82);
    QCOMPARE(a->y(), 4);
    QCOMPARE(a->height(), 25);
    QCOMPARE(hidden->x(), 0);
  }

  void heightAndPlacementAreStored() {
    std::vector<std::string> lines = {"a"};
    int withDetails = 0, without = 0;
    {
      TMessDlg d(Request("x", MsgKind::Error, &lines));
      withDetails = d.height();
    }
    {
      TMessDlg d(Request("x", MsgKind::Error));
      without = d.height();
      d.show();
      QRect screen = QGuiApplication::primaryScreen()->geometry();
      QCOMPARE(d.x(), (screen.width() - d.width()) / 2);
      d.move(30, 40);
      d.resize(420, 300);
      d.reject();
    }
    QCOMPARE(withDetails - without, 162);
    IniFile ini(SettingsFilePath());
    QCOMPARE(ini.ReadInteger("TMessDlg", "Width", 0), 420);
    TMessDlg next(Request("x", MsgKind::Information, &lines));
    next.show();
    QCOMPARE(next.pos(), QPoint(30, 40));
    QCOMPARE(next.size(), QSize(420, 300));
  }

  void longTextWrapsInsteadOfWidening() {
    TMessDlg dlg(Request(std::string(2000, 'x') + "\nвторая строка", MsgKind::Information));
    dlg.show();
    QCOMPARE(dlg.width(), 367);
    QVERIFY(dlg.MessageMemo()->verticalScrollBar()->maximum() > 0);
    QCOMPARE(dlg.MessageMemo()->document()->blockCount(), 2);
  }

  void minimisingTakesTheApplicationAlong() {
    QMainWindow main;
    SetAppMainWindow(&main);
    main.show();
    TMessDlg dlg(Request("x", MsgKind::Information), &main);
    dlg.show();
    dlg.setWindowState(Qt::WindowMinimized);
    QVERIFY(main.isMinimized());
    QVERIFY(dlg.Caption()->HoldsRestore());
    main.setWindowState(Qt::WindowNoState);
    QVERIFY(!dlg.isMinimized());
    QVERIFY(dlg.isVisible());
    QVERIFY(!dlg.Caption()->HoldsRestore());
    SetAppMainWindow(nullptr);
  }

  void generalErrorReportShowsTheMessage() {
    ScriptedMessageHandler script;
    ScopedMessageHandler installed(&script);
    bool after = false;
    QVERIFY(!RunGuarded([&] {
      throw std::runtime_error("Процесс прерван");
      after = true;
    }));
    QVERIFY(!after);
    QCOMPARE(script.Messages().size(), size_t(1));
    QCOMPARE(script.Messages()[0].text, std::string("Процесс прерван"));
    QVERIFY(script.Messages()[0].kind == MsgKind::Error);
    QVERIFY(RunGuarded([] {}));
    QCOMPARE(script.Messages().size(), size_t(1));
    auto slot = Guarded([](bool) { throw std::runtime_error("в слоте"); });
    slot(true);
    QCOMPARE(script.Messages().back().text, std::string("в слоте"));
  }

 private:
  std::unique_ptr<QTemporaryDir> dir;

  // Qt's own dialogs and the calendar speak Russian once the translations
  // are installed (last: the translator stays for the process).
  void qtOwnTextsInRussian() {
    QVERIFY(InstallRussianUi(*qApp));
    QFileDialog files(nullptr, "Выбор");
    files.setOption(QFileDialog::DontUseNativeDialog);
    auto* box = files.findChild<QDialogButtonBox*>();
    QVERIFY(box);
    QCOMPARE(box->button(QDialogButtonBox::Cancel)->text(), QString("Отмена"));
    QCalendarWidget calendar;
    QCOMPARE(calendar.locale().standaloneMonthName(1), QString("январь"));
    QCOMPARE(calendar.locale().dayName(1, QLocale::ShortFormat), QString("пн"));
  }
};

QTEST_MAIN(TestMessDlg)
#include "test_messdlg.moc"
