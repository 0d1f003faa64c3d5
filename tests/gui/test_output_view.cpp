#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "engine/Query.h"
#include "export/Export.h"
#include "export/Turnovers.h"
#include "export/ui/OutputView.h"
#include "export/ui/TDBGrid.h"
#include "export/ui/TDBNavigator.h"
#include "export/ui/TDataSource.h"
#include "support/Messages.h"
#include "support/ui/TFilenameEdit.h"

namespace fs = std::filesystem;
using namespace drs;

namespace {

// Records every message and answers questions with a set answer.
struct Recorder : MessageHandler {
  std::vector<MessageRequest> seen;
  std::vector<std::vector<std::string>> details;
  int answer = kAnswerYes;
  int Show(const MessageRequest& r) override {
    seen.push_back(r);
    details.push_back(r.details ? *r.details : std::vector<std::string>{});
    return answer;
  }
};

void MakeTable(const std::string& path, int rows) {
  drs::CreateOutputTable(path);
  TQuery q;
  q.SetDatabaseName(fs::path(path).parent_path().string());
  q.SetSQL({"insert into %M (CLIENTID,TICKER,OPERTYPE,PRICE,QTY,DATES,SDEL,BROCID)", "values",
            "(:CLIENTID,:TICKER,:OPERTYPE,:PRICE,:QTY,:DATE,:SDEL,:BROCID)"});
  q.SetMacro("M", MacroTableName(fs::path(path).stem().string()));
  q.RegenerateSQL();
  for (int i = 0; i < rows; ++i) {
    q.SetString("CLIENTID", std::to_string(1001 + i));
    q.SetString("TICKER", "GAZP");
    q.SetFloat("OPERTYPE", i % 2);
    q.SetFloat("PRICE", 100.5);
    q.SetFloat("QTY", 1234567);
    q.SetDate("DATE", 2024, 3, 15);
    q.SetString("SDEL", "7");
    q.SetString("BROCID", "BRK");
    q.ExecSQL();
  }
}

// What the table holds, one "CLIENTID TICKER" text a row.
std::vector<std::string> Stored(const std::string& folder) {
  TQuery q;
  q.SetDatabaseName(folder);
  q.SetSQL("select CLIENTID, TICKER from \"OUT\"");
  q.Open();
  std::vector<std::string> rows;
  for (int64_t r = 0; r < q.RecordCount(); ++r)
    rows.push_back(q.Row(r)[0].AsString() + " " + q.Row(r)[1].AsString());
  return rows;
}

// Keys as the operator types them, each to the control that has the focus.
void Type(const QString& text) {
  for (QChar ch : text) QTest::keyClick(QApplication::focusWidget(), ch.toLatin1());
}

uint32_t CountIn(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string b((std::istreambuf_iterator<char>(in)), {});
  auto u = [&](size_t i) { return uint32_t(static_cast<unsigned char>(b[i])); };
  return u(4) | u(5) << 8 | u(6) << 16 | u(7) << 24;
}

}  // namespace

class TestOutputView : public QObject {
  Q_OBJECT
 private:
  fs::path dir;
  Recorder rec;
  std::unique_ptr<ScopedMessageHandler> scope;

 private slots:
  void init() {
    dir = fs::temp_directory_path() / ("drs_outview_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    qputenv("XDG_CONFIG_HOME", dir.string().c_str());
    rec = Recorder();
    scope = std::make_unique<ScopedMessageHandler>(&rec);
  }
  void cleanup() {
    scope.reset();
    fs::remove_all(dir);
  }

  void opensOnPressAndShowsColumns() {
    std::string out = (dir / "Deals.dbf").string();
    MakeTable(out, 3);
    OutputView view;
    view.show();
    QSignalSpy counted(&view, &OutputView::recordCountShown);
    view.OutFilenameEdit()->SetText(QString::fromStdString(out));
    QTest::mouseClick(view.NewDealBtn(), Qt::LeftButton);
    QCOMPARE(counted.count(), 1);
    QCOMPARE(counted[0][0].toLongLong(), 3);
    QCOMPARE(view.NewDealBtn()->toolTip(), QString("Обновить"));
    TDBGrid* g = view.RxDBGrid1();
    QCOMPARE(g->objectName(), QString("RxDBGrid1"));
    QCOMPARE(g->model()->rowCount(), 3);
    QCOMPARE(g->model()->headerData(0, Qt::Horizontal).toString(), QString("Клиент"));
    QCOMPARE(g->model()->headerData(7, Qt::Horizontal).toString(), QString("Брокер"));
    QCOMPARE(g->columnWidth(0), 40);
    QCOMPARE(g->columnWidth(1), 100);
    QCOMPARE(g->columnWidth(2), 35);
    QCOMPARE(g->columnWidth(7), 125);
    QCOMPARE(g->model()->data(g->model()->index(0, 0), Qt::TextAlignmentRole).value<Qt::Alignment>(),
             Qt::AlignRight | Qt::AlignVCenter);
    QCOMPARE(g->CellText(1, 0), QString("1002"));
    QCOMPARE(g->CellText(1, 2), QString("1"));
    QCOMPARE(g->CellText(0, 5), QString("15.03.2024"));
    QVERIFY(rec.seen.empty());
  }

  void emptyOrBadPathReportsCannotOpen() {
    OutputView view;
    QSignalSpy counted(&view, &OutputView::recordCountShown);
    QTest::mouseClick(view.NewDealBtn(), Qt::LeftButton);
    QCOMPARE(rec.seen.size(), size_t(1));
    QCOMPARE(QString::fromStdString(rec.seen[0].text), QString("Не могу открыть файл"));
    QVERIFY(!rec.details[0].empty());
    QCOMPARE(counted[0][0].toLongLong(), 0);
    std::ofstream(dir / "junk.dbf") << "not a table";
    QVERIFY(!view.OpenOutputView((dir / "junk.dbf").string()));
    QCOMPARE(rec.seen.size(), size_t(2));
    QVERIFY(QString::fromStdString(rec.details[1][0]).contains("junk.dbf"));
    QCOMPARE(view.RxDBGrid1()->model()->rowCount(), 0);
  }

  void editInsertDeleteReachTheFile() {
    std::string out = (dir / "OUT.DBF").string();
    MakeTable(out, 3);
    OutputView view;
    view.show();
    QVERIFY(view.OpenOutputView("\"" + out + "\""));
    TDBGrid* g = view.RxDBGrid1();
    TDBNavigator* nav = view.DBNavigator1();
    // Edit a cell: written at once.
    QVERIFY(g->model()->setData(g->model()->index(0, 1), "SBER", Qt::EditRole));
    {
      TQuery q;
      q.SetDatabaseName(dir.string());
      q.SetSQL("select TICKER from \"OUT\"");
      q.Open();
      QCOMPARE(QString::fromStdString(q.AsString(0)), QString("SBER"));
    }
    // A value too long for its column is refused with a message.
    QVERIFY(!g->model()->setData(g->model()->index(0, 0), QString(17, '9'), Qt::EditRole));
    QCOMPARE(rec.seen.size(), size_t(1));

    // Insert through the navigator, fill, post.
    QTest::mouseClick(nav->ButtonAt(TDBNavigator::Insert), Qt::LeftButton);
    QCOMPARE(g->model()->rowCount(), 4);
    QCOMPARE(view.OutDataSource()->CurrentRow(), 3);
    QVERIFY(g->model()->setData(g->model()->index(3, 0), "2000", Qt::EditRole));
    QVERIFY(g->model()->setData(g->model()->index(3, 5), "01.02.2024", Qt::EditRole));
    QTest::mouseClick(nav->ButtonAt(TDBNavigator::Post), Qt::LeftButton);
    QCOMPARE(CountIn(out), 4u);
    QCOMPARE(g->CellText(3, 0), QString("2000"));

    // An inserted row left empty is dropped when the cursor moves away.
    nav->Press(TDBNavigator::Insert);
    QCOMPARE(g->model()->rowCount(), 5);
    nav->Press(TDBNavigator::First);
    QCOMPARE(g->model()->rowCount(), 4);
    QCOMPARE(CountIn(out), 4u);

    // Delete asks; "Нет" keeps the row, "Да" removes it from the table.
    rec.answer = kAnswerNo;
    nav->Press(TDBNavigator::Delete);
    QCOMPARE(g->model()->rowCount(), 4);
    QCOMPARE(QString::fromStdString(rec.seen.back().text), QString("Удалить запись?"));
    rec.answer = kAnswerYes;
    nav->Press(TDBNavigator::Delete);
    QCOMPARE(g->model()->rowCount(), 3);
    TQuery q;
    q.SetDatabaseName(dir.string());
    q.SetSQL("select count(*) from \"OUT\" where clientid='1001'");
    q.Open();
    QCOMPARE(q.AsString(0), std::string("0"));
    nav->Press(TDBNavigator::Refresh);
    QCOMPARE(g->model()->rowCount(), 3);
    nav->Press(TDBNavigator::Last);
    QCOMPARE(view.OutDataSource()->CurrentRow(), 2);
  }

  // Text typed into the grid reaches the table through ✓ and ↻; × and a
  // focus change drop what was not meant to be kept.
  void typedEditsArePostedOrDropped() {
    std::string out = (dir / "OUT.DBF").string();
    struct Case {
      const char* name;
      std::function<void(OutputView&)> act;
      std::vector<std::string> stored;  // rows after the act
      int shown;                        // grid rows after the act
    };
    auto press = [](OutputView& v, TDBNavigator::Button b) {
      QTest::mouseClick(v.DBNavigator1()->ButtonAt(b), Qt::LeftButton);
    };
    auto newRow = [press](OutputView& v) {
      press(v, TDBNavigator::Insert);
      v.RxDBGrid1()->setCurrentIndex(v.RxDBGrid1()->model()->index(1, 0));
      Type("888");
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      Type("ZZZ");
    };
    auto editFirst = [](OutputView& v) {
      v.RxDBGrid1()->setCurrentIndex(v.RxDBGrid1()->model()->index(0, 1));
      Type("SBER");
    };
    const std::vector<Case> cases = {
        {"new row, post",
         [&](OutputView& v) {
           newRow(v);
           press(v, TDBNavigator::Post);
         },
         {"1001 GAZP", "888 ZZZ"},
         2},
        {"new row, refresh",
         [&](OutputView& v) {
           newRow(v);
           press(v, TDBNavigator::Refresh);
         },
         {"1001 GAZP", "888 ZZZ"},
         2},
        {"new row, output refresh button",
         [&](OutputView& v) {
           newRow(v);
           QTest::mouseClick(v.NewDealBtn(), Qt::LeftButton);
         },
         {"1001 GAZP", "888 ZZZ"},
         2},
        {"new row, cancel",
         [&](OutputView& v) {
           newRow(v);
           press(v, TDBNavigator::Cancel);
         },
         {"1001 GAZP"},
         1},
        {"edit button, post",
         [&](OutputView& v) {
           v.RxDBGrid1()->setCurrentIndex(v.RxDBGrid1()->model()->index(0, 1));
           press(v, TDBNavigator::Edit);
           QVERIFY(v.DBNavigator1()->ButtonAt(TDBNavigator::Post)->isEnabled());
           QVERIFY(v.DBNavigator1()->ButtonAt(TDBNavigator::Cancel)->isEnabled());
           qobject_cast<QLineEdit*>(QApplication::focusWidget())->selectAll();
           Type("LKOH");
           press(v, TDBNavigator::Post);
         },
         {"1001 LKOH"},
         1},
        {"typed cell, post",
         [&](OutputView& v) {
           editFirst(v);
           press(v, TDBNavigator::Post);
         },
         {"1001 SBER"},
         1},
        {"typed cell, refresh",
         [&](OutputView& v) {
           editFirst(v);
           press(v, TDBNavigator::Refresh);
         },
         {"1001 SBER"},
         1},
        {"typed cell, cancel",
         [&](OutputView& v) {
           editFirst(v);
           press(v, TDBNavigator::Cancel);
         },
         {"1001 GAZP"},
         1},
        {"unchanged new row, focus elsewhere",
         [&](OutputView& v) {
           press(v, TDBNavigator::Insert);
           QCOMPARE(v.RxDBGrid1()->model()->rowCount(), 2);
           v.OutFilenameEdit()->Edit()->setFocus();
         },
         {"1001 GAZP"},
         1},
    };
    for (const Case& c : cases) {
      fs::remove(out);
      MakeTable(out, 1);
      OutputView view;
      view.OutFilenameEdit()->SetText(QString::fromStdString(out));
      view.show();
      QVERIFY(QTest::qWaitForWindowActive(&view));
      QVERIFY(view.OpenOutputView(out));
      view.RxDBGrid1()->setFocus();
      QSignalSpy header(view.RxDBGrid1()->model(), &QAbstractItemModel::headerDataChanged);
      c.act(view);
      QCoreApplication::processEvents();
      QVERIFY2(Stored(dir.string()) == c.stored, c.name);
      TDBGrid* g = view.RxDBGrid1();
      QVERIFY2(g->model()->rowCount() == c.shown, c.name);
      QVERIFY2(!g->Editing(), c.name);
      QVERIFY2(!view.DBNavigator1()->ButtonAt(TDBNavigator::Post)->isEnabled(), c.name);
      // No "*" left on a row that is stored, and the indicator was told so.
      for (int r = 0; r < g->model()->rowCount(); ++r)
        QVERIFY2(g->model()->headerData(r, Qt::Vertical).toString() != "*", c.name);
      if (c.stored.size() == 2 && QString(c.name).endsWith("post")) QVERIFY2(!header.isEmpty(), c.name);
      QVERIFY2(rec.seen.empty(), c.name);
    }
  }

  void navigatorFollowsFocusedGrid() {
    std::string out = (dir / "OUT.DBF").string();
    MakeTable(out, 2);
    fs::path cwd = fs::current_path();
    CreateTurnoverTable((dir / "ShOb.DBF").string(), false);
    TQuery ins;
    ins.SetDatabaseName(dir.string());
    ins.SetSQL("insert into shob (ticker,buy,sal,saldo) values (:ticker,:buy,:sal,:saldo)");
    for (const char* t : {"GAZP", "LKOH", "SBER"}) {
      ins.SetString("ticker", t);
      ins.SetFloat("buy", 1234567);
      ins.SetFloat("sal", 0);
      ins.SetFloat("saldo", 1234567);
      ins.ExecSQL();
    }
    TQuery turnover;
    turnover.SetDatabaseName(dir.string());
    turnover.SetSQL("select ticker,buy,sal,saldo from shob order by ticker");
    turnover.Open();
    TDataSource oborot;
    oborot.SetDataSet(&turnover);

    QWidget window;
    auto* view = new OutputView(&window);
    auto* ob = new TDBGrid(&window);
    ob->setObjectName("ObDBGrid");
    ob->SetDataSource(&oborot);
    ob->SetColumns({{"ticker", "Наименование ЦБ ", 125, Qt::AlignLeft, {}},
                    {"buy", "Куплено ", 65, Qt::AlignRight, ",0"}});
    view->AttachGrid(ob, &oborot);
    auto& lay = *new QVBoxLayout(&window);
    lay.addWidget(view);
    lay.addWidget(ob);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(view->OpenOutputView(out));
    QCOMPARE(ob->CellText(0, 1), QLocale(QLocale::Russian).toString(1234567));
    QVERIFY(ob->CellText(0, 1) != QString("1234567"));

    ob->setFocus();
    QTRY_COMPARE(view->DBNavigator1()->DataSource(), &oborot);
    view->DBNavigator1()->Press(TDBNavigator::Last);
    QCOMPARE(oborot.CurrentRow(), 2);
    QCOMPARE(ob->currentIndex().row(), 2);
    QVERIFY(!view->DBNavigator1()->ButtonAt(TDBNavigator::Insert)->isEnabled());  // read-only
    view->RxDBGrid1()->setFocus();
    QTRY_COMPARE(view->DBNavigator1()->DataSource(), view->OutDataSource());
    view->DBNavigator1()->Press(TDBNavigator::Next);
    QCOMPARE(view->OutDataSource()->CurrentRow(), 1);
    QCOMPARE(oborot.CurrentRow(), 2);
    fs::current_path(cwd);
    view->CloseOutputView();
  }
};

QTEST_MAIN(TestOutputView)
#include "test_output_view.moc"
