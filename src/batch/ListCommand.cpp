#include "batch/ListCommand.h"

#include <cstdio>

#include "batch/BatchCommon.h"
#include "deals/DealList.h"
#include "utils/Utils.h"

namespace drs::batch {

namespace {

const char kNoFormatFile[] =
    "Не задан файл настройки параметров. Откройте форму \"Настройка форматов  входных файлов и их отображения\"";

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
  if (!ParseOptions(args, {"--format", "--report", "--min", "--max", "--replace-list"}, {"--unmarked"}, options,
                    error)) {
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

  // The window's show sequence: substitution list first, then the format.
  std::vector<std::string> rules;
  if (options.Has("--replace-list")) {
    if (!ReadTextLines(options.Value("--replace-list"), rules, error)) {
      ShowError(error);
      return kExitStopped;
    }
  } else {
    rules = SettingsList("ReplaceList");
  }
  for (size_t i = 0; i < rules.size(); ++i) deals.ParseReplaceLine(rules[i], static_cast<int>(i) + 1);

  const std::string formatFile =
      options.Has("--format") ? options.Value("--format") : SettingsValue("ParamsFileName", "ParamsFileName");
  if (IsBlank(formatFile)) {
    ShowError(kNoFormatFile);
  } else {
    deals.LoadFormat(formatFile);
  }

  // Bounds pass the same digit check as the window's edits.
  const std::string minBound =
      CheckBoundDigits(options.Has("--min") ? options.Value("--min") : SettingsValue("TMMVBForm", "MinClientEdit.Text"));
  const std::string maxBound =
      CheckBoundDigits(options.Has("--max") ? options.Value("--max") : SettingsValue("TMMVBForm", "MaxClientEdit.Text"));
  const std::string report =
      options.Has("--report") ? options.Value("--report") : SettingsValue("TMMVBForm", "InFilenameEdit.Text");

  messages.ResetErrors();
  if (!deals.OpenReport(report, minBound, maxBound)) return kExitStopped;
  if (!deals.LastReportRead() || messages.Errors() > 0) {
    for (const std::string& text : deals.DealStatus()) std::fprintf(stderr, "%s\n", text.c_str());
    return kExitStopped;
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
