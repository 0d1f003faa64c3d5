// The main window's timings on a report, on a real display:
//   window_timing REPORT FORMAT.INI OUTFOLDER [runs]
// * load: the press of OpenBtn until the counters are painted, `runs` times;
// * scroll: the longest repaint of the deal grid after a jump to the top,
//   the bottom and positions between;
// * export: every account, overwrite, order squeeze, from the answered
//   question until the progress window offers "Готово".
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "main/ui/TMMVBForm.h"
#include "main/ui/TRadioGroup.h"
#include "support/Messages.h"
#include "support/ui/AppWindow.h"
#include "support/ui/TFilenameEdit.h"
#include "support/ui/TProgressForm.h"

namespace {

QElapsedTimer clock_;
qint64 answeredNs = -1;

// Questions are answered "Да" (and the moment noted); the rest is printed.
class YesMessages : public drs::MessageHandler {
 public:
  int Show(const drs::MessageRequest& request) override {
    if (request.kind == drs::MsgKind::Question || request.kind == drs::MsgKind::QuestionCancel) {
      answeredNs = clock_.nsecsElapsed();
      return drs::kAnswerYes;
    }
    std::fprintf(stderr, "%s\n", request.text.c_str());
    return drs::kAnswerYes;
  }
};

double Ms(qint64 ns) { return static_cast<double>(ns) / 1e6; }

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 4) {
    std::fprintf(stderr, "usage: window_timing REPORT FORMAT.INI OUTFOLDER [runs]\n");
    return 2;
  }
  const int runs = argc > 4 ? std::max(1, std::atoi(argv[4])) : 3;
  YesMessages messages;
  drs::ScopedMessageHandler scoped(&messages);
  clock_.start();

  drs::TMMVBForm form;
  drs::SetAppMainWindow(&form);
  form.show();
  QApplication::processEvents();
  form.SetParamsFileName(argv[2]);
  form.ReparseReplaceList({});
  form.findChild<drs::TFilenameEdit*>("InFilenameEdit")->SetText(QString::fromLocal8Bit(argv[1]));
  form.findChild<QLineEdit*>("MinClientEdit")->setText("0");
  form.findChild<QLineEdit*>("MaxClientEdit")->setText("99999999");
  form.findChild<drs::TRadioGroup*>("WriteModeRadioGroup")->SetItemIndex(0);
  form.findChild<QCheckBox*>("SqueeseClaineCheckBox")->setChecked(true);
  form.findChild<QCheckBox*>("SqueeseClientCheckBox")->setChecked(false);
  form.findChild<drs::TFilenameEdit*>("OutFilenameEdit")
      ->SetText(QString::fromLocal8Bit(argv[3]) + "/WINDOW.DBF");
  QApplication::processEvents();

  for (int i = 0; i < runs; ++i) {
    const qint64 t0 = clock_.nsecsElapsed();
    form.OpenBtnClick();
    QApplication::processEvents();  // the counters and the first rows painted
    std::printf("load %d: %.1f ms (%d rows)\n", i + 1, Ms(clock_.nsecsElapsed() - t0),
                form.Deals().Grid().RowCount() - 1);
  }

  auto* grid = form.findChild<QTableView*>("MMVBGrid");
  QScrollBar* bar = grid->verticalScrollBar();
  qint64 worst = 0;
  for (int k = 0; k <= 20; ++k) {
    const int value =
        k == 20 ? bar->maximum() : static_cast<int>(static_cast<long long>(bar->maximum()) * k / 20);
    const qint64 t0 = clock_.nsecsElapsed();
    bar->setValue(value);
    grid->viewport()->repaint();
    QApplication::processEvents();
    worst = std::max(worst, clock_.nsecsElapsed() - t0);
  }
  std::printf("scroll: longest repaint %.1f ms over 21 positions\n", Ms(worst));

  // The progress window's button turns "Готово" at the last deal; it is
  // pressed as soon as the event loop sees it.
  qint64 doneNs = -1;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* progress = qobject_cast<drs::TProgressForm*>(w);
      if (!progress || !progress->isVisible()) continue;
      if (progress->CloseBtn()->text() == QStringLiteral("Готово")) {
        if (doneNs < 0) doneNs = clock_.nsecsElapsed();
        progress->CloseBtn()->click();
      }
    }
  });
  poll.start(1);
  answeredNs = -1;
  const qint64 cpu0 = std::clock();
  form.ExportBtnClick();
  const double cpu = static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC;
  poll.stop();
  if (answeredNs < 0 || doneNs < 0) {
    std::fprintf(stderr, "the export did not run to \"Готово\"\n");
    return 1;
  }
  std::printf("export: %.3f s from the answered question to \"Готово\" (%.2f s CPU in the whole click)\n",
              Ms(doneNs - answeredNs) / 1000, cpu);
  return 0;
}
