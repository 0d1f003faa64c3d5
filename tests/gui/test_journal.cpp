// The journal and its window: line limit, the file across runs, blank file
// names, deactivate + clear, the four buttons and the stored placement.
#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "gui/support/DialogHelpers.h"
#include "profile/IniFile.h"
#include "support/AppPaths.h"
#include "support/JournalFile.h"
#include "support/Messages.h"
#include "support/ui/AppWindow.h"
#include "support/ui/GuiMessageHandler.h"
#include "support/ui/TJournal.h"
#include "support/ui/TJrnlForm.h"
#include "utils/Cp1251.h"
#include "utils/Errors.h"

using namespace drs;
using namespace drs::test;

namespace {
QStringList Screen(const TJournal& j) { return j.toPlainText().split('\n'); }
std::deque<std::string> D(std::initializer_list<const char*> l) { return {l.begin(), l.end()}; }
}  // namespace

class TestJournal : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    dir = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", dir->path().toUtf8());
    file = dir->filePath("drsprep.jrn").toStdString();
  }

  // Journal lines of the core (errors of many lines) show the journal
  // window and reach its file, without a dialog.
  void journalLinesOfTheMessageHandler() {
    TJrnlForm form;
    form.Journal1()->SetFileName(file);
    GuiMessageHandler handler;
    ScopedMessageHandler installed(&handler);
    QVERIFY(!form.isVisible());
    JournalLine("Строка 2: первая");
    JournalLine("Строка 7: вторая");
    QVERIFY(form.isVisible());
    QVERIFY(form.Journal1()->Active());
    QCOMPARE(form.Journal1()->Lines(), D({"Строка 2: первая", "Строка 7: вторая"}));
    form.Journal1()->SetActive(false);
    QCOMPARE(JournalFile::ReadLines(file),
             (std::vector<std::string>{"Строка 2: первая", "Строка 7: вторая"}));
  }

  // Without a stored place the window opens beside the main window, not
  // over it: right of it where it fits, else left of it.
  void firstShowBesideTheMainWindow() {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    struct Case {
      int mainLeft;
      bool right;
    };
    for (const Case& c : {Case{screen.left(), true}, Case{screen.right() + 1 - 300, false}}) {
      std::remove(SettingsFilePath().c_str());  // no stored place
      QMainWindow main;
      main.setGeometry(c.mainLeft, screen.top() + 50, 300, 200);
      SetAppMainWindow(&main);
      main.show();
      QVERIFY(QTest::qWaitForWindowExposed(&main));
      TJrnlForm journal;
      journal.show();
      QVERIFY(QTest::qWaitForWindowExposed(&journal));
      const QRect m = main.frameGeometry(), j = journal.frameGeometry();
      QVERIFY2(!m.intersects(j), c.right ? "right" : "left");
      QCOMPARE(j.left() > m.left(), c.right);
      SetAppMainWindow(nullptr);
    }
  }

  void maxLinesDropsTheOldestOnScreenOnly() {
    TJournal j;
    QCOMPARE(j.MaxLines(), 32);
    QVERIFY(j.isReadOnly());
    j.SetFileName(file);
    j.SetMaxLines(3);
    j.SetActive(true);
    for (const char* l : {"a", "b", "c"}) j.AddLine(l);
    QSignalSpy added(&j, &TJournal::addMessage);
    j.AddLine("d");
    QCOMPARE(j.Lines(), D({"b", "c", "d"}));
    QCOMPARE(Screen(j), QStringList({"b", "c", "d"}));
    QCOMPARE(added.count(), 1);
    QCOMPARE(added[0][0].toString(), QString("d"));
    QCOMPARE(JournalFile::ReadLines(file), (std::vector<std::string>{"a", "b", "c", "d"}));
    // A lowered limit keeps the count where it was.
    j.SetMaxLines(1);
    j.AddLine("e");
    QCOMPARE(Screen(j), QStringList({"c", "d", "e"}));
  }

  void activationReloadsTheFilesLastLines() {
    {
      JournalFile f;
      f.Open(file);
      for (int i = 1; i <= 10; ++i) f.Append("старая " + std::to_string(i));
    }
    TJournal j;
    j.SetFileName(file);
    j.SetMaxLines(4);
    j.AddLine("на экране");  // inactive: screen only
    QCOMPARE(JournalFile::ReadLines(file).size(), size_t(10));
    j.SetActive(true);
    QCOMPARE(j.Lines(), D({"старая 7", "старая 8", "старая 9", "старая 10"}));
    j.AddLine("новая");
    QCOMPARE(j.Lines().back(), std::string("новая"));
    QCOMPARE(JournalFile::ReadLines(file).back(), std::string("новая"));
    // The same value again reloads nothing.
    j.SetActive(true);
    QCOMPARE(j.Lines().back(), std::string("новая"));
    QCOMPARE(j.Lines().size(), size_t(4));
  }

  void activatingWithoutAFileCreatesAnEmptyOne() {
    TJournal j;
    j.SetFileName(file);
    j.SetActive(true);
    QVERIFY(QFile::exists(QString::fromStdString(file)));
    QCOMPARE(QFileInfo(QString::fromStdString(file)).size(), 0);
  }

  void blankFileNameTouchesNoFile() {
    TJournal j;
    j.SetFileName(" \t\r\n");
    j.SetActive(true);
    j.AddLine("x");
    j.Clear();
    j.AddLine("y");
    j.SetActive(false);
    QCOMPARE(j.Lines(), D({"y"}));
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files | QDir::NoDotAndDotDot), QStringList());
  }

  void deactivateThenClearLeavesTheFile() {
    TJournal j;
    j.SetFileName(file);
    j.SetActive(true);
    j.AddLine("one");
    j.AddLine("two");
    j.SetActive(false);
    QCOMPARE(j.Lines().size(), size_t(2));  // lines stay
    j.Clear();
    QCOMPARE(j.toPlainText(), QString());
    QCOMPARE(JournalFile::ReadLines(file), (std::vector<std::string>{"one", "two"}));
    j.SetActive(true);
    QCOMPARE(j.Lines(), D({"one", "two"}));
    // Clearing while active empties the file too.
    j.Clear();
    QCOMPARE(QFileInfo(QString::fromStdString(file)).size(), 0);
  }

  void fillingTwiceInOneRun() {
    {
      JournalFile f;
      f.Open(file);
      f.Append("с прошлого запуска");
    }
    TJrnlForm form;
    QCOMPARE(form.Journal1()->MaxLines(), 500);
    form.Journal1()->SetFileName(file);
    form.ShowList("Список неотмеченных счетов", {"1001", "1002"}, false);
    QVERIFY(form.isVisible());
    QCOMPARE(Screen(*form.Journal1()),
             QStringList({"с прошлого запуска", "Список неотмеченных счетов", "---------------------------",
                          "1001", "1002", "---------------------------"}));
    form.ShowList("Список ошибок описания формата", {"ошибка"}, true);
    QCOMPARE(Screen(*form.Journal1()),
             QStringList({"Список ошибок описания формата", "---------------------------", "ошибка",
                          "---------------------------"}));
    QCOMPARE(JournalFile::ReadLines(file).size(), size_t(4));
    QCOMPARE(QFileInfo(QString::fromStdString(file)).size(),
             qint64(Utf8ToCp1251("Список ошибок описания формата").size() + 2 + 29 * 2 + 8));
  }

  void buttonsAndWindow() {
    TJrnlForm form;
    QCOMPARE(form.windowTitle(), QString("Журнал"));
    QVERIFY(form.windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(!(form.windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint |
                                    Qt::WindowMaximizeButtonHint | Qt::WindowSystemMenuHint)));
    form.Journal1()->SetFileName(file);
    form.show();
    form.findChild<QPushButton*>("ActiveButton")->click();
    QVERIFY(form.Journal1()->Active());
    form.Journal1()->AddLine("x");
    form.findChild<QPushButton*>("UnActiveButton")->click();
    QVERIFY(!form.Journal1()->Active());
    form.findChild<QPushButton*>("ClearBtn")->click();
    QCOMPARE(form.Journal1()->toPlainText(), QString());
    QCOMPARE(JournalFile::ReadLines(file).size(), size_t(1));
    form.move(70, 80);
    form.findChild<QPushButton*>("CloseBtn")->click();
    QVERIFY(!form.isVisible());
    QCOMPARE(IniFile(SettingsFilePath()).ReadInteger("TJrnlForm", "Left", -1), 70);
    form.move(300, 300);
    form.show();
    QCOMPARE(form.pos(), QPoint(70, 80));
  }

  void fileFailuresReachTheGeneralErrorReport() {
    ScriptedMessageHandler script;
    ScopedMessageHandler installed(&script);
    TJrnlForm form;
    form.Journal1()->SetFileName(dir->filePath("no/such/folder/x.jrn").toStdString());
    form.show();
    form.findChild<QPushButton*>("ActiveButton")->click();
    QVERIFY(!form.Journal1()->Active());
    QCOMPARE(script.Messages().size(), size_t(1));
    QVERIFY(script.Messages()[0].kind == MsgKind::Error);
    QVERIFY(QString::fromStdString(script.Messages()[0].text).contains("x.jrn"));
  }

 private:
  std::unique_ptr<QTemporaryDir> dir;
  std::string file;
};

QTEST_MAIN(TestJournal)
#include "test_journal.moc"
