#include "batch/ListCommand.h"

#include <cstdio>

#include "batch/BatchCommon.h"
#include "deals/DealList.h"
#include "utils/Utils.h"

namespace drs::batch {

namespace {

void PrintGrid(const DealList& deals) {
  const DealGrid& grid = deals.Grid();
  OutBuffer out;
  std::string line;
  for (int r = 0; r < grid.RowCount(); ++r) {
    line.clear();
    for (int c = 0; c < grid.ColCount(); ++c) {
      if (c > 0) line += '\t';
      line.append(grid.Cell(c, r));
    }
    if (r > 0) line += deals.IsMarked(r) ? "\t1" : "\t0";
    line += '\n';
    out.Add(line);
  }
}

void PrintAccounts(const std::vector<std::string>& accounts) {
  OutBuffer out;
  for (const std::string& account : accounts) {
    out.Add(account);
    out.Add("\n");
  }
}

}  // namespace

const char* ListUsage() {
  return "  drsprep-batch list [--format ФАЙЛ] [--report ФАЙЛ] [--min N] [--max N]\n"
         "                     [--replace-list ФАЙЛ] [--unmarked]\n"
         "      Читает файл сделок, как кнопка \"Показать/обновить\", и выводит строку\n"
         "      заголовков и строки сделок (поля через табуляцию, последнее поле 1 -\n"
         "      сделка отмечена, 0 - нет); с --unmarked - список неотмеченных счетов.\n"
         "      Без параметров берется то же, что у окна, из файла настроек drsprep.INI:\n"
         "      --format        файл настройки параметров (раздел ParamsFileName)\n"
         "      --report        файл сделок (InFilenameEdit.Text)\n"
         "      --min, --max    границы счетов (MinClientEdit.Text, MaxClientEdit.Text)\n"
         "      --replace-list  лист подстановок из текстового файла 1251, по правилу в\n"
         "                      строке (иначе раздел ReplaceList)\n";
}

int RunList(const std::vector<std::string>& args) {
  Options options;
  std::string error;
  if (!ParseOptions(args, {"--format", "--report", "--min", "--max", "--replace-list"}, {"--unmarked"},
                    options, error)) {
    std::fprintf(stderr, "%s\nИспользование:\n%s", error.c_str(), ListUsage());
    return kExitUsage;
  }
  if (options.help) {
    std::printf("Использование:\n%s", ListUsage());
    return kExitOk;
  }

  StderrMessages messages;
  ScopedMessageHandler scope(&messages);
  DealList deals;

  switch (LoadDeals(options, deals, messages)) {
    case LoadOutcome::Refused:
      return kExitStopped;
    case LoadOutcome::Incomplete:
      for (const std::string& text : deals.DealStatus()) std::fprintf(stderr, "%s\n", text.c_str());
      return kExitStopped;
    case LoadOutcome::Loaded:
      break;
  }

  if (options.flags.count("--unmarked")) {
    PrintAccounts(deals.UnmarkedAccounts());
  } else {
    PrintGrid(deals);
  }
  for (const std::string& text : deals.DealStatus()) std::fprintf(stderr, "%s\n", text.c_str());
  return kExitOk;
}

}  // namespace drs::batch
