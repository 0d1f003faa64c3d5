// The substitution list editor driven as the operator drives it.
#include <QApplication>
#include <QDir>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <memory>

#include "format/ui/MainWindowLink.h"
#include "format/ui/TReplaceForm.h"
#include "profile/IniFile.h"
#include "profile/ListSection.h"
#include "support/AppPaths.h"
#include "support/DialogHelpers.h"

using namespace drs;
using Strings = std::vector<std::string>;

namespace {

class FakeLink : public MainWindowLink {
 public:
  bool dealsShown = false;
  std::vector<std::string> calls;
  Strings parsed;

  std::string ParamsFileName() const override { return {}; }
  void SetParamsFileName(const std::string&) override { calls.push_back("SetParamsFileName"); }
  bool DealsShown() const override { return dealsShown; }
  void ReparseReplaceList(const std::vector<std::string>& lines) override {
    calls.push_back("Reparse");
    parsed = lines;
  }
  void OpenBtnClick() override { calls.push_back("OpenBtnClick"); }
  void ShowJournal() override {}
  void JournalClear() override {}
  void JournalSetActive(bool) override {}
  void JournalAddLine(const std::string&) override {}
};

}  // namespace

class TestReplaceForm : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir config_;
  std::unique_ptr<test::ScriptedMessageHandler> messages_;
  std::unique_ptr<ScopedMessageHandler> scope_;
  FakeLink link_;
  QPointer<TReplaceForm> form_;

  Strings Stored() const {
    IniFile ini(SettingsFilePath());
    Strings lines;
    ReadListSection(ini, "ReplaceList", lines, ListReadMode::Append);
    return lines;
  }
  void Store(const Strings& lines) {
    IniFile ini(SettingsFilePath());
    WriteListSection(ini, "ReplaceList", lines);
  }
  void Open() {
    form_ = new TReplaceForm(link_);
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_));
  }
  void Press(const char* name) { form_->findChild<QToolButton*>(name)->click(); }
  void CloseForm() {
    form_->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

 private slots:
  void initTestCase() { qputenv("XDG_CONFIG_HOME", config_.path().toUtf8()); }

  void init() {
    messages_ = std::make_unique<test::ScriptedMessageHandler>();
    scope_ = std::make_unique<ScopedMessageHandler>(messages_.get());
    link_ = FakeLink();
    std::remove(SettingsFilePath().c_str());
  }

  void cleanup() {
    if (form_) {
      messages_->SetFallback(kAnswerNo);
      CloseForm();
    }
    scope_.reset();
  }

  void loadsTheListWithItsEmptyLines() {
    Store({"$Z,AS=002;", "", "@RU1=1;", ""});
    Open();
    QCOMPARE(form_->windowTitle(), QString("Редактор подстоновок и лотов."));
    QVERIFY(form_->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(!form_->isModal());
    QCOMPARE(form_->Lines(), (Strings{"$Z,AS=002;", "", "@RU1=1;", ""}));
    QVERIFY(!form_->Modified());
    QFont font = form_->Memo()->font();
    QCOMPARE(font.family(), QString("Arial"));
    QVERIFY(font.bold());
    QCOMPARE(font.pixelSize(), 13);
    QVERIFY(form_->Memo()->toolTip().startsWith("Пример строки подстановок"));
    QCOMPARE(form_->Memo()->toolTip().count('\n'), 3);
  }

  void missingSectionShowsAnEmptyMemo() {
    Open();
    QCOMPARE(form_->Memo()->toPlainText(), QString());
    QVERIFY(messages_->Messages().empty());
  }

  void saveBeforeDealsShownOnlyWrites() {
    Open();
    form_->Memo()->setPlainText("$A=1;\n@X=5;");
    QVERIFY(form_->Modified());
    Press("SaveBtn");
    QCOMPARE(Stored(), (Strings{"$A=1;", "@X=5;"}));
    QVERIFY(!form_->Modified());
    QVERIFY(link_.calls.empty());
  }

  void saveAfterDealsShownReparsesAndReloads() {
    link_.dealsShown = true;
    Open();
    form_->Memo()->setPlainText("$A=1;\n\n@X=5;");
    Press("SaveBtn");
    QCOMPARE(Stored(), (Strings{"$A=1;", "", "@X=5;"}));
    QCOMPARE(link_.calls, (Strings{"Reparse", "OpenBtnClick"}));
    QCOMPARE(link_.parsed, (Strings{"$A=1;", "", "@X=5;"}));
    // Closing right after a save asks nothing.
    CloseForm();
    QVERIFY(form_.isNull());
    QVERIFY(messages_->Messages().empty());
  }

  void eraseThenCloseStoresAnEmptyList() {
    Store({"$A=1;"});
    Open();
    messages_->Answer(kAnswerNo);
    Press("EraseBtn");
    QCOMPARE(form_->Lines(), Strings{"$A=1;"});
    Press("EraseBtn");  // answered "Да"
    QCOMPARE(messages_->Texts(), (Strings{"Очистить поле?", "Очистить поле?"}));
    QVERIFY(form_->Lines().empty());
    QCOMPARE(Stored(), Strings{"$A=1;"});  // nothing written yet
    messages_->Clear();
    CloseForm();
    QCOMPARE(messages_->Texts(), Strings{"Сохранить изменения?"});
    IniFile ini(SettingsFilePath());
    QCOMPARE(ini.ReadInteger("ReplaceList", "Count", -1), 0);
    QVERIFY(!ini.ValueExists("ReplaceList", "Item0"));
    QVERIFY(link_.calls.empty());
  }

  void closeWithChanges() {
    link_.dealsShown = true;
    Store({"$A=1;"});
    Open();
    form_->Memo()->setPlainText("$B=2;");
    messages_->Answer(kAnswerNo);
    CloseForm();
    QVERIFY(form_.isNull());
    QCOMPARE(Stored(), Strings{"$A=1;"});  // "Нет" discards

    Open();
    form_->Memo()->setPlainText("$B=2;");
    messages_->Answer(kAnswerYes);
    CloseForm();
    QCOMPARE(Stored(), Strings{"$B=2;"});
    QVERIFY(link_.calls.empty());  // the close writes only
  }

  void closeWithoutChangesAsksNothing() {
    Store({"$A=1;"});
    Open();
    CloseForm();
    QVERIFY(form_.isNull());
    QVERIFY(messages_->Messages().empty());
  }

  void failedWriteOnCloseKeepsTheWindow() {
    // The settings path is a folder: the write cannot succeed.
    Open();
    form_->Memo()->setPlainText("$C=3;");
    const std::string settings = SettingsFilePath();
    std::remove(settings.c_str());
    QVERIFY(QDir().mkpath(QString::fromStdString(settings)));
    messages_->Answer(kAnswerYes);
    form_->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QDir().rmdir(QString::fromStdString(settings));
    QVERIFY(!form_.isNull());
    QVERIFY(form_->isVisible());
    QCOMPARE(form_->Lines(), Strings{"$C=3;"});
    QCOMPARE(messages_->Texts().size(), size_t(2));
    QVERIFY(messages_->Texts()[1].find("Unable to write to") != std::string::npos);
    messages_->Answer(kAnswerNo);
  }

  void longLineIsCutOnReading() {
    Store({"$" + std::string(3000, 'A') + "=1;"});
    Open();
    QCOMPARE(form_->Lines()[0].size(), size_t(2047));
  }
};

QTEST_MAIN(TestReplaceForm)
#include "test_replace_form.moc"
