// The collapsible panel driven by the mouse as the operator uses it.
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QtTest>
#include <memory>
#include <utility>

#include "support/ui/TDynamicPanel.h"

using namespace drs;

namespace {

void Send(QWidget* w, QEvent::Type type, QPoint local, Qt::MouseButton button = Qt::NoButton) {
  Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease || type == QEvent::MouseMove
                                 ? Qt::MouseButtons{}
                                 : Qt::MouseButtons{button};
  QMouseEvent e(type, QPointF(local), QPointF(w->mapToGlobal(local)), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}
void MoveTo(QWidget* w, QPoint p) { Send(w, QEvent::MouseMove, p); }
void DoubleClick(QWidget* w, QPoint p) {
  Send(w, QEvent::MouseButtonPress, p, Qt::LeftButton);
  Send(w, QEvent::MouseButtonRelease, p, Qt::LeftButton);
  Send(w, QEvent::MouseButtonDblClick, p, Qt::LeftButton);
  Send(w, QEvent::MouseButtonRelease, p, Qt::LeftButton);
}
// Presses at `from` (panel coordinates) and drags by `dy`/`dx` in screen terms.
void Drag(TDynamicPanel* p, QPoint from, int dx, int dy) {
  MoveTo(p, from);
  QPoint global = p->mapToGlobal(from);
  Send(p, QEvent::MouseButtonPress, from, Qt::LeftButton);
  for (int i = 1; i <= 4; ++i) {
    QPoint g = global + QPoint(dx * i / 4, dy * i / 4);
    QCoreApplication::processEvents();  // the layout moves the panel with its edge
    QMouseEvent e(QEvent::MouseMove, QPointF(p->mapFromGlobal(g)), QPointF(g), Qt::NoButton, Qt::LeftButton,
                  Qt::NoModifier);
    QApplication::sendEvent(p, &e);
  }
  QPoint g = global + QPoint(dx, dy);
  QMouseEvent up(QEvent::MouseButtonRelease, QPointF(p->mapFromGlobal(g)), QPointF(g), Qt::LeftButton, {},
                 Qt::NoModifier);
  QApplication::sendEvent(p, &up);
  QCoreApplication::processEvents();
}

// A window with a bottom panel of 211 pixels holding one label.
struct BottomHost {
  BottomHost() {
    host.resize(788, 526);
    auto* layout = new QVBoxLayout(&host);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QWidget(&host), 1);
    panel = new TDynamicPanel(&host, TDynamicPanel::Dock::Bottom);
    panel->SetHeight(211);
    child = new QLabel("RxDBGrid1", panel);
    child->setGeometry(5, 20, 100, 20);
    layout->addWidget(panel);
    host.show();
    QCoreApplication::processEvents();
  }
  QWidget host;
  TDynamicPanel* panel;
  QLabel* child;
};

}  // namespace

class TestDynamicPanel : public QObject {
  Q_OBJECT

 private slots:
  // Through the window system, as the mouse does it: a tool strip laid out
  // over the panel leaves the whole 3-pixel zone to the edge, and a press
  // right where the last drag ended, without a move, starts the next drag.
  void wholeEdgeZoneGrabbedEveryTime() {
    for (int zoneY = 0; zoneY < TDynamicPanel::kEdge; ++zoneY) {
      BottomHost h;
      auto* strip = new QWidget(h.panel);
      strip->setMouseTracking(true);
      auto* lay = new QVBoxLayout(h.panel);
      lay->setContentsMargins(0, 0, 0, 0);
      lay->addWidget(strip);
      lay->addStretch(1);
      strip->setFixedHeight(30);
      QCoreApplication::processEvents();
      QWindow* win = h.host.windowHandle();
      QPoint at(200, h.panel->y() + zoneY);
      QTest::mouseMove(win, at);
      QVERIFY2(h.panel->OverEdge(), QByteArray::number(zoneY));
      for (auto [dy, height] : {std::pair{-30, 241}, {20, 221}, {-10, 231}}) {
        QTest::mousePress(win, Qt::LeftButton, {}, at);
        at += QPoint(0, dy);
        QTest::mouseMove(win, at);
        QTest::mouseRelease(win, Qt::LeftButton, {}, at);
        QCOMPARE(h.panel->height(), height);
      }
    }
  }

  void doubleClickCollapsesGraduallyAndBack() {
    BottomHost h;
    QSignalSpy steps(h.panel, &TDynamicPanel::sizeApplied);
    QSignalSpy mini(h.panel, &TDynamicPanel::miniChange);
    QPoint middle(300, 100);
    MoveTo(h.panel, middle);
    DoubleClick(h.panel, middle);
    QCOMPARE(h.panel->height(), 12);
    QVERIFY(h.panel->SizeMinimized());
    QVERIFY(steps.count() >= 2 && steps.count() <= 12);
    QCOMPARE(steps.last()[0].toInt(), 12);
    QVERIFY(h.child->isHidden());
    QCOMPARE(mini.count(), 1);

    steps.clear();
    MoveTo(h.panel, QPoint(300, 6));
    DoubleClick(h.panel, QPoint(300, 6));
    QCOMPARE(h.panel->height(), 211);
    QVERIFY(steps.count() <= 12);
    QVERIFY(!h.child->isHidden());
    QVERIFY(!h.panel->SizeMinimized());
    QCOMPARE(mini.count(), 2);
  }

  void dragSetsTheRestoreSize() {
    BottomHost h;
    QSignalSpy sized(h.panel, &TDynamicPanel::sizeChange);
    MoveTo(h.panel, QPoint(300, 1));
    QVERIFY(h.panel->OverEdge());
    QCOMPARE(h.panel->cursor().shape(), Qt::SizeVerCursor);
    Drag(h.panel, QPoint(300, 1), 0, 111);
    QCOMPARE(h.panel->height(), 100);
    QCOMPARE(h.panel->SizeRestore(), 100);
    QCOMPARE(sized.count(), 1);
    QVERIFY(!h.panel->Dragging());
    QCOMPARE(h.panel->BevelOuter(), TDynamicPanel::Bevel::Raised);  // pressed look undone

    h.panel->SetSizeMinimized(true);
    QCOMPARE(h.panel->height(), 12);
    h.panel->SetSizeMinimized(false);
    QCOMPARE(h.panel->height(), 100);
  }

  void pressedLookWhileDragging() {
    BottomHost h;
    h.panel->SetBevelInner(TDynamicPanel::Bevel::Lowered);
    MoveTo(h.panel, QPoint(300, 0));
    Send(h.panel, QEvent::MouseButtonPress, QPoint(300, 0), Qt::LeftButton);
    QVERIFY(h.panel->Dragging());
    QCOMPARE(h.panel->BevelOuter(), TDynamicPanel::Bevel::Lowered);
    QCOMPARE(h.panel->BevelInner(), TDynamicPanel::Bevel::Raised);
    Send(h.panel, QEvent::MouseButtonRelease, QPoint(300, 0), Qt::LeftButton);
    QCOMPARE(h.panel->BevelOuter(), TDynamicPanel::Bevel::Raised);
    QCOMPARE(h.panel->BevelInner(), TDynamicPanel::Bevel::Lowered);
  }

  void dragBelowTheMinimumCollapses() {
    BottomHost h;
    QSignalSpy mini(h.panel, &TDynamicPanel::miniChange);
    QSignalSpy sized(h.panel, &TDynamicPanel::sizeChange);
    Drag(h.panel, QPoint(300, 1), 0, 400);
    QCOMPARE(h.panel->height(), 12);
    QVERIFY(h.child->isHidden());
    QCOMPARE(mini.count(), 1);
    QCOMPARE(sized.count(), 0);  // collapsed: no size report
    QCOMPARE(h.panel->SizeRestore(), 12);
    // Expanding a panel whose restore size is the minimum grows it by one.
    h.panel->SetSizeMinimized(false);
    QCOMPARE(h.panel->height(), 13);
    QVERIFY(!h.child->isHidden());
  }

  void doubleClickOnTheEdgeDoesNothing() {
    BottomHost h;
    MoveTo(h.panel, QPoint(300, 2));
    DoubleClick(h.panel, QPoint(300, 2));
    QCOMPARE(h.panel->height(), 211);
    MoveTo(h.panel, QPoint(300, 3));  // just outside the 3-pixel zone
    QVERIFY(!h.panel->OverEdge());
    DoubleClick(h.panel, QPoint(300, 3));
    QCOMPARE(h.panel->height(), 12);
  }

  void resizableAndDblClickOff() {
    BottomHost h;
    h.panel->Sizable().SetResizable(false);
    MoveTo(h.panel, QPoint(300, 1));
    QVERIFY(!h.panel->OverEdge());
    QCOMPARE(h.panel->cursor().shape(), Qt::ArrowCursor);
    Drag(h.panel, QPoint(300, 1), 0, 100);
    QCOMPARE(h.panel->height(), 211);

    h.panel->Sizable().SetDblClick(false);
    DoubleClick(h.panel, QPoint(300, 100));
    QCOMPARE(h.panel->height(), 211);
  }

  void sizesAreRaisedAndSixteenBit() {
    BottomHost h;
    h.panel->SetHeight(5);
    QCOMPARE(h.panel->height(), 12);
    h.panel->SetHeight(65536 + 150);
    QCOMPARE(h.panel->height(), 150);
    h.panel->Sizable().SetSizeMin(30);
    QCOMPARE(h.panel->height(), 150);
    h.panel->SetHeight(20);
    QCOMPARE(h.panel->height(), 30);
    h.panel->SetSizeRestore(10);
    QCOMPARE(h.panel->SizeRestore(), 30);
  }

  void leftPanelDragsItsRightEdge() {
    QWidget host;
    host.resize(788, 211);
    auto* layout = new QHBoxLayout(&host);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* panel = new TDynamicPanel(&host, TDynamicPanel::Dock::Left);
    panel->SetWidth(361);
    layout->addWidget(panel);
    layout->addWidget(new QWidget(&host), 1);
    host.show();
    QCoreApplication::processEvents();
    QPoint edge(359, 50);
    MoveTo(panel, edge);
    QCOMPARE(panel->cursor().shape(), Qt::SizeHorCursor);
    Drag(panel, edge, -61, 0);
    QCOMPARE(panel->width(), 300);
    QCOMPARE(panel->SizeRestore(), 300);
  }

  void scrollBoxPassesTheMouseOn() {
    BottomHost h;
    QScrollArea stranger;
    h.panel->SetScrolling(&stranger);
    QCOMPARE(h.panel->Scrolling(), nullptr);
    auto* box = new QScrollArea(h.panel);
    h.panel->SetScrolling(box);
    QCOMPARE(h.panel->Scrolling(), box);
    QCoreApplication::processEvents();
    QCOMPARE(box->geometry(), h.panel->rect());
    QCOMPARE(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    MoveTo(box->viewport(), QPoint(200, 100));
    DoubleClick(box->viewport(), QPoint(200, 100));
    QCOMPARE(h.panel->height(), 12);
    delete box;
    QCOMPARE(h.panel->Scrolling(), nullptr);
  }

  void listedControlsFollowTheWidth() {
    QWidget host;
    auto* panel = new TDynamicPanel(&host, TDynamicPanel::Dock::Top);
    panel->setGeometry(0, 0, 300, 100);
    auto* inner = new QWidget(panel);
    inner->setGeometry(0, 0, 300, 100);
    auto* grid = new QWidget(inner);
    grid->setObjectName("ObDBGrid");
    grid->setGeometry(10, 10, 50, 40);
    auto* button = new QPushButton(panel);
    button->setObjectName("NewOborotBtn");
    button->setGeometry(250, 10, 40, 20);
    panel->SetAlign_Controls({"ObDBGrid=50", "Missing=10", "Bad=x"});
    panel->SetRight_Controls({"NewOborotBtn=250"});
    panel->FinishLoading();
    host.resize(400, 200);
    host.show();

    panel->resize(220, 100);
    QCOMPARE(grid->width(), 0);
    QCOMPARE(panel->Align_Controls(), QStringList({"ObDBGrid=-30", "Missing=10", "Bad=x"}));
    QCOMPARE(button->x(), 170);
    panel->resize(300, 100);
    QCOMPARE(grid->width(), 50);
    QCOMPARE(panel->Align_Controls().first(), QString("ObDBGrid=50"));
    QCOMPARE(button->x(), 250);
    QCOMPARE(panel->Right_Controls(), QStringList({"NewOborotBtn=250"}));

    delete grid;
    QCOMPARE(panel->Align_Controls(), QStringList({"Missing=10", "Bad=x"}));
  }

  void freePanelCannotCollapse() {
    QWidget host;
    auto* panel = new TDynamicPanel(&host);
    panel->setGeometry(0, 0, 200, 200);
    host.show();
    QSignalSpy mini(panel, &TDynamicPanel::miniChange);
    DoubleClick(panel, QPoint(100, 100));
    QCOMPARE(panel->size(), QSize(200, 200));
    QCOMPARE(mini.count(), 0);
    QVERIFY(!panel->SizeMinimized());
  }

  void minimizedBeforeShownStartsCollapsedAtOnce() {
    QWidget host;
    auto* layout = new QVBoxLayout(&host);
    auto* panel = new TDynamicPanel(&host, TDynamicPanel::Dock::Bottom);
    panel->SetHeight(211);
    auto* child = new QLabel("x", panel);
    layout->addWidget(panel);
    QSignalSpy steps(panel, &TDynamicPanel::sizeApplied);
    panel->SetSizeMinimized(true);
    QCOMPARE(steps.count(), 1);  // at once while building
    host.show();
    QVERIFY(child->isHidden());
    panel->SetSizeMinimized(false);
    QCOMPARE(panel->height(), 211);
    QVERIFY(!child->isHidden());
  }
};

QTEST_MAIN(TestDynamicPanel)
#include "test_dynamicpanel.moc"
