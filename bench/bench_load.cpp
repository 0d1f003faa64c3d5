// Timed load and marking of a generated deal report:
//   drs_gen_report r.txt --deals 1000000 --format-out f.ini --replace-out rules.txt
//   bench_load r.txt f.ini [min max [rules.txt]]
// Prints the time of "Показать/обновить" (read, fill, both marking passes),
// the deal count and the peak resident memory against the report's size.
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "deals/DealList.h"
#include "support/Messages.h"
#include "utils/Cp1251.h"

namespace {

class QuietMessages : public drs::MessageHandler {
 public:
  int Show(const drs::MessageRequest& request) override {
    std::fprintf(stderr, "message: %s\n", request.text.c_str());
    return drs::kAnswerNo;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s REPORT FORMAT [MIN MAX [RULES]]\n", argv[0]);
    return 2;
  }
  const std::string report = argv[1];
  const std::string format = argv[2];
  const std::string minBound = argc > 3 ? argv[3] : "1000";
  const std::string maxBound = argc > 4 ? argv[4] : "9000";

  QuietMessages messages;
  drs::ScopedMessageHandler scope(&messages);
  drs::DealList deals;
  if (argc > 5) {
    // One substitution rule a line, as drs_gen_report --replace-out writes them.
    std::ifstream rules(argv[5], std::ios::binary);
    std::string line;
    int n = 0;
    while (std::getline(rules, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      deals.ParseReplaceLine(drs::Cp1251ToUtf8(line), ++n);
    }
  }
  deals.LoadFormat(format);
  if (!deals.Format().formatValid) return 1;

  struct rusage before {};
  ::getrusage(RUSAGE_SELF, &before);
  auto start = std::chrono::steady_clock::now();
  deals.OpenReport(report, minBound, maxBound);
  auto stop = std::chrono::steady_clock::now();

  struct stat st {};
  ::stat(report.c_str(), &st);
  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  const double seconds = std::chrono::duration<double>(stop - start).count();
  // CPU time too: on a busy machine the wall time includes waiting for a core.
  auto cpu = [](const struct rusage& u) {
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
  };
  const double cpuSeconds = cpu(usage) - cpu(before);
  const double reportMb = static_cast<double>(st.st_size) / (1024.0 * 1024.0);
  const double peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
  std::printf(
      "deals %d, marked %d, load and mark %.3f s (CPU %.3f s), report %.1f MB, peak RSS %.1f MB (%.2fx)\n",
      deals.Grid().RowCount() - 1, deals.Marks().Count(), seconds, cpuSeconds, reportMb, peakMb,
      reportMb > 0 ? peakMb / reportMb : 0.0);
  return 0;
}
