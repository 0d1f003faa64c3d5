// The progress window driven as an export drives it: counter, gauge, bold
// step and check marks, cancel, "Готово", the main window disabled, cascade
// and the height cap.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QtTest>

#include "support/Progress.h"
#include "support/ui/AppWindow.h"
#include "support/ui/TGradientCaption.h"
#include "support/ui/TProgressForm.h"

using namespace drs;

class TestProgress : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    main = std::make_unique<QMainWindow>();
    SetAppMainWindow(main.get());
    main->show();
    now = 0;
    TProgressForm::SetClock([this] { return now; });
  }
  void cleanup() {
    TProgressForm::SetClock(nullptr);
    SetAppMainWindow(nullptr);
    main.reset();
  }

  void oneStepRunToTheEnd() {
    TProgressForm form(main.get(), "Экспорт данных в DEALS", " Экспорт данных");
    QCOMPARE(form.windowTitle(), QString("Экспорт данных в DEALS"));
    QCOMPARE(form.StepLabel(0)->text(), QString(" Экспорт данных"));
    QVERIFY(main->isEnabled());
    form.show();
    QVERIFY(!main->isEnabled());
    QCOMPARE(form.CloseBtn()->text(), QString("Отмена"));

    form.ShowProgress(0, 1, 100);
    QCOMPARE(form.CountLabel()->text(), QString("( 1 / 100 )"));
    QVERIFY(form.StepLabel(0)->font().bold());
    QCOMPARE(form.Gauge().Percent(), 1);
    QVERIFY(form.CheckMark(0) == nullptr);

    now = 65'400;
    form.ShowProgress(0, 50, 100);
    QCOMPARE(form.DateTimeLabel()->text(), QString("1 мин. 5 сек."));
    for (int i = 51; i <= 100; ++i) form.ShowProgress(0, i, 100);
    QVERIFY(form.CheckMark(0) && form.CheckMark(0)->isVisible());
    QCOMPARE(form.CheckMark(0)->geometry(), QRect(24, 9, 13, 15));
    QVERIFY(!form.StepLabel(0)->font().bold());
    QCOMPARE(form.CloseBtn()->text(), QString("Готово"));
    QCOMPARE(form.GaugeRedraws(), 52);  // 1 %, 50 %, then each of 51 … 100 %

    // "Готово" closes the window; WaitDone then returns.
    QTimer::singleShot(0, [&] { form.CloseBtn()->click(); });
    form.WaitDone();
    QVERIFY(!form.isVisible());
    QVERIFY(main->isEnabled());
  }

  // The window takes the focus from the main window it disables, so Enter
  // presses "Готово"; the focus then goes back where it was.
  void takesTheFocusSoEnterPressesDone() {
    auto* edit = new QLineEdit(main.get());
    main->setCentralWidget(edit);
    QVERIFY(QTest::qWaitForWindowActive(main.get()));
    edit->setFocus();
    QCOMPARE(QApplication::focusWidget(), edit);
    TProgressForm form(main.get(), "Экспорт", "шаг");
    form.show();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(form.CloseBtn()));
    form.ShowProgress(0, 1, 1);
    QCOMPARE(form.CloseBtn()->text(), QString("Готово"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(!form.isVisible());
    QVERIFY(main->isEnabled());
    QTRY_COMPARE(QApplication::focusWidget(), edit);
  }

  void messagesGoThroughByTimeNotByReport() {
    TProgressForm form(main.get(), "", " Экспорт данных");
    form.show();
    form.ShowProgress(0, 1, 1000);  // the first report shows at once
    QCOMPARE(form.CountLabel()->text(), QString("( 1 / 1000 )"));
    now = TProgressForm::kMessagePassMs - 1;
    form.ShowProgress(0, 2, 1000);
    QCOMPARE(form.CountLabel()->text(), QString("( 1 / 1000 )"));
    QCOMPARE(form.Gauge().Percent(), 0);
    now = 1000 + TProgressForm::kMessagePassMs;  // 1 s after the start and due
    form.ShowProgress(0, 500, 1000);
    QCOMPARE(form.CountLabel()->text(), QString("( 500 / 1000 )"));
    QCOMPARE(form.DateTimeLabel()->text(), QString("1 сек."));
    form.ShowProgress(0, 501, 1000);  // not due, yet a cancel is seen at once
    form.CloseBtn()->click();
    QVERIFY_THROWS_EXCEPTION(EProgressTerminate, form.ShowProgress(0, 502, 1000));
    QCOMPARE(form.CountLabel()->text(), QString("( 502 / 1000 )"));

    TProgressForm last(main.get(), "", "x");
    last.show();
    for (int i = 1; i <= 7; ++i) last.ShowProgress(0, i, -1);  // no total: never due by position
    QCOMPARE(last.CountLabel()->text(), QString("( 1 )"));
    QTimer::singleShot(0, [&] {
      QCOMPARE(last.CountLabel()->text(), QString("( 7 )"));  // WaitDone shows the last report
      last.CloseBtn()->click();
    });
    last.WaitDone();
  }

  void withoutTotalTheBarIsHalfFull() {
    TProgressForm form(main.get(), "", "шаг");
    QCOMPARE(form.windowTitle(), QString("Процесс..."));
    form.show();
    form.ShowProgress(0, 7, -1);
    QCOMPARE(form.CountLabel()->text(), QString("( 7 )"));
    QCOMPARE(form.Gauge().Percent(), 50);
    QCOMPARE(form.DateTimeLabel()->text(), QString());  // under a second
  }

  void cancelBreaksOffAtTheNextReport() {
    TProgressForm form(main.get(), " \t", " Экспорт данных");
    QCOMPARE(form.windowTitle(), QString("Процесс..."));
    form.show();
    form.ShowProgress(0, 4, 100);
    form.CloseBtn()->click();  // "Отмена"
    QVERIFY(!form.isVisible());
    QVERIFY(main->isEnabled());
    // A report outside the steps notices nothing.
    form.ShowProgress(1, 5, 100);
    try {
      form.ShowProgress(0, 5, 100);
      QFAIL("no error after cancelling");
    } catch (const EProgressTerminate& e) {
      QCOMPARE(QString::fromUtf8(e.what()), QString("Процесс прерван на шаге ' Экспорт данных' ( 5 / 100 )"));
      QCOMPARE(e.Step(), std::string(" Экспорт данных"));
      QCOMPARE(e.Position(), 5LL);
    }
  }

  void escCancelsOnlyWhileRunning() {
    TProgressForm form(main.get(), "", std::vector<std::string>{"a", "b"});
    form.show();
    form.ShowProgress(0, 10, 10);
    QVERIFY(form.CheckMark(0));
    QCOMPARE(form.CloseBtn()->text(), QString("Отмена"));  // not the last step
    form.ShowProgress(1, 1, 10);
    QVERIFY(form.StepLabel(1)->font().bold());
    QCOMPARE(form.CheckMark(1), nullptr);
    // Esc cancels while running; WaitDone turns the button into "Готово",
    // which Esc no longer presses.
    QTimer::singleShot(0, [&] {
      QTest::keyClick(&form, Qt::Key_Escape);
      QVERIFY(form.isVisible());
      QCOMPARE(form.CloseBtn()->text(), QString("Готово"));
      QTest::keyClick(&form, Qt::Key_Return);
    });
    form.WaitDone();
    QVERIFY(!form.isVisible());
    TProgressForm other(main.get(), "", "x");
    other.show();
    QTest::keyClick(&other, Qt::Key_Escape);
    QVERIFY(!other.isVisible());
  }

  void destroyedWhileShownEnablesTheMainWindow() {
    {
      TProgressForm form(main.get(), "", "x");
      form.show();
      QVERIFY(!main->isEnabled());
      QCOMPARE(TProgressForm::Count(), 1);
    }
    QVERIFY(main->isEnabled());
    QCOMPARE(TProgressForm::Count(), 0);
  }

  void minimisingTakesTheApplicationAlong() {
    TProgressForm form(main.get(), "", "x");
    form.show();
    form.setWindowState(Qt::WindowMinimized);
    QVERIFY(main->isMinimized());
    main->setWindowState(Qt::WindowNoState);
    QVERIFY(!form.isMinimized());
    QVERIFY(form.isVisible());
    form.ShowProgress(0, 1, 2);  // still running, not cancelled
    QCOMPARE(form.CountLabel()->text(), QString("( 1 / 2 )"));
  }

  void cascadeAndHeightCap() {
    QRect screen = QGuiApplication::primaryScreen()->geometry();
    TProgressForm first(main.get(), "", "x");
    first.show();
    QCOMPARE(first.x(), (screen.width() - first.width()) / 2);
    TProgressForm second(main.get(), "", "y");
    second.show();
    QCOMPARE(second.x(), first.x() + 20);
    QCOMPARE(second.y(), (screen.height() - second.height()) / 2 + 20);

    std::vector<std::string> twenty;
    for (int i = 0; i < 20; ++i) twenty.push_back("шаг " + std::to_string(i + 1));
    TProgressForm tall(main.get(), "", twenty);
    QCOMPARE(tall.height(), std::min(TProgressForm::kDesignHeight + TGradientCaption::kHeight + 380,
                                     screen.height() * 2 / 3));
    tall.show();
    if (screen.height() * 2 / 3 < TProgressForm::kDesignHeight + TGradientCaption::kHeight + 380)
      QVERIFY(tall.StepArea()->verticalScrollBar()->maximum() > 0);
    QCOMPARE(tall.StepLabel(19)->y(), 11 + 20 * 19);
  }

 private:
  std::unique_ptr<QMainWindow> main;
  qint64 now = 0;
};

QTEST_MAIN(TestProgress)
#include "test_progress.moc"
