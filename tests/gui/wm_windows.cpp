// The windows under a real window manager (openbox on Xvfb, started by
// with-window-manager.sh), where the frame, the placement and the focus are
// the window manager's: the main window and the message dialog stand where
// they were closed, the focus comes back to the window that asked, and the
// journal opens beside the main window without taking its keys.
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <QtTest>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "engine/DbfFile.h"
#include "format/StringGrid.h"
#include "format/ui/TSetParamsForm.h"
#include "gui/support/DialogHelpers.h"
#include "gui/support/FormLookup.h"
#include "main/ui/TMMVBForm.h"
#include "profile/IniFile.h"
#include "support/AppPaths.h"
#include "support/Messages.h"
#include "support/ui/GuiMessageHandler.h"
#include "support/ui/TJournal.h"
#include "support/ui/TJrnlForm.h"
#include "support/ui/TMessDlg.h"
#include "support/ui/TProgressForm.h"

using drs::TMessDlg;
using drs::TMMVBForm;
using drs::test::Child;
using drs::test::Examples;
using drs::test::FindButton;

namespace {

// The window manager has put its frame around the window (Qt then knows
// where the frame stands).
bool Framed(const QWidget* w) {
  return w && w->isVisible() && w->windowHandle() && !w->windowHandle()->frameMargins().isNull();
}

// Where the frame's corner lies from the window's inside corner.
QPoint FrameCorner(const QWidget* w) {
  const QMargins m = w->windowHandle()->frameMargins();
  return {m.left(), m.top()};
}

// The shown message dialog, or nullptr.
TMessDlg* ShownDialog() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* dialog = qobject_cast<TMessDlg*>(w); dialog && dialog->isVisible()) return dialog;
  return nullptr;
}

template <typename T>
T* Shown() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* window = qobject_cast<T*>(w); window && window->isVisible()) return window;
  return nullptr;
}

// Actions taken in turn, each once its condition holds, polled from every
// event loop (the modal ones too) while the test waits in a blocking call.
class Steps : public QObject {
 public:
  struct Step {
    std::function<bool()> ready;
    std::function<void()> act;
  };
  explicit Steps(std::vector<Step> steps) : steps_(std::move(steps)) {
    connect(&timer_, &QTimer::timeout, this, [this] {
      if (next_ >= steps_.size()) return;
      if (!steps_[next_].ready()) {
        if (sinceStep_.elapsed() > kPatienceMs) GiveUp();
        return;
      }
      // The step counts as taken before it acts: its action may block in a
      // dialog of its own, and the next steps must go on meanwhile.
      const size_t step = next_++;
      sinceStep_.restart();
      steps_[step].act();
    });
    sinceStep_.start();
    timer_.start(10);
  }
  bool Done() const { return next_ >= steps_.size() && stuck_.isEmpty(); }
  // What the program showed when a step waited in vain.
  const QString& Stuck() const { return stuck_; }

 private:
  static constexpr int kPatienceMs = 20000;

  // Notes the state and closes the program's dialogs, so the blocking call
  // the test waits in returns and the test fails instead of hanging.
  void GiveUp() {
    QWidget* active = QApplication::activeWindow();
    stuck_ = QString("step %1 waited in vain; active window: %2")
                 .arg(next_ + 1)
                 .arg(active ? active->metaObject()->className() : "none");
    next_ = steps_.size();
    for (int i = 0; i < 10; ++i)
      if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    if (auto* progress = Shown<drs::TProgressForm>()) progress->close();
  }

  std::vector<Step> steps_;
  size_t next_ = 0;
  QElapsedTimer sinceStep_;
  QString stuck_;
  QTimer timer_;
};

// Presses a dialog's button once the window manager has framed the dialog.
Steps::Step Answer(const QString& startOfText, const QString& button, QPoint* where = nullptr) {
  return {[startOfText] {
            TMessDlg* d = ShownDialog();
            return Framed(d) && d->MessageMemo()->toPlainText().startsWith(startOfText);
          },
          [button, where] {
            TMessDlg* d = ShownDialog();
            if (where) *where = d->geometry().topLeft() - FrameCorner(d);
            FindButton(d, button)->click();
          }};
}

Steps::Step CloseProgressWhenDone() {
  return {[] {
            auto* p = Shown<drs::TProgressForm>();
            return p && p->IsDone();
          },
          [] { Shown<drs::TProgressForm>()->close(); }};
}

}  // namespace

class TestWindowManager : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir config_;
  QTemporaryDir out_;
  drs::GuiMessageHandler messages_;
  std::unique_ptr<drs::ScopedMessageHandler> scoped_;

  // The bundled settings, the main window kept at 245,174 and the journal
  // kept over the main window's right part.
  void InstallSettings() {
    QFile in(Examples() + "/drsprep.INI");
    QVERIFY(in.open(QIODevice::ReadOnly));
    QByteArray bytes = in.readAll();
    bytes.replace("@EXAMPLES@", Examples().toUtf8());
    bytes.replace("@OUT@", out_.path().toUtf8());
    bytes += "Left=245\r\nTop=174\r\nWidth=788\r\nHeight=526\r\nState=0\r\n\r\n";
    bytes += "[TMessDlg]\r\nLeft=458\r\nTop=431\r\nWidth=367\r\nHeight=117\r\nState=0\r\n\r\n";
    bytes += "[TJrnlForm]\r\nLeft=851\r\nTop=194\r\nWidth=427\r\nHeight=248\r\nState=0\r\n";
    QFile target(QString::fromStdString(drs::SettingsFilePath()));
    QVERIFY(target.open(QIODevice::WriteOnly | QIODevice::Truncate));
    target.write(bytes);
  }

  struct Program {
    std::unique_ptr<TMMVBForm> form;
    std::unique_ptr<drs::TJrnlForm> journal;
  };
  // The program's windows as main.cpp makes them, the main window shown.
  static Program Start() {
    Program p;
    p.form = std::make_unique<TMMVBForm>();
    p.journal = std::make_unique<drs::TJrnlForm>();
    p.form->SetJournalForm(p.journal.get());
    p.form->show();
    return p;
  }

 private slots:
  void initTestCase() {
    QVERIFY(config_.isValid() && out_.isValid());
    QVERIFY2(QGuiApplication::platformName() == "xcb", "run through with-window-manager.sh");
    qputenv("XDG_CONFIG_HOME", config_.path().toUtf8());
    scoped_ = std::make_unique<drs::ScopedMessageHandler>(&messages_);
    QVERIFY(QDir::setCurrent(out_.path()));
    InstallSettings();
  }

  void mainWindowStandsWhereItWasClosed() {
    for (int start = 1; start <= 3; ++start) {
      Program p = Start();
      QTRY_VERIFY(Framed(p.form.get()));
      QCOMPARE(p.form->geometry().topLeft() - FrameCorner(p.form.get()), QPoint(245, 174));
      QCOMPARE(p.form->size(), QSize(788, 526));
      p.form->close();
    }
    drs::IniFile ini(drs::SettingsFilePath());
    QCOMPARE(ini.ReadString("TMMVBForm", "Left", ""), std::string("245"));
    QCOMPARE(ini.ReadString("TMMVBForm", "Top", ""), std::string("174"));
  }

  void dialogStandsWhereTheLastOneWasClosed() {
    Program p = Start();
    QTRY_VERIFY(Framed(p.form.get()));
    std::vector<QPoint> places(5);
    for (QPoint& place : places) {
      Steps steps({Answer("Пятый раз", "OK", &place)});
      drs::ShowInfo("Пятый раз одно и то же сообщение");
      QVERIFY2(steps.Done(), qPrintable(steps.Stuck()));
    }
    for (const QPoint& place : places) QCOMPARE(place, places[0]);
    p.form->close();
  }

  void focusComesBackToTheEditorAfterItsQuestion() {
    Program p = Start();
    QTRY_VERIFY(Framed(p.form.get()));
    QString activeAfter = "no window";
    bool journalShown = false;
    auto editor = [] { return Shown<drs::TSetParamsForm>(); };
    Steps steps({
        {[&] { return Framed(editor()) && QApplication::activeWindow() == editor(); },
         [&] {
           editor()->EditFormat();
           editor()->Grid().SetCell(4, 1, "8x");  // a width that is no number
           QTimer::singleShot(0, [&] { Child<QToolButton>(editor(), "SaveBtn")->click(); });
         }},
        Answer("Подтвердите сохранение", "Да"),
        {[] {
           TMessDlg* d = ShownDialog();
           return Framed(d) && QApplication::activeWindow() == d &&
                  d->MessageMemo()->toPlainText().startsWith("Не могу сохранить");
         },
         [] { QTest::keyClick(ShownDialog()->focusWidget(), Qt::Key_Return); }},
        // The window manager has given the focus to a window again.
        {[] { return !ShownDialog() && QApplication::activeWindow() != nullptr; },
         [&] {
           journalShown = p.journal->isVisible();
           // Give the window manager its chance to move the focus on.
           QTest::qWait(300);
           if (QWidget* active = QApplication::activeWindow())
             activeAfter = active == editor() ? "editor" : active->metaObject()->className();
           editor()->close();
         }},
    });
    p.form->SetParamsBtnClick();
    QVERIFY2(steps.Done(), qPrintable(steps.Stuck()));
    QVERIFY(journalShown);
    QCOMPARE(activeAfter, QStringLiteral("editor"));
    p.form->close();
  }

  void journalOpensBesideTheMainWindowAfterAnExport() {
    Program p = Start();
    QTRY_VERIFY(Framed(p.form.get()));
    QTRY_COMPARE(QApplication::activeWindow(), p.form.get());
    p.form->OpenBtnClick();
    Steps steps({Answer("Создать файл", "Да"), CloseProgressWhenDone()});
    p.form->ExportBtnClick();
    QVERIFY2(steps.Done(), qPrintable(steps.Stuck()));
    QTRY_VERIFY(Framed(p.journal.get()));
    // The focus comes back from the progress window, and stays after the
    // window manager has had its chance to give it to the journal.
    QTRY_COMPARE(QApplication::activeWindow(), p.form.get());
    QTest::qWait(300);
    QCOMPARE(QApplication::activeWindow(), p.form.get());
    auto frameRect = [](const QWidget* w) {
      return w->geometry().marginsAdded(w->windowHandle()->frameMargins());
    };
    const QRect journal = frameRect(p.journal.get());
    QVERIFY2(!journal.intersects(frameRect(p.form.get())), "the journal covers the main window");
    QVERIFY(p.journal->screen()->availableGeometry().contains(journal));
    // Every reconciliation line is seen whole.
    drs::TJournal* lines = p.journal->Journal1();
    QVERIFY(lines->document()->blockCount() > 4);
    int longest = 0;
    for (QTextBlock b = lines->document()->begin(); b.isValid(); b = b.next())
      longest = std::max(longest, lines->fontMetrics().horizontalAdvance(b.text()));
    QVERIFY(longest > 427);  // wider than the journal's kept width
    QVERIFY(lines->viewport()->width() >= longest);
    p.form->close();
  }

  void lockedTableShowsTheWaitAndTheWholeCause() {
    // Another program holds the table the export would overwrite.
    const QByteArray table = QFile::encodeName(out_.path() + "/DEALS.DBF");
    QVERIFY(QFile::exists(out_.path() + "/DEALS.DBF"));
    const int fd = ::open(table.constData(), O_RDWR);
    QVERIFY(fd >= 0);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    QCOMPARE(::fcntl(fd, F_OFD_SETLK, &lock), 0);
    const auto wait = drs::DbfFile::LockWait();
    drs::DbfFile::SetLockWait(std::chrono::milliseconds(300));

    Program p = Start();
    QTRY_VERIFY(Framed(p.form.get()));
    p.form->OpenBtnClick();
    Qt::CursorShape cursorAtReport = Qt::ArrowCursor;
    int longest = 0, shownWidth = 0;
    QString caption;
    Steps steps({Answer("Выходной файл существует", "Да"),
                 {[] { return Framed(ShownDialog()); },
                  [&] {
                    TMessDlg* d = ShownDialog();
                    cursorAtReport = p.form->cursor().shape();
                    caption = d->MessageMemo()->toPlainText();
                    QPlainTextEdit* details = d->ObjectMemo();
                    for (QTextBlock b = details->document()->begin(); b.isValid(); b = b.next())
                      longest = std::max(longest, details->fontMetrics().horizontalAdvance(b.text()));
                    shownWidth = details->viewport()->width();
                    FindButton(d, "Нет")->click();
                  }}});
    p.form->ExportBtnClick();
    drs::DbfFile::SetLockWait(wait);
    ::close(fd);
    QVERIFY2(steps.Done(), qPrintable(steps.Stuck()));
    QCOMPARE(caption, QStringLiteral("Ошибка очистки выходного файла"));
    QCOMPARE(cursorAtReport, Qt::WaitCursor);
    QVERIFY2(shownWidth >= longest, qPrintable(QString("%1 < %2").arg(shownWidth).arg(longest)));
    QCOMPARE(p.form->cursor().shape(), Qt::ArrowCursor);
    p.form->close();
  }

  void cleanupTestCase() { scoped_.reset(); }
};

QTEST_MAIN(TestWindowManager)
#include "wm_windows.moc"
