// One day's report from first start to turnovers, as the operator walks it in
// the main window with the bundled example: format set in the editor, report
// shown, marks adjusted by hand, journal, export under the progress window,
// the written table read back, turnovers in both modes. The slots run in
// order on one window; the expectations are worked out here from the
// example files, not taken from the program.
#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRadioButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <memory>
#include <set>

#include "engine/Query.h"
#include "export/ui/OutputView.h"
#include "export/ui/TDBGrid.h"
#include "format/ui/StringGridView.h"
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
#include "support/ui/TFilenameEdit.h"
#include "support/ui/TJournal.h"
#include "support/ui/TJrnlForm.h"
#include "support/ui/TProgressForm.h"
#include "utils/Cp1251.h"

using drs::TMMVBForm;
using drs::TRadioGroup;
using drs::TStatusBar;
using drs::test::Child;
using drs::test::Examples;
using drs::test::Panel;
using drs::test::ScriptedMessageHandler;

namespace {

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : text) {
    if (c == sep) {
      parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  parts.push_back(cur);
  return parts;
}

std::string Upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string TrimRight(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}
std::string Trim(std::string s) {
  s = TrimRight(s);
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  return s.substr(i);
}

// One deal of the example report as the grid should show it.
struct Deal {
  std::string order, account, ticker, oper, price, lots;
};

// One row the export should write.
struct Row {
  std::string client, ticker;
  int opertype = 0;
  double price = 0, qty = 0;
  std::string sdel;
};

// The example's own rules, read from its files in the simplest way.
struct Example {
  std::map<std::string, std::string> substitutions;  // upper-cased code -> account
  std::map<std::string, int> lots;                   // upper-cased ticker -> lot size
  int defaultLot = 0;
  std::string minBound, maxBound, brokerAcc, tradeDate;
  bool orderSqueeze = false;
  std::vector<Deal> deals;
};

// Account as the grid shows it: "?" for blank, cut after a "/" that is not
// last, blanks before the "/" dropped, leading zeros dropped.
std::string ShownAccount(std::string a) {
  if (Trim(a).empty()) return "?";
  const size_t slash = a.find('/');
  if (slash != std::string::npos) {
    a = a.substr(0, slash + 1);
    std::string out;
    for (char c : a)
      if (c != ' ') out += c;
    a = out;
  }
  size_t z = 0;
  while (z < a.size() && a[z] == '0') ++z;
  return a.substr(z);
}

std::string Padded(std::string s) {
  if (!s.empty() && s.back() == '/') s.pop_back();
  while (s.size() < 8) s.insert(s.begin(), '0');
  return s;
}

Example LoadExample() {
  Example ex;
  auto readIni = [](const QString& path) { return drs::Cp1251ToUtf8(ReadAll(path).toStdString()); };
  std::string section;
  for (std::string line : Split(readIni(Examples() + "/drsprep.INI"), '\n')) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') {
      section = line;
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (section == "[ReplaceList]" && key.rfind("Item", 0) == 0) {
      const bool lot = value[0] == '@';
      std::vector<std::string> items = Split(value.substr(1), ';');
      items.pop_back();  // after the closing ";"
      for (const std::string& item : items) {
        const size_t at = item.rfind('=');
        for (const std::string& code : Split(item.substr(0, at), ',')) {
          const std::string to = item.substr(at + 1);
          // The first definition wins.
          if (lot)
            ex.lots.emplace(Upper(code), std::stoi(to));
          else
            ex.substitutions.emplace(Upper(code), to);
        }
      }
    } else if (section == "[TMMVBForm]") {
      if (key == "MinClientEdit.Text") ex.minBound = value;
      if (key == "MaxClientEdit.Text") ex.maxBound = value;
      if (key == "BrokerAccEdit.Text") ex.brokerAcc = value;
      if (key == "TorgDateEdit.Text") ex.tradeDate = value;
      if (key == "SqueeseClaineCheckBox.Checked") ex.orderSqueeze = value == "1";
    }
  }
  for (std::string line : Split(readIni(Examples() + "/format.ini"), '\n')) {
    if (line.rfind("Lot=", 0) == 0) ex.defaultLot = std::stoi(line.substr(4));
  }
  // Fields of the example report: 2 order, 5 account, 6 ticker, 7 B/S,
  // 8 price, 9 lots.
  for (std::string line : Split(readIni(Examples() + "/deals.txt"), '\n')) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (Trim(line).empty()) continue;
    std::vector<std::string> f = Split(line, ';');
    ex.deals.push_back({f[1], ShownAccount(f[4]), f[5], f[6], f[7], f[8]});
  }
  return ex;
}

// Substitution applied, then the range: digits only, between the bounds.
void ApplyMarks(Example& ex, std::set<int>& marked, std::vector<std::string>& unmarked) {
  std::vector<int> lowerMarked;
  for (size_t i = 0; i < ex.deals.size(); ++i) {
    Deal& d = ex.deals[i];
    if (Trim(d.account).empty()) continue;
    std::string code = d.account;
    if (code.back() == '/') code.pop_back();
    auto sub = ex.substitutions.find(Upper(code));
    if (sub != ex.substitutions.end()) d.account = sub->second;
    if (!std::isdigit(static_cast<unsigned char>(d.account[0]))) {
      unmarked.push_back(code);
      continue;
    }
    if (Padded(d.account) >= Padded(ex.minBound)) marked.insert(int(i) + 1);
  }
  for (size_t i = 0; i < ex.deals.size(); ++i) {
    const Deal& d = ex.deals[i];
    if (Trim(d.account).empty() || !std::isdigit(static_cast<unsigned char>(d.account[0]))) continue;
    if (Padded(d.account) > Padded(ex.maxBound) && marked.erase(int(i) + 1) &&
        std::find(unmarked.begin(), unmarked.end(), d.account) == unmarked.end())
      unmarked.push_back(d.account);
  }
}

// Marked rows in grid order; a run of marked deals with one key is merged
// when the order squeeze is on.
std::vector<Row> ExpectedRows(const Example& ex, const std::set<int>& marked, bool orderSqueeze) {
  std::vector<Row> rows;
  std::string lastKey;
  double amount = 0, lots = 0;
  auto key = [](const Deal& d) { return d.account + d.oper + d.order; };
  for (int r : marked) {
    const Deal& d = ex.deals[size_t(r - 1)];
    const double p = std::stod(d.price), q = std::stod(d.lots);
    if (orderSqueeze && !rows.empty() && key(d) == lastKey) {
      amount += p * q;
      lots += q;
    } else {
      rows.push_back({});
      Row& row = rows.back();
      row.client = d.account;
      row.ticker = d.ticker;
      row.opertype = d.oper == "B" ? 1 : 0;
      row.sdel = d.order;
      amount = p * q;
      lots = q;
      lastKey = key(d);
    }
    auto lot = ex.lots.find(Upper(rows.back().ticker));
    rows.back().price = amount / lots;
    rows.back().qty = lots * (lot != ex.lots.end() ? lot->second : ex.defaultLot);
  }
  return rows;
}

// A dBASE III file read byte by byte: field names and the text of each cell.
struct DbfTable {
  std::vector<std::string> fields;
  std::vector<std::vector<std::string>> records;
  uint32_t headerCount = 0;
  bool sizeMatches = false;
};

DbfTable ParseDbf(const QByteArray& bytes) {
  DbfTable t;
  if (bytes.size() < 33) return t;
  auto u16 = [&](int at) { return uint16_t(uint8_t(bytes[at]) | uint8_t(bytes[at + 1]) << 8); };
  t.headerCount = uint32_t(uint8_t(bytes[4])) | uint32_t(uint8_t(bytes[5])) << 8 |
                  uint32_t(uint8_t(bytes[6])) << 16 | uint32_t(uint8_t(bytes[7])) << 24;
  const int headerLen = u16(8), recordLen = u16(10);
  std::vector<std::pair<int, int>> spans;
  for (int at = 32; at + 32 <= headerLen && bytes[at] != '\r'; at += 32) {
    t.fields.push_back(TrimRight(std::string(bytes.constData() + at, 11)));
    const int disp = int(uint8_t(bytes[at + 12])) | int(uint8_t(bytes[at + 13])) << 8;
    spans.push_back({disp, int(uint8_t(bytes[at + 16]))});
  }
  const qint64 body = bytes.size() - headerLen;
  const qint64 count = recordLen ? body / recordLen : 0;
  t.sizeMatches = body == qint64(t.headerCount) * recordLen ||
                  (body == qint64(t.headerCount) * recordLen + 1 && bytes.back() == '\x1a');
  for (qint64 i = 0; i < count && i < qint64(t.headerCount); ++i) {
    const char* rec = bytes.constData() + headerLen + i * recordLen;
    if (rec[0] == '*') continue;
    std::vector<std::string> cells;
    for (auto [disp, len] : spans) cells.push_back(drs::Cp1251ToUtf8(std::string(rec + disp, size_t(len))));
    t.records.push_back(cells);
  }
  return t;
}

}  // namespace

class TestWholeRoad : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir config_;
  QTemporaryDir work_;
  QString previousDir_;
  ScriptedMessageHandler messages_;
  std::unique_ptr<drs::ScopedMessageHandler> scoped_;
  std::unique_ptr<drs::TJrnlForm> journal_;
  std::unique_ptr<TMMVBForm> form_;
  Example ex_;
  std::set<int> marked_;
  std::vector<std::string> unmarked_;
  std::vector<Row> rows_;

  QString FormatCopy() const { return work_.path() + "/format.ini"; }
  QString OutTable() const { return work_.path() + "/DEALS.DBF"; }
  QTableView* Grid() const { return Child<QTableView>(form_.get(), "MMVBGrid"); }

  void DoubleClickRow(int gridRow) {
    QTableView* grid = Grid();
    QModelIndex index = grid->model()->index(gridRow - 1, 1);
    grid->scrollTo(index);
    const QPoint at = grid->visualRect(index).center();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
  }

  // Presses ExportBtn, closing the progress window with "Готово"; the
  // number of progress windows seen.
  int RunExport() {
    int progressWindows = 0;
    QTimer closer;
    connect(&closer, &QTimer::timeout, [&] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* progress = qobject_cast<drs::TProgressForm*>(w);
        if (progress && progress->isVisible() && progress->IsDone()) {
          ++progressWindows;
          if (QAbstractButton* done = drs::test::FindButton(progress, "Готово"))
            done->click();
          else
            progress->close();
        }
      }
    });
    closer.start(20);
    QTest::mouseClick(Child<QToolButton>(form_.get(), "ExportBtn"), Qt::LeftButton);
    closer.stop();
    return progressWindows;
  }

  // Units bought and sold per security, ordered by ticker.
  std::vector<std::vector<QString>> BySecurity() const {
    std::map<std::string, std::pair<double, double>> sums;
    for (const Row& r : rows_) (r.opertype ? sums[r.ticker].first : sums[r.ticker].second) += r.qty;
    std::vector<std::vector<QString>> expected;
    for (const auto& [ticker, bs] : sums)
      expected.push_back({QString::fromStdString(ticker), QString::number(bs.first),
                          QString::number(bs.second), QString::number(bs.first - bs.second)});
    return expected;
  }

  void CheckTurnoverGrid(const std::vector<std::vector<QString>>& expected, const QStringList& titles) {
    auto* grid = Child<drs::TDBGrid>(form_.get(), "ObDBGrid");
    QAbstractItemModel* m = grid->model();
    QCOMPARE(m->columnCount(), titles.size());
    for (int c = 0; c < titles.size(); ++c) QCOMPARE(m->headerData(c, Qt::Horizontal).toString(), titles[c]);
    QCOMPARE(m->rowCount(), int(expected.size()));
    const int texts = titles.size() - 3;  // account and ticker, or ticker only
    for (int r = 0; r < m->rowCount(); ++r) {
      for (int c = 0; c < titles.size(); ++c) {
        const QVariant v = m->data(m->index(r, c), Qt::EditRole);
        if (c < texts)
          QCOMPARE(v.toString().trimmed(), expected[size_t(r)][size_t(c)]);
        else
          QCOMPARE(v.toDouble(), expected[size_t(r)][size_t(c)].toDouble());
      }
    }
    QCOMPARE(Panel(form_.get(), "StatusBar1", 1), QString::number(expected.size()));
  }

 private slots:
  void initTestCase() {
    QVERIFY(config_.isValid() && work_.isValid());
    qputenv("XDG_CONFIG_HOME", config_.path().toUtf8());
    qputenv("XDG_STATE_HOME", config_.filePath("state").toUtf8());
    scoped_ = std::make_unique<drs::ScopedMessageHandler>(&messages_);
    previousDir_ = QDir::currentPath();
    QVERIFY(QDir::setCurrent(work_.path()));
    // The editor saves into the format it opened: work on a copy.
    QVERIFY(QFile::copy(Examples() + "/format.ini", FormatCopy()));
    QFile::setPermissions(FormatCopy(), QFile::ReadOwner | QFile::WriteOwner);

    // The example settings without their format name.
    QByteArray bytes = ReadAll(Examples() + "/drsprep.INI");
    bytes.replace("@EXAMPLES@", Examples().toUtf8());
    bytes.replace("@OUT@", work_.path().toUtf8());
    QByteArray kept;
    bool skipping = false;
    for (const QByteArray& line : bytes.split('\n')) {
      if (line.startsWith('[')) skipping = line.trimmed() == "[ParamsFileName]";
      if (!skipping) kept += line + '\n';
    }
    QVERIFY(!kept.contains("ParamsFileName"));
    QVERIFY(kept.contains("[ReplaceList]") && kept.contains("[TMMVBForm]"));
    QDir().mkpath(QString::fromStdString(drs::SettingsFilePath()).section('/', 0, -2));
    QFile settings(QString::fromStdString(drs::SettingsFilePath()));
    QVERIFY(settings.open(QIODevice::WriteOnly | QIODevice::Truncate));
    settings.write(kept);
    settings.close();

    // The journal file lives in the state folder; a fresh one per run.
    QFile::remove(QString::fromStdString(drs::JournalFilePath()));

    ex_ = LoadExample();
    QCOMPARE(ex_.deals.size(), size_t(30));  // the blank line carries no deal
    QCOMPARE(ex_.defaultLot, 100);
    QVERIFY(ex_.orderSqueeze);
  }

  void firstStartAsksForAFormat() {
    journal_ = std::make_unique<drs::TJrnlForm>();
    form_ = std::make_unique<TMMVBForm>();
    form_->SetJournalForm(journal_.get());
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    QCOMPARE(messages_.Texts(),
             std::vector<std::string>{"Не задан файл настройки параметров. Откройте форму "
                                      "\"Настройка форматов  входных файлов и их отображения\""});
    QCOMPARE(messages_.Messages()[0].kind, drs::MsgKind::Error);
    QCOMPARE(Panel(form_.get(), "StatusBar3", 0), QStringLiteral("Файл настройки параметров: "));
    QVERIFY(!Child<QToolButton>(form_.get(), "ExportBtn")->isEnabled());
    // The substitution list and the window's values came through.
    QCOMPARE(Child<QLineEdit>(form_.get(), "MinClientEdit")->text().toStdString(), ex_.minBound);
  }

  // What the existing layout test does not look at: strips in their order
  // and colours, and the lower panel holding the output and turnover parts.
  void layoutAsDesigned() {
    QWidget* f = form_.get();
    auto* top = Child<QWidget>(f, "TopPanel");
    auto* upper = Child<QWidget>(f, "UpperPanel");
    QCOMPARE(top->height(), 37);
    QCOMPARE(upper->height(), 64);
    QCOMPARE(top->palette().color(QPalette::Window), QColor(207, 207, 231));
    QCOMPARE(upper->palette().color(QPalette::Window), QColor(214, 214, 214));
    QVERIFY(top->autoFillBackground() && upper->autoFillBackground());
    QVERIFY(top->isAncestorOf(Child<QWidget>(f, "OpenBtn")));
    QVERIFY(top->isAncestorOf(Child<QWidget>(f, "InFilenameEdit")));
    for (const char* name : {"SetParamsBtn", "ReplaceListBtn", "JournalBtn", "BrokerAccEdit", "TorgDateEdit",
                             "MinClientEdit", "MaxClientEdit", "NotSelBtn"})
      QVERIFY2(upper->isAncestorOf(Child<QWidget>(f, name)), name);
    // The range group sits at the right end of the upper panel.
    auto* minEdit = Child<QWidget>(f, "MinClientEdit");
    QVERIFY(minEdit->mapTo(upper, QPoint()).x() >
            Child<QWidget>(f, "TorgDateEdit")->mapTo(upper, QPoint()).x());
    QLabel* inLabel = nullptr;
    for (QLabel* l : top->findChildren<QLabel*>())
      if (l->text() == QStringLiteral("Входной файл")) inLabel = l;
    QVERIFY(inLabel);
    QVERIFY(inLabel->font().bold());
    QCOMPARE(inLabel->palette().color(QPalette::WindowText), QColor(0, 0, 128));
    for (QLabel* l : Child<QWidget>(f, "StatusBar3")->findChildren<QLabel*>())
      QCOMPARE(l->palette().color(QPalette::WindowText), QColor(255, 0, 0));

    auto* lower = Child<QWidget>(f, "FriendPanel1");
    for (const char* name : {"DBNavigator1", "ExportBtn", "OutFilenameEdit", "RxDBGrid1", "NewDealBtn",
                             "WriteModeRadioGroup", "SqueeseClaineCheckBox", "SqueeseClientCheckBox",
                             "ObDBGrid", "NewOborotBtn", "OborotModeRadioGroup"}) {
      QVERIFY2(lower->isAncestorOf(Child<QWidget>(f, name)), name);
      QVERIFY2(Child<QWidget>(f, name)->isVisible(), name);
    }
    QVERIFY(Child<QWidget>(f, "FriendPanel2")->isAncestorOf(Child<QWidget>(f, "RxDBGrid1")));
    bool turnoverCaption = false;
    for (QGroupBox* box : lower->findChildren<QGroupBox*>())
      if (box->title() == QStringLiteral("Обороты"))
        turnoverCaption = box->isAncestorOf(Child<QWidget>(f, "ObDBGrid"));
    QVERIFY(turnoverCaption);

    // Top to bottom: strip, upper panel, StatusBar3, grid, StatusBar2, lower panel, StatusBar1.
    int lastBottom = -1;
    for (const char* name :
         {"TopPanel", "UpperPanel", "StatusBar3", "MMVBGrid", "StatusBar2", "FriendPanel1", "StatusBar1"}) {
      QWidget* w = Child<QWidget>(f, name);
      const int y = w->mapTo(f, QPoint()).y();
      QVERIFY2(y >= lastBottom, name);
      lastBottom = y + w->height();
    }
    QCOMPARE(lastBottom, f->height());
  }

  void formatSetInTheEditor() {
    messages_.Clear();
    bool editorSeen = false;
    QString fault;
    drs::test::WhenModal([&](QWidget* modal) {
      auto* editor = qobject_cast<drs::TSetParamsForm*>(modal);
      if (!editor) {
        fault = "the modal window is not the format editor";
        modal->close();
        return;
      }
      editorSeen = true;
      auto* name = Child<drs::TFilenameEdit>(editor, "FN_Editor");
      name->Edit()->clear();
      QTest::keyClicks(name->Edit(), FormatCopy());
      Child<QToolButton>(editor, "OpenFormatBtn")->click();
      Child<QToolButton>(editor, "EditFormatBtn")->click();
      // The account entry (third) gets a wider column: 80 -> 85.
      drs::StringGridView* view = editor->GridView();
      if (editor->Grid().Cell(4, 3) != "80") fault = "the third entry is not 80 wide";
      view->setFocus();
      view->setCurrentIndex(view->model()->index(2, 4));
      view->edit(view->currentIndex());
      auto* cell = view->viewport()->findChild<QLineEdit*>();
      if (!cell) {
        fault = "no cell editor";
      } else {
        cell->selectAll();
        QTest::keyClicks(cell, "85");
        QTest::keyClick(cell, Qt::Key_Return);
        QCoreApplication::processEvents();
      }
      Child<QToolButton>(editor, "SaveBtn")->click();
      editor->close();
    });
    QTest::mouseClick(Child<QToolButton>(form_.get(), "SetParamsBtn"), Qt::LeftButton);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    QVERIFY(editorSeen);

    const std::string name = FormatCopy().toStdString();
    std::vector<std::string> texts = messages_.Texts();
    // The editor opens on the blank stored name first and says so.
    QCOMPARE(texts,
             (std::vector<std::string>{"Задайте имя файла параметров формата",
                                       "Подтвердите сохранение формата в файле " + name, "Формат сохранен"}));
    QCOMPARE(messages_.Messages()[0].kind, drs::MsgKind::Error);
    QCOMPARE(messages_.Messages()[1].kind, drs::MsgKind::Question);
    QCOMPARE(drs::IniFile(drs::SettingsFilePath()).ReadString("ParamsFileName", "ParamsFileName", ""), name);
    QCOMPARE(Panel(form_.get(), "StatusBar3", 0),
             QString::fromStdString("Файл настройки параметров: " + name));
    QCOMPARE(Panel(form_.get(), "StatusBar3", 1), QStringLiteral("Разделитель полей:   <;>"));
    QCOMPARE(Panel(form_.get(), "StatusBar3", 2), QStringLiteral("Десятичн. разделит.: <.>"));
    // LoadFormat ran: the shown entries' captions in grid order, the new width.
    const QStringList captions{"Номер сделки", "Номер заявки", "Счет",      "Код ЦБ",
                               "Операция",     "Цена",         "Количество"};
    QCOMPARE(Grid()->model()->columnCount(), captions.size());
    for (int c = 0; c < captions.size(); ++c)
      QCOMPARE(Grid()->model()->headerData(c, Qt::Horizontal).toString(), captions[c]);
    QCOMPARE(Grid()->columnWidth(2), 85);
    QCOMPARE(Grid()->columnWidth(3), 90);
    // The file on disk holds the change.
    QVERIFY(drs::Cp1251ToUtf8(ReadAll(FormatCopy()).toStdString()).find("Счет;5;Да;3;85;") !=
            std::string::npos);
  }

  void reportShownAndMarked() {
    messages_.Clear();
    QTest::mouseClick(Child<QToolButton>(form_.get(), "OpenBtn"), Qt::LeftButton);
    QVERIFY2(messages_.Texts().empty(), messages_.Texts().empty() ? "" : messages_.Texts()[0].c_str());
    ApplyMarks(ex_, marked_, unmarked_);
    const int n = int(ex_.deals.size());
    QCOMPARE(Grid()->model()->rowCount(), n);
    QCOMPARE(Panel(form_.get(), "StatusBar2", 0), QStringLiteral("Всего %1 сделок").arg(n));
    QCOMPARE(Panel(form_.get(), "StatusBar2", 1),
             QStringLiteral("Отмеченных  сделок: %1").arg(marked_.size()));
    // Worked by hand from the example: rows 3, 4, 8, 9, 12, 19, 22, 25 and 27 stay out.
    QCOMPARE(marked_.size(), size_t(21));
    for (int r = 1; r <= n; ++r) {
      QCOMPARE(form_->Deals().IsMarked(r), marked_.count(r) == 1);
      QCOMPARE(Grid()->model()->index(r - 1, 2).data().toString().toStdString(),
               ex_.deals[size_t(r - 1)].account);
    }
    QVERIFY(Child<QToolButton>(form_.get(), "ExportBtn")->isEnabled());
  }

  void marksAdjustedByHand() {
    // Row 30 (account 140, in range) out; row 22 (account 50, below) in.
    QVERIFY(marked_.count(30) && !marked_.count(22));
    DoubleClickRow(30);
    QVERIFY(!form_->Deals().IsMarked(30));
    QCOMPARE(Panel(form_.get(), "StatusBar2", 1),
             QStringLiteral("Отмеченных  сделок: %1").arg(marked_.size() - 1));
    DoubleClickRow(22);
    QVERIFY(form_->Deals().IsMarked(22));
    QCOMPARE(Panel(form_.get(), "StatusBar2", 1),
             QStringLiteral("Отмеченных  сделок: %1").arg(marked_.size()));
    marked_.erase(30);
    marked_.insert(22);
    unmarked_.push_back(ex_.deals[29].account);
    for (int r = 1; r <= int(ex_.deals.size()); ++r)
      QCOMPARE(form_->Deals().IsMarked(r), marked_.count(r) == 1);
  }

  void journalListsUnmarkedAccounts() {
    messages_.Clear();
    QTest::mouseClick(Child<QToolButton>(form_.get(), "JournalBtn"), Qt::LeftButton);
    QVERIFY(messages_.Texts().empty());
    QVERIFY(journal_->isVisible());
    const std::string rule(27, '-');
    std::vector<std::string> expected{"Список неотмеченных счетов", rule};
    expected.insert(expected.end(), unmarked_.begin(), unmarked_.end());
    expected.push_back(rule);
    // The example's accounts: QQ7, the blank one, QQ7 again, 201, 1500, then 140 unmarked by hand.
    QCOMPARE(unmarked_, (std::vector<std::string>{"QQ7", "?", "QQ7", "201", "1500", "140"}));
    const auto& lines = journal_->Journal1()->Lines();
    std::vector<std::string> shown(lines.begin(), lines.end());
    QCOMPARE(shown, expected);
    // Written through to the journal file as well.
    std::vector<std::string> onDisk;
    for (std::string line :
         Split(drs::Cp1251ToUtf8(ReadAll(QString::fromStdString(drs::JournalFilePath())).toStdString()),
               '\n')) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty()) onDisk.push_back(line);
    }
    QCOMPARE(onDisk, expected);
    QTest::mouseClick(Child<QToolButton>(form_.get(), "JournalBtn"), Qt::LeftButton);
    QVERIFY(!journal_->isVisible());
    journal_->Journal1()->SetActive(false);
  }

  void exportUnderTheProgressWindow() {
    rows_ = ExpectedRows(ex_, marked_, ex_.orderSqueeze);
    QVERIFY(!QFile::exists(OutTable()));
    int progressWindows = 0;
    bool disabledMeanwhile = false;
    bool buttonInside = false;
    QTimer closer;
    connect(&closer, &QTimer::timeout, [&] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* progress = qobject_cast<drs::TProgressForm*>(w);
        if (progress && progress->isVisible() && progress->IsDone()) {
          ++progressWindows;
          disabledMeanwhile = !form_->isEnabled();
          // The operator must see the whole button to press it.
          QAbstractButton* button = drs::test::FindButton(progress, "Готово");
          buttonInside =
              button && progress->rect().contains(QRect(button->mapTo(progress, QPoint()), button->size()));
          if (QAbstractButton* done = drs::test::FindButton(progress, "Готово"))
            done->click();
          else
            progress->close();
        }
      }
    });
    closer.start(20);
    messages_.Clear();
    QTest::mouseClick(Child<QToolButton>(form_.get(), "ExportBtn"), Qt::LeftButton);
    closer.stop();
    QCOMPARE(messages_.Texts(), std::vector<std::string>{"Создать файл " + OutTable().toStdString() + " ?"});
    QCOMPARE(messages_.Messages()[0].kind, drs::MsgKind::Question);
    QCOMPARE(progressWindows, 1);
    QVERIFY(disabledMeanwhile);
    QVERIFY(buttonInside);
    QVERIFY(form_->isEnabled());

    // By hand: 21 marked deals, merged runs 1+2, 6+7, 13..15, 20+21, 28+29.
    QCOMPARE(rows_.size(), size_t(15));
    QCOMPARE(Panel(form_.get(), "StatusBar1", 0), QString::number(rows_.size()));
    QCOMPARE(form_->OutputTableView()->RecordCount(), qint64(rows_.size()));

    // The control totals close the journal: heading, rule, a line per security
    // and direction, rule, total, verdict.
    QVERIFY(journal_->isVisible());
    const auto& journal = journal_->Journal1()->Lines();
    const auto heading = std::find(journal.begin(), journal.end(), "Контрольные суммы экспорта в DEALS");
    QVERIFY(heading != journal.end());
    std::set<std::pair<std::string, int>> securities;
    for (const Row& r : rows_) securities.insert({r.ticker, r.opertype});
    QCOMPARE(size_t(journal.end() - heading), securities.size() + 5);
    QCOMPARE(journal.back(), std::string("Контрольные суммы сходятся"));
    journal_->hide();
  }

  void writtenTableReadByteByByte() {
    const DbfTable t = ParseDbf(ReadAll(OutTable()));
    QCOMPARE(t.fields, (std::vector<std::string>{"CLIENTID", "TICKER", "OPERTYPE", "PRICE", "QTY", "DATES",
                                                 "SDEL", "BROCID"}));
    QCOMPARE(t.headerCount, uint32_t(rows_.size()));
    QVERIFY(t.sizeMatches);
    QCOMPARE(t.records.size(), rows_.size());
    const std::string date =
        ex_.tradeDate.substr(6, 4) + ex_.tradeDate.substr(3, 2) + ex_.tradeDate.substr(0, 2);
    for (size_t i = 0; i < rows_.size(); ++i) {
      const std::vector<std::string>& rec = t.records[i];
      const Row& want = rows_[i];
      const QByteArray where = QByteArray("record ") + QByteArray::number(qulonglong(i));
      QVERIFY2(TrimRight(rec[0]) == want.client, where + " CLIENTID " + rec[0].c_str());
      QVERIFY2(TrimRight(rec[1]) == want.ticker, where + " TICKER " + rec[1].c_str());
      QVERIFY2(Trim(rec[2]) == std::to_string(want.opertype), where + " OPERTYPE " + rec[2].c_str());
      // Numbers right-aligned with five decimals; the price went through "0.000".
      QVERIFY2(rec[3].size() == 20 && rec[3][0] == ' ' && rec[3].substr(rec[3].size() - 2) == "00",
               where + " PRICE " + rec[3].c_str());
      QVERIFY2(std::fabs(std::stod(rec[3]) - want.price) < 0.0006, where + " PRICE " + rec[3].c_str());
      QVERIFY2(std::stod(rec[4]) == want.qty, where + " QTY " + rec[4].c_str());
      QVERIFY2(rec[5] == date, where + " DATES " + rec[5].c_str());
      QVERIFY2(TrimRight(rec[6]) == want.sdel, where + " SDEL " + rec[6].c_str());
      QVERIFY2(TrimRight(rec[7]) == ex_.brokerAcc, where + " BROCID " + rec[7].c_str());
    }
    // Spot checks worked by hand: 1+2 is 5 lots of SBER (lot 10) at
    // (250.10*3 + 250.15*2)/5; 13..15 merge to 4 lots of LKOH (default lot).
    QCOMPARE(Trim(t.records[0][3]), std::string("250.12000"));
    QCOMPARE(Trim(t.records[0][4]), std::string("50.00000"));
    QCOMPARE(Trim(t.records[5][3]), std::string("6510.12500"));
    QCOMPARE(Trim(t.records[5][4]), std::string("400.00000"));
    QCOMPARE(TrimRight(t.records[5][0]), std::string("175"));
  }

  void writtenTableReadThroughTheEngine() {
    drs::TQuery q;
    q.SetDatabaseName(work_.path().toStdString());
    q.SetSQL("select CLIENTID,TICKER,OPERTYPE,PRICE,QTY,DATES,SDEL,BROCID from DEALS");
    q.Open();
    QCOMPARE(q.RecordCount(), int64_t(rows_.size()));
    size_t i = 0;
    for (q.First(); !q.Eof(); q.Next(), ++i) {
      QVERIFY(i < rows_.size());
      const Row& want = rows_[i];
      QCOMPARE(Trim(q.AsString("CLIENTID")), want.client);
      QCOMPARE(Trim(q.AsString("TICKER")), want.ticker);
      QCOMPARE(q.AsFloat("OPERTYPE"), double(want.opertype));
      QVERIFY(std::fabs(q.AsFloat("PRICE") - want.price) < 0.0006);
      QCOMPARE(q.AsFloat("QTY"), want.qty);
      QCOMPARE(Trim(q.AsString("SDEL")), want.sdel);
      QCOMPARE(Trim(q.AsString("BROCID")), ex_.brokerAcc);
    }
    QCOMPARE(i, rows_.size());
    q.Close();
    // The window's output grid shows the same rows.
    QCOMPARE(form_->OutputTableView()->RxDBGrid1()->model()->rowCount(), int(rows_.size()));
  }

  void turnoversBySecurity() {
    auto* mode = Child<TRadioGroup>(form_.get(), "OborotModeRadioGroup");
    QTest::mouseClick(mode->Item(0), Qt::LeftButton, {}, {6, 8});
    QCOMPARE(mode->ItemIndex(), 0);
    messages_.Clear();
    QTest::mouseClick(Child<QToolButton>(form_.get(), "NewOborotBtn"), Qt::LeftButton);
    QVERIFY(messages_.Texts().empty());
    const std::vector<std::vector<QString>> expected = BySecurity();
    QCOMPARE(expected.size(), size_t(4));
    CheckTurnoverGrid(expected, {"Наименование ЦБ ", "Куплено ", "Продано", "Сальдо."});
    QVERIFY(QFile::exists(work_.path() + "/ShOb.DBF"));
    QCOMPARE(ParseDbf(ReadAll(work_.path() + "/ShOb.DBF")).records.size(), expected.size());
  }

  void turnoversByAccount() {
    auto* mode = Child<TRadioGroup>(form_.get(), "OborotModeRadioGroup");
    QTest::mouseClick(mode->Item(1), Qt::LeftButton, {}, {6, 8});
    QCOMPARE(mode->ItemIndex(), 1);
    messages_.Clear();
    QTest::mouseClick(Child<QToolButton>(form_.get(), "NewOborotBtn"), Qt::LeftButton);
    QVERIFY(messages_.Texts().empty());
    std::map<std::pair<std::string, std::string>, std::pair<double, double>> sums;
    for (const Row& r : rows_) {
      auto& bs = sums[{r.client, r.ticker}];
      (r.opertype ? bs.first : bs.second) += r.qty;
    }
    std::vector<std::vector<QString>> expected;
    for (const auto& [key, bs] : sums)
      expected.push_back({QString::fromStdString(key.first), QString::fromStdString(key.second),
                          QString::number(bs.first), QString::number(bs.second),
                          QString::number(bs.first - bs.second)});
    CheckTurnoverGrid(expected, {"Номер ", "Наименование ЦБ ", "Куплено ", "Продано", "Сальдо."});
    QVERIFY(QFile::exists(work_.path() + "/CLOb.DBF"));
    QCOMPARE(ParseDbf(ReadAll(work_.path() + "/CLOb.DBF")).records.size(), expected.size());
  }

  // The same day exported again: overwrite keeps one copy, append doubles it.
  void exportedAgainOverwriteThenAppend() {
    messages_.Clear();
    QCOMPARE(RunExport(), 1);
    QCOMPARE(messages_.Texts(),
             std::vector<std::string>{"Выходной файл существует и будет перезаписан, продолжать?"});
    QCOMPARE(ParseDbf(ReadAll(OutTable())).records.size(), rows_.size());
    QCOMPARE(Panel(form_.get(), "StatusBar1", 0), QString::number(rows_.size()));

    // "Нет" leaves the table as it is and shows no progress window.
    messages_.Clear();
    messages_.Answer(drs::kAnswerNo);
    QCOMPARE(RunExport(), 0);
    QCOMPARE(messages_.Texts().size(), size_t(1));
    QCOMPARE(ParseDbf(ReadAll(OutTable())).records.size(), rows_.size());

    auto* mode = Child<TRadioGroup>(form_.get(), "WriteModeRadioGroup");
    QTest::mouseClick(mode->Item(1), Qt::LeftButton, {}, {6, 8});
    QCOMPARE(mode->ItemIndex(), 1);
    messages_.Clear();
    QCOMPARE(RunExport(), 1);
    QCOMPARE(messages_.Texts(),
             std::vector<std::string>{"Выходной файл существует,режим дозаписи, продолжать?"});
    const DbfTable t = ParseDbf(ReadAll(OutTable()));
    QCOMPARE(t.records.size(), 2 * rows_.size());
    QVERIFY(t.sizeMatches);
    for (size_t i = 0; i < rows_.size(); ++i) QCOMPARE(t.records[i + rows_.size()], t.records[i]);
    QCOMPARE(Panel(form_.get(), "StatusBar1", 0), QString::number(2 * rows_.size()));
    QTest::mouseClick(mode->Item(0), Qt::LeftButton, {}, {6, 8});
  }

  // Client squeeze alone: the single deals of one account, security and
  // direction merge, weighted by quantity, under the first deal's SDEL.
  void clientSqueezeWithoutTheOrderSqueeze() {
    std::vector<Row> lines = ExpectedRows(ex_, marked_, false);
    QCOMPARE(lines.size(), marked_.size());
    for (Row& r : lines) r.price = std::round(r.price * 1000) / 1000;
    std::vector<Row> expected;
    std::vector<double> amounts;
    for (const Row& r : lines) {
      auto same = std::find_if(expected.begin(), expected.end(), [&](const Row& e) {
        return e.client == r.client && e.ticker == r.ticker && e.opertype == r.opertype;
      });
      if (same == expected.end()) {
        expected.push_back(r);
        amounts.push_back(r.price * r.qty);
      } else {
        amounts[size_t(same - expected.begin())] += r.price * r.qty;
        same->qty += r.qty;
      }
    }
    for (size_t i = 0; i < expected.size(); ++i) expected[i].price = amounts[i] / expected[i].qty;
    QVERIFY(expected.size() < lines.size());

    Child<QCheckBox>(form_.get(), "SqueeseClaineCheckBox")->setChecked(false);
    Child<QCheckBox>(form_.get(), "SqueeseClientCheckBox")->setChecked(true);
    messages_.Clear();
    QCOMPARE(RunExport(), 1);
    Child<QCheckBox>(form_.get(), "SqueeseClientCheckBox")->setChecked(false);
    Child<QCheckBox>(form_.get(), "SqueeseClaineCheckBox")->setChecked(true);
    QCOMPARE(messages_.Texts(),
             std::vector<std::string>{"Выходной файл существует и будет перезаписан, продолжать?"});
    const DbfTable t = ParseDbf(ReadAll(OutTable()));
    QCOMPARE(t.records.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      QCOMPARE(TrimRight(t.records[i][0]), expected[i].client);
      QCOMPARE(TrimRight(t.records[i][1]), expected[i].ticker);
      QVERIFY(std::fabs(std::stod(t.records[i][3]) - expected[i].price) < 0.0006);
      QCOMPARE(std::stod(t.records[i][4]), expected[i].qty);
      QCOMPARE(TrimRight(t.records[i][6]), expected[i].sdel);
    }
  }

  // For the documentation: with DRS_ROAD_SHOT naming a PNG file, the
  // finished window is photographed from the screen (run on a real display).
  void finishedWindowPicture() {
    const QString shot = qEnvironmentVariable("DRS_ROAD_SHOT");
    if (shot.isEmpty()) QSKIP("DRS_ROAD_SHOT not set");
    form_->move(0, 0);
    form_->raise();
    QTest::qWait(500);
    const QRect r = form_->frameGeometry();
    const QString crop = QStringLiteral("%1x%2+%3+%4").arg(r.width()).arg(r.height()).arg(r.x()).arg(r.y());
    QCOMPARE(QProcess::execute("import", {"-window", "root", "-crop", crop, shot}), 0);
    QVERIFY(QFile::exists(shot));
  }

  // Next morning: the format saved in the editor loads at show, the values
  // come back, the hand marks do not.
  void nextStartKeepsTheFormat() {
    form_->close();
    form_.reset();
    messages_.Clear();
    form_ = std::make_unique<TMMVBForm>();
    form_->SetJournalForm(journal_.get());
    form_->show();
    QVERIFY2(messages_.Texts().empty(), messages_.Texts().empty() ? "" : messages_.Texts()[0].c_str());
    QCOMPARE(Panel(form_.get(), "StatusBar3", 0), "Файл настройки параметров: " + FormatCopy());
    QCOMPARE(Grid()->columnWidth(2), 85);
    QCOMPARE(Child<TRadioGroup>(form_.get(), "WriteModeRadioGroup")->ItemIndex(), 0);
    QCOMPARE(Child<TRadioGroup>(form_.get(), "OborotModeRadioGroup")->ItemIndex(), 1);
    QVERIFY(Child<QCheckBox>(form_.get(), "SqueeseClaineCheckBox")->isChecked());
    QVERIFY(!Child<QCheckBox>(form_.get(), "SqueeseClientCheckBox")->isChecked());
    QTest::mouseClick(Child<QToolButton>(form_.get(), "OpenBtn"), Qt::LeftButton);
    QVERIFY(messages_.Texts().empty());
    marked_.erase(22);
    marked_.insert(30);
    for (int r = 1; r <= int(ex_.deals.size()); ++r)
      QCOMPARE(form_->Deals().IsMarked(r), marked_.count(r) == 1);
    rows_ = ExpectedRows(ex_, marked_, ex_.orderSqueeze);
    QCOMPARE(Panel(form_.get(), "StatusBar2", 1),
             QStringLiteral("Отмеченных  сделок: %1").arg(marked_.size()));
  }

  // An output file typed in double quotes, in a folder with a blank and
  // with a Cyrillic name.
  void exportToAQuotedCyrillicPath() {
    const QString folder = work_.path() + "/out dir";
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + "/ДЕНЬ.DBF";
    auto* edit = Child<drs::TFilenameEdit>(form_.get(), "OutFilenameEdit");
    // Typed as the operator types: one key event per character.
    edit->Edit()->clear();
    for (QChar ch : "\"" + path + "\"") {
      QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
      QApplication::sendEvent(edit->Edit(), &press);
    }
    QCOMPARE(form_->OutFileName(), ("\"" + path + "\"").toStdString());
    messages_.Clear();
    QCOMPARE(RunExport(), 1);
    QCOMPARE(messages_.Texts(), std::vector<std::string>{"Создать файл " + path.toStdString() + " ?"});
    const DbfTable t = ParseDbf(ReadAll(path));
    QCOMPARE(t.records.size(), rows_.size());
    for (size_t i = 0; i < rows_.size(); ++i) {
      QCOMPARE(TrimRight(t.records[i][0]), rows_[i].client);
      QCOMPARE(TrimRight(t.records[i][1]), rows_[i].ticker);
      QCOMPARE(std::stod(t.records[i][4]), rows_[i].qty);
      QCOMPARE(TrimRight(t.records[i][6]), rows_[i].sdel);
    }
    QCOMPARE(Panel(form_.get(), "StatusBar1", 0), QString::number(rows_.size()));
    QCOMPARE(form_->OutputTableView()->RxDBGrid1()->model()->rowCount(), int(rows_.size()));

    // Turnovers read the table under its quoted name.
    auto* mode = Child<TRadioGroup>(form_.get(), "OborotModeRadioGroup");
    QTest::mouseClick(mode->Item(0), Qt::LeftButton, {}, {6, 8});
    messages_.Clear();
    QTest::mouseClick(Child<QToolButton>(form_.get(), "NewOborotBtn"), Qt::LeftButton);
    QVERIFY(messages_.Texts().empty());
    CheckTurnoverGrid(BySecurity(), {"Наименование ЦБ ", "Куплено ", "Продано", "Сальдо."});
  }

  // Another trade date and broker code reach every row of the next export.
  void tradeDateAndBrokerFromTheWindow() {
    auto* date = Child<QDateEdit>(form_.get(), "TorgDateEdit");
    date->setFocus();
    date->setDate(QDate(2026, 3, 9));
    QCOMPARE(date->text(), QStringLiteral("09.03.2026"));
    auto* broker = Child<QLineEdit>(form_.get(), "BrokerAccEdit");
    broker->clear();
    QTest::keyClicks(broker, "BRK 2");
    messages_.Clear();
    QCOMPARE(RunExport(), 1);
    QCOMPARE(messages_.Texts().size(), size_t(1));  // the overwrite question
    const DbfTable t = ParseDbf(ReadAll(work_.path() + "/out dir/ДЕНЬ.DBF"));
    QCOMPARE(t.records.size(), rows_.size());
    for (const std::vector<std::string>& rec : t.records) {
      QCOMPARE(rec[5], std::string("20260309"));
      QCOMPARE(TrimRight(rec[7]), std::string("BRK 2"));
    }
  }

  // "Отмена" during the insertion: what was written stays, the window is
  // usable again, the output grid waits for a refresh.
  // "Отмена" in the progress window, and closing the main window during the
  // export, which counts as "Отмена": the table stays byte for byte, and the
  // status bar and the journal say so.
  void exportCancelledMidway() {
    const QString path = work_.path() + "/out dir/ДЕНЬ.DBF";
    const QByteArray before = ReadAll(path);
    const int recordsBefore = int(ParseDbf(before).records.size());
    for (bool byClosing : {false, true}) {
      int cancelled = 0;
      QTimer canceller;
      connect(&canceller, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
          auto* progress = qobject_cast<drs::TProgressForm*>(w);
          if (progress && progress->isVisible() && !progress->IsDone() && cancelled == 0) {
            ++cancelled;
            if (byClosing) {
              QVERIFY(!form_->close());
            } else if (QAbstractButton* cancel = drs::test::FindButton(progress, "Отмена")) {
              cancel->click();
            }
          }
        }
      });
      canceller.start(0);
      messages_.Clear();
      QTest::mouseClick(Child<QToolButton>(form_.get(), "ExportBtn"), Qt::LeftButton);
      canceller.stop();
      QCOMPARE(cancelled, 1);
      const std::vector<std::string> texts = messages_.Texts();
      QCOMPARE(texts.size(), size_t(2));
      QCOMPARE(texts[0], std::string("Выходной файл существует и будет перезаписан, продолжать?"));
      QVERIFY2(texts[1].rfind("Процесс прерван на шаге ' Экспорт данных' ", 0) == 0, texts[1].c_str());
      QVERIFY(form_->isEnabled());
      QVERIFY(form_->isVisible());
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
      for (QWidget* w : QApplication::topLevelWidgets()) QVERIFY(!qobject_cast<drs::TProgressForm*>(w));
      QCOMPARE(ReadAll(path), before);
      QCOMPARE(Panel(form_.get(), "StatusBar1", 0), QString::number(recordsBefore));
      const auto& journal = journal_->Journal1()->Lines();
      QVERIFY(std::find(journal.begin(), journal.end(),
                        "Таблица ДЕНЬ не изменена, записей в ней: " + std::to_string(recordsBefore)) !=
              journal.end());
      QCOMPARE(form_->OutputTableView()->RxDBGrid1()->model()->rowCount(), 0);
    }
  }

  // A substitution added in the editor mid-day: saved with the old lines
  // (the Cyrillic code among them) and the report reloaded at once.
  void substitutionAddedInTheEditor() {
    QTest::mouseClick(Child<QToolButton>(form_.get(), "ReplaceListBtn"), Qt::LeftButton);
    QList<drs::TReplaceForm*> editors = form_->findChildren<drs::TReplaceForm*>();
    QCOMPARE(editors.size(), 1);
    drs::TReplaceForm* editor = editors[0];
    QPlainTextEdit* memo = editor->Memo();
    QCOMPARE(memo->toPlainText().count('\n'), 2);  // the three stored lines
    memo->setFocus();
    memo->moveCursor(QTextCursor::End);
    QTest::keyClick(memo, Qt::Key_Return);
    QTest::keyClicks(memo, "$QQ7=150;");
    messages_.Clear();
    Child<QToolButton>(editor, "SaveBtn")->click();
    QVERIFY2(messages_.Texts().empty(), messages_.Texts().empty() ? "" : messages_.Texts()[0].c_str());
    editor->close();

    drs::IniFile settings(drs::SettingsFilePath());
    QCOMPARE(settings.ReadString("ReplaceList", "Count", ""), std::string("4"));
    QCOMPARE(settings.ReadString("ReplaceList", "Item3", ""), std::string("$QQ7=150;"));

    Example ex = LoadExample();
    ex.substitutions.emplace("QQ7", "150");
    std::set<int> marked;
    std::vector<std::string> unmarked;
    ApplyMarks(ex, marked, unmarked);
    QCOMPARE(marked.size(), marked_.size() + 2);  // rows 8 and 19
    for (int r = 1; r <= int(ex.deals.size()); ++r) {
      QCOMPARE(form_->Deals().IsMarked(r), marked.count(r) == 1);
      QCOMPARE(Grid()->model()->index(r - 1, 2).data().toString().toStdString(),
               ex.deals[size_t(r - 1)].account);
    }
    QCOMPARE(Panel(form_.get(), "StatusBar2", 1),
             QStringLiteral("Отмеченных  сделок: %1").arg(marked.size()));
    QCOMPARE(form_->Deals().UnmarkedAccounts(), unmarked);
  }

  void cleanupTestCase() {
    form_.reset();
    journal_.reset();
    scoped_.reset();
    QDir::setCurrent(previousDir_);
  }
};

QTEST_MAIN(TestWholeRoad)
#include "test_whole_road.moc"
