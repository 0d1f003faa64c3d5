#include "batch/ExportCommand.h"

#include <cstdio>
#include <optional>

#include "batch/BatchCommon.h"
#include "deals/DealList.h"
#include "engine/Query.h"
#include "export/Export.h"
#include "export/ExportProgress.h"
#include "export/Turnovers.h"
#include "platform/Process.h"
#include "utils/Utils.h"

namespace drs::batch {

namespace {

// Prints every message like StderrMessages; a question is printed with the
// answer given: "Да" with --yes, else "Нет".
class ExportMessages : public StderrMessages {
 public:
  explicit ExportMessages(bool yes) : yes_(yes) {}
  int Show(const MessageRequest& request) override {
    if (request.kind != MsgKind::Question && request.kind != MsgKind::QuestionCancel) {
      return StderrMessages::Show(request);
    }
    std::fprintf(stderr, "%s %s\n", request.text.c_str(), yes_ ? "Да" : "Нет");
    if (request.details) {
      for (const std::string& line : *request.details) std::fprintf(stderr, "  %s\n", line.c_str());
    }
    std::fflush(stderr);
    return yes_ ? kAnswerYes : kAnswerNo;
  }

 private:
  bool yes_;
};

// One line on a terminal, rewritten when the whole percentage changes.
class TerminalProgress : public ExportProgress {
 public:
  void Begin(const std::string& caption, const std::vector<std::string>&) override { caption_ = caption; }
  void ShowProgress(int, long long position, long long total) override {
    const int percent = total > 0 ? static_cast<int>(position * 100 / total) : 0;
    if (percent == percent_ && position != total) return;
    percent_ = percent;
    std::fprintf(stderr, "\r%s: %lld / %lld (%d%%)", caption_.c_str(), position, total, percent);
    std::fflush(stderr);
    shown_ = true;
  }
  void WaitDone() override {}
  void End() noexcept override {
    if (shown_) std::fprintf(stderr, "\n");
    shown_ = false;
  }

 private:
  std::string caption_;
  int percent_ = -1;
  bool shown_ = false;
};

bool PickFlag(const Options& options, const std::string& flag, const StoredProperty& stored) {
  if (options.flags.count(flag)) return true;
  if (options.flags.count("--no-" + flag.substr(2))) return false;
  return ReadMainWindowFlag(stored);
}

void PrintView(TQuery& view) {
  OutBuffer out;
  std::string line;
  for (; !view.Eof(); view.Next()) {
    line.clear();
    for (int i = 0; i < view.FieldCount(); ++i) {
      if (i > 0) line += '\t';
      line += view.AsString(i);
    }
    line += '\n';
    out.Add(line);
  }
}

void PrintControl(const Reconciliation& control) {
  OutBuffer out;
  for (const std::string& line : control.ControlText()) {
    out.Add(line);
    out.Add("\n");
  }
}

}  // namespace

const char* ExportUsage() {
  return "  drsprep-batch export [параметры list] [--out ФАЙЛ] [--date ДД.ММ.ГГГГ] [--broker КОД]\n"
         "                       [--mode overwrite|append] [--squeeze-orders] [--squeeze-clients]\n"
         "                       [--turnovers by-security|by-account] [--control] [--yes]\n"
         "      Читает файл сделок, как list, и выгружает отмеченные сделки в выходной\n"
         "      файл, как кнопка \"Экспорт\"; печатает число записей в выходном файле,\n"
         "      с --turnovers - затем строки оборотов (поля через табуляцию).\n"
         "      С --control вместо числа записей (оно уходит в stderr) печатаются\n"
         "      контрольные суммы: по строке на ЦБ и направление (B - покупка, S - прочие)\n"
         "      с полями ЦБ, направление, сделок, штук, сумма, записано строк, штук,\n"
         "      сумма, затем строка ИТОГО. Контрольные суммы сверяются всегда.\n"
         "      Вопросы печатаются в stderr; с --yes на каждый отвечается \"Да\", без него\n"
         "      \"Нет\". Без параметров берется то же, что у окна (раздел TMMVBForm):\n"
         "      --out           выходной файл (OutFilenameEdit.Text)\n"
         "      --date          дата торгов (TorgDateEdit.Text)\n"
         "      --broker        код брокера (BrokerAccEdit.Text)\n"
         "      --mode          режим записи (WriteModeRadioGroup.ItemIndex: 0 overwrite,\n"
         "                      1 append)\n"
         "      --squeeze-orders, --no-squeeze-orders    \"Сжать\" заявки\n"
         "                      (SqueeseClaineCheckBox.Checked)\n"
         "      --squeeze-clients, --no-squeeze-clients  Сжать по клиентам\n"
         "                      (SqueeseClientCheckBox.Checked)\n"
         "      Код выхода: 0 - выполнено, 1 - остановлено сообщением, не все строки\n"
         "      записаны или контрольные суммы не сходятся, 2 - ошибка в параметрах.\n";
}

namespace {

// The options of an export, checked; an exit status when they are wrong or
// only ask for help.
std::optional<int> ReadExportOptions(const std::vector<std::string>& args, Options& options) {
  std::string error;
  if (!ParseOptions(args,
                    {"--format", "--report", "--min", "--max", "--replace-list", "--out", "--date",
                     "--broker", "--mode", "--turnovers"},
                    {"--unmarked", "--squeeze-orders", "--squeeze-clients", "--no-squeeze-orders",
                     "--no-squeeze-clients", "--control", "--yes"},
                    options, error)) {
    std::fprintf(stderr, "%s\nИспользование:\n%s", error.c_str(), ExportUsage());
    return kExitUsage;
  }
  if (options.help) {
    std::printf("Использование:\n%s", ExportUsage());
    return kExitOk;
  }
  if (options.flags.count("--unmarked")) {
    std::fprintf(stderr, "Выгружаются только отмеченные сделки: --unmarked здесь не действует\n");
    return kExitUsage;
  }
  for (const char* flag : {"orders", "clients"}) {
    if (options.flags.count(std::string("--squeeze-") + flag) &&
        options.flags.count(std::string("--no-squeeze-") + flag)) {
      std::fprintf(stderr, "Заданы оба параметра --squeeze-%s и --no-squeeze-%s\n", flag, flag);
      return kExitUsage;
    }
  }
  return std::nullopt;
}

// The export's settings from the options, the rest as the window keeps
// them; an exit status when an option's value is wrong.
std::optional<int> ReadExportSettings(const Options& options, ExportSettings& settings, int& turnoverMode) {
  if (options.Has("--mode")) {
    const std::string& mode = options.Value("--mode");
    if (mode != "overwrite" && mode != "append") {
      std::fprintf(stderr, "Режим записи должен быть overwrite или append: %s\n", mode.c_str());
      return kExitUsage;
    }
    settings.writeMode = mode == "overwrite" ? 0 : 1;
  } else {
    settings.writeMode = ReadMainWindowIndex(mainwindow::kWriteMode);
  }
  turnoverMode = -1;
  if (options.Has("--turnovers")) {
    const std::string& mode = options.Value("--turnovers");
    if (mode != "by-security" && mode != "by-account") {
      std::fprintf(stderr, "Обороты считаются by-security или by-account: %s\n", mode.c_str());
      return kExitUsage;
    }
    turnoverMode = mode == "by-security" ? kTurnoverBySecurity : kTurnoverByAccount;
  }
  settings.outFileName = Pick(options, "--out", mainwindow::kOutFile);
  settings.tradeDate = Pick(options, "--date", mainwindow::kTradeDate);
  settings.brokerAcc = Pick(options, "--broker", mainwindow::kBrokerAcc);
  settings.squeezeOrders = PickFlag(options, "--squeeze-orders", mainwindow::kSqueezeOrders);
  settings.squeezeClients = PickFlag(options, "--squeeze-clients", mainwindow::kSqueezeClients);
  settings.reopenView = false;  // no view to show it in
  return std::nullopt;
}

// The turnover table of the exported one, printed; false when it is not
// shown.
bool PrintTurnovers(const std::string& outFileName, int turnoverMode) {
  TQuery view;
  const TurnoverResult turnovers = ComputeTurnovers(outFileName, turnoverMode, view);
  if (!turnovers.shown) return false;
  PrintView(view);
  std::fprintf(stderr, "Записей в таблице оборотов: %s\n", turnovers.recordCountText.c_str());
  return true;
}

}  // namespace

int RunExport(const std::vector<std::string>& args) {
  Options options;
  if (const std::optional<int> status = ReadExportOptions(args, options)) return *status;
  ExportSettings settings;
  int turnoverMode = -1;
  if (const std::optional<int> status = ReadExportSettings(options, settings, turnoverMode)) return *status;

  ExportMessages messages(options.flags.count("--yes") > 0);
  ScopedMessageHandler scope(&messages);
  DealList deals;
  const LoadOutcome loaded = LoadDeals(options, deals, messages);
  if (loaded == LoadOutcome::Refused) return kExitStopped;
  for (const std::string& text : deals.DealStatus()) std::fprintf(stderr, "%s\n", text.c_str());
  if (loaded == LoadOutcome::Incomplete) return kExitStopped;

  TerminalProgress terminal;
  SilentProgress silent;
  ExportProgress& progress = platform::IsTerminal(2) ? static_cast<ExportProgress&>(terminal) : silent;
  TQuery outputView;
  const ExportResult result = ExportMarkedDeals(deals, settings, progress, outputView);
  const bool control = options.flags.count("--control") > 0;
  if (control && result.control) PrintControl(*result.control);
  if (!result.finished) {
    // What became of the table: unchanged, or not made at all.
    if (!result.tableState.empty()) std::fprintf(stderr, "%s\n", result.tableState.c_str());
    return kExitStopped;
  }
  outputView.Close();
  std::fprintf(control ? stderr : stdout, "Записей в выходном файле: %s\n", result.recordCountText.c_str());
  FlushStdout();
  // The export has said how many lines it could not write, the control totals
  // whether they agree.
  const int status =
      result.failedLines > 0 || !result.control || !result.control->Agrees() ? kExitStopped : kExitOk;
  if (turnoverMode >= 0 && !PrintTurnovers(settings.outFileName, turnoverMode)) return kExitStopped;
  return status;
}

}  // namespace drs::batch
