// Timed phases of the export on a generated report:
//   drs_gen_report r.txt --deals 1000000 --format-out f.ini
//   bench_export r.txt f.ini OUTDIR
// Loads the report with every account in range, builds the export lines with
// both squeezes, writes them to a new table and computes both turnovers.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "deals/DealList.h"
#include "engine/Query.h"
#include "export/Export.h"
#include "export/ExportLines.h"
#include "export/ExportProgress.h"
#include "export/Turnovers.h"
#include "support/Messages.h"

namespace {

// Questions are answered "Да"; anything else is printed.
class YesMessages : public drs::MessageHandler {
 public:
  int Show(const drs::MessageRequest& request) override {
    if (request.kind != drs::MsgKind::Question && request.kind != drs::MsgKind::QuestionCancel) {
      std::fprintf(stderr, "%s\n", request.text.c_str());
    }
    return drs::kAnswerYes;
  }
};

// Wall time since the last call; the process's CPU time goes to `cpu`, as
// the machine may be shared.
std::clock_t lastCpu = std::clock();

double Since(std::chrono::steady_clock::time_point& t) {
  auto now = std::chrono::steady_clock::now();
  double s = std::chrono::duration<double>(now - t).count();
  t = now;
  const std::clock_t c = std::clock();
  std::printf("[cpu %.3f s] ", double(c - lastCpu) / CLOCKS_PER_SEC);
  lastCpu = c;
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: bench_export REPORT FORMAT OUTDIR\n");
    return 2;
  }
  const std::string report = argv[1], format = argv[2], outDir = argv[3];
  YesMessages messages;
  drs::ScopedMessageHandler scope(&messages);
  if (::chdir(outDir.c_str()) != 0) return 1;

  auto t = std::chrono::steady_clock::now();
  drs::DealList deals;
  deals.LoadFormat(format);
  deals.OpenReport(report, "0", "99999999");
  std::printf("load report        %.3f s  (%d rows, %d marked)\n", Since(t), deals.Grid().RowCount() - 1,
              deals.Marks().Count());

  drs::ExportLines lines(drs::ExportSource{deals.Grid(), deals.Format(), deals.Marks(), deals.Lists()});
  lines.Build(true);
  std::printf("lines, order sq.   %.3f s  (%zu lines)\n", Since(t), lines.Size());
  lines.SqueezeClients();
  std::printf("client squeeze     %.3f s  (%zu lines)\n", Since(t), lines.Size());

  const std::string out = outDir + "/BENCH.DBF";
  std::remove(out.c_str());
  drs::ExportSettings settings;
  settings.outFileName = out;
  settings.writeMode = 0;
  settings.squeezeOrders = true;
  settings.squeezeClients = true;
  settings.tradeDate = "07.12.2026";
  settings.brokerAcc = "BRK01";
  drs::SilentProgress progress;
  drs::TQuery view;
  t = std::chrono::steady_clock::now();
  drs::ExportResult result = drs::ExportMarkedDeals(deals, settings, progress, view);
  std::printf("whole export       %.3f s  (%s records)\n", Since(t), result.recordCountText.c_str());
  view.Close();

  drs::TQuery turnovers;
  drs::TurnoverResult bySecurity = drs::ComputeTurnovers(out, drs::kTurnoverBySecurity, turnovers);
  std::printf("turnovers by sec.  %.3f s  (%s rows)\n", Since(t), bySecurity.recordCountText.c_str());
  drs::TurnoverResult byAccount = drs::ComputeTurnovers(out, drs::kTurnoverByAccount, turnovers);
  std::printf("turnovers by acc.  %.3f s  (%s rows)\n", Since(t), byAccount.recordCountText.c_str());
  return result.finished && bySecurity.shown && byAccount.shown ? 0 : 1;
}
