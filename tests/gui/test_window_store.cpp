// The window store: values and placement come back after closing and
// reopening a window; restoring runs the normal change signals.
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <QtTest>
#include <memory>

#include "gui/support/DialogHelpers.h"
#include "profile/IniFile.h"
#include "support/AppPaths.h"
#include "support/ui/TFilenameEdit.h"
#include "support/ui/WindowStore.h"

using namespace drs;

class TSampleForm : public QWidget {
  Q_OBJECT

 public:
  TSampleForm() : store(this) {
    auto* layout = new QVBoxLayout(this);
    edit = new QLineEdit(this);
    edit->setObjectName("MinClientEdit");
    check = new QCheckBox(this);
    check->setObjectName("SqueeseClaineCheckBox");
    combo = new QComboBox(this);
    combo->setObjectName("CB_FieldSep");
    combo->addItems({"a", "b", "c"});
    spin = new QSpinBox(this);
    spin->setObjectName("CE_Lot");
    spin->setRange(0, 100000);
    box = new QGroupBox(this);
    box->setObjectName("WriteModeRadioGroup");
    auto* boxLayout = new QVBoxLayout(box);
    first = new QRadioButton("Сначала", box);
    second = new QRadioButton("Дозапись", box);
    first->setChecked(true);
    boxLayout->addWidget(first);
    boxLayout->addWidget(second);
    file = new TFilenameEdit(this);
    file->setObjectName("InFilenameEdit");
    for (QWidget* w : std::initializer_list<QWidget*>{edit, check, combo, spin, box, file})
      layout->addWidget(w);
    store.Add(edit, "Text");
    store.Add(check, "Checked");
    store.Add(combo, "ItemIndex");
    store.Add(spin, "Value");
    store.Add(box, "ItemIndex");
    store.Add(file, "Text");
  }
  QLineEdit* edit;
  QCheckBox* check;
  QComboBox* combo;
  QSpinBox* spin;
  QGroupBox* box;
  QRadioButton* first;
  QRadioButton* second;
  TFilenameEdit* file;
  WindowStore store;
};

class TestWindowStore : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    dir = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", dir->path().toUtf8());
  }

  void valuesComeBackAfterReopening() {
    {
      TSampleForm form;
      form.show();
      form.edit->setText("1001");
      form.check->setChecked(true);
      form.combo->setCurrentIndex(2);
      form.spin->setValue(250);
      form.second->setChecked(true);
      form.file->SetText("/tmp/deals.txt");
      form.move(40, 50);
      form.resize(321, 234);
      form.close();
    }
    IniFile ini(SettingsFilePath());
    QCOMPARE(ini.ReadString("TSampleForm", "MinClientEdit.Text", ""), std::string("1001"));
    QCOMPARE(ini.ReadString("TSampleForm", "SqueeseClaineCheckBox.Checked", ""), std::string("1"));
    QCOMPARE(ini.ReadString("TSampleForm", "WriteModeRadioGroup.ItemIndex", ""), std::string("1"));
    QCOMPARE(ini.ReadString("TSampleForm", "InFilenameEdit.Text", ""), std::string("/tmp/deals.txt"));
    QCOMPARE(ini.ReadInteger("TSampleForm", "Width", 0), 321);

    TSampleForm again;
    QSignalSpy changes(again.edit, &QLineEdit::textChanged);
    QSignalSpy fileChanges(again.file, &TFilenameEdit::textChanged);
    QCOMPARE(again.edit->text(), QString());  // nothing before show
    again.show();
    QCOMPARE(again.edit->text(), QString("1001"));
    QCOMPARE(changes.count(), 1);
    QCOMPARE(fileChanges.count(), 1);
    QVERIFY(again.check->isChecked());
    QCOMPARE(again.combo->currentIndex(), 2);
    QCOMPARE(again.spin->value(), 250);
    QVERIFY(again.second->isChecked());
    QCOMPARE(again.file->Text(), QString("/tmp/deals.txt"));
    QCOMPARE(again.size(), QSize(321, 234));
    QCOMPARE(again.pos(), QPoint(40, 50));
  }

  void destroyedWhileShownStillSaves() {
    {
      TSampleForm form;
      form.show();
      form.edit->setText("77");
    }
    QCOMPARE(IniFile(SettingsFilePath()).ReadString("TSampleForm", "MinClientEdit.Text", ""),
             std::string("77"));
  }

  void neverShownWritesNothing() {
    { TSampleForm form; }
    QVERIFY(!QFile::exists(QString::fromStdString(SettingsFilePath())));
  }

  void withoutAHomeFolderTheWindowStillOpensAndKeepsNothing() {
    // The message that there is no home folder is itself a window.
    const QByteArray home = qgetenv("HOME");
    qunsetenv("HOME");
    qputenv("XDG_CONFIG_HOME", "relative");
    {
      TSampleForm form;
      form.show();
      form.edit->setText("5");
    }
    qputenv("HOME", home);
    QVERIFY(!QFile::exists("relative"));
  }

  void badStoredValuesLeaveControlsAlone() {
    IniFile ini(SettingsFilePath());
    ini.WriteString("TSampleForm", "CB_FieldSep.ItemIndex", "9");
    ini.WriteString("TSampleForm", "CE_Lot.Value", "abc");
    ini.WriteString("TSampleForm", "WriteModeRadioGroup.ItemIndex", "-5");
    ini.WriteString("TSampleForm", "Width", "0");
    // A check box kept by name reads as drsprep-batch reads it.
    ini.WriteString("TSampleForm", "SqueeseClaineCheckBox.Checked", "True");
    TSampleForm form;
    form.combo->setCurrentIndex(1);
    form.spin->setValue(10);
    form.resize(300, 350);
    form.show();
    QCOMPARE(form.combo->currentIndex(), 1);
    QCOMPARE(form.spin->value(), 10);
    QVERIFY(form.first->isChecked());
    QCOMPARE(form.size(), QSize(300, 350));
    QVERIFY(form.check->isChecked());
  }

  void unsupportedPropertyIsRefused() {
    QWidget w;
    QLineEdit e(&w);
    e.setObjectName("E");
    WindowStore store(&w);
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, store.Add(&e, "Checked"));
  }

  void fileDialogSpeaksRussian() {
    // CTest runs this under LC_ALL=C.UTF-8: the list is Russian all the same.
    QTemporaryDir folder;
    QVERIFY(QDir(folder.path()).mkdir("Архив"));
    QFile file(folder.filePath("deals.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(1500, 'x'));
    file.close();
    TFilenameEdit edit;
    edit.SetText(file.fileName());
    QMap<QString, QStringList> rows;
    test::WhenModal([&](QWidget* modal) {
      auto* view = modal->findChild<QTreeView*>("treeView");
      QTRY_COMPARE(view->model()->rowCount(view->rootIndex()), 2);
      for (int r = 0; r < 2; ++r) {
        QStringList cells;
        for (int c = 0; c < 4; ++c) cells << view->model()->index(r, c, view->rootIndex()).data().toString();
        rows[cells[0]] = cells;
      }
      modal->close();
    });
    edit.Button()->click();
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows["Архив"].mid(1, 2), QStringList({"", "Папка"}));
    QCOMPARE(rows["deals.txt"][1], QStringLiteral("1,5 кБ"));
    const QRegularExpression date("^\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d$");
    for (const QStringList& cells : rows) QVERIFY2(date.match(cells[3]).hasMatch(), qPrintable(cells[3]));
  }

  void fileNameEditBrowse() {
    TFilenameEdit edit;
    QSignalSpy chosen(&edit, &TFilenameEdit::fileChosen);
    QSignalSpy changed(&edit, &TFilenameEdit::textChanged);
    QString answer = "/data/deals 0712.txt";
    TFilenameEdit::SetDialogHook([&](TFilenameEdit*) { return answer; });
    edit.Button()->click();
    QCOMPARE(edit.Text(), answer);
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen[0][0].toString(), answer);
    QCOMPARE(changed.count(), 1);
    // A cancelled dialog changes nothing and reports nothing.
    answer.clear();
    edit.Button()->click();
    QCOMPARE(edit.Text(), QString("/data/deals 0712.txt"));
    QCOMPARE(chosen.count(), 1);
    // Typing changes the text without a "chosen" report.
    QTest::keyClicks(edit.Edit(), "x");
    QCOMPARE(changed.count(), 2);
    QCOMPARE(chosen.count(), 1);
    TFilenameEdit::SetDialogHook(nullptr);
  }

 private:
  std::unique_ptr<QTemporaryDir> dir;
};

QTEST_MAIN(TestWindowStore)
#include "test_window_store.moc"
