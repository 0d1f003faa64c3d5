#include "batch/BatchCommon.h"

#include <cerrno>
#include <cstdio>

#include "deals/DealList.h"
#include "deals/Marking.h"
#include "platform/Paths.h"
#include "utils/Cp1251.h"
#include "utils/FileIO.h"
#include "utils/Utils.h"

namespace drs::batch {

namespace {

// Why the first failed write to stdout failed (0: not known or none).
int stdoutErrno = 0;

void NoteStdoutFailure() {
  if (stdoutErrno == 0) stdoutErrno = errno;
}

void PrintMessage(const std::string& text, const std::vector<std::string>* details) {
  std::fprintf(stderr, "%s\n", text.c_str());
  if (details) {
    for (const std::string& line : *details) std::fprintf(stderr, "  %s\n", line.c_str());
  }
  std::fflush(stderr);
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, const std::set<std::string>& valueOptions,
                  const std::set<std::string>& flagOptions, Options& options, std::string& error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (valueOptions.count(arg)) {
      if (i + 1 >= args.size()) {
        error = "Не задано значение параметра " + arg;
        return false;
      }
      if (!options.values.emplace(arg, args[i + 1]).second) {
        error = "Параметр " + arg + " задан дважды";
        return false;
      }
      // Blank is no bound, as an empty edit is in the window.
      if ((arg == "--min" || arg == "--max") && !BoundDigitsOk(args[i + 1])) {
        error = "Значение параметра " + arg + " должно состоять из цифр: " + args[i + 1];
        return false;
      }
      ++i;
    } else if (flagOptions.count(arg)) {
      options.flags.insert(arg);
    } else {
      error = "Неизвестный параметр: " + arg;
      return false;
    }
  }
  return true;
}

int StderrMessages::Show(const MessageRequest& request) {
  if (request.kind == MsgKind::Error) ++errors_;
  if (!RepeatsJournalLine(request)) PrintMessage(request.text, request.details);
  lastJournalLine_.reset();
  return request.kind == MsgKind::Question || request.kind == MsgKind::QuestionCancel ? kAnswerNo
                                                                                      : kAnswerYes;
}

void StderrMessages::JournalLine(const std::string& line) {
  PrintMessage(line, nullptr);
  lastJournalLine_ = line;
}

bool StderrMessages::RepeatsJournalLine(const MessageRequest& request) const {
  if (!lastJournalLine_) return false;
  if (!request.details) return request.text == *lastJournalLine_;
  // An error's lines under a caption: the journal line ends with them.
  const std::string lines = JoinedLine("", *request.details);
  return !lines.empty() && lastJournalLine_->ends_with(lines);
}

bool ReadTextLines(const std::string& path, std::vector<std::string>& lines, std::string& error) {
  std::string bytes;
  std::string reason;
  if (!FileExists(path)) {
    error = "Файл " + path + "  не найден.";
    return false;
  }
  if (!ReadFileBytes(path, bytes, &reason)) {
    error = "Ошибка чтения файла " + path + ": " + reason;
    return false;
  }
  std::string text = Cp1251ToUtf8(bytes);
  lines.clear();
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(pos, end - pos));
    pos = end;
    if (pos < text.size())
      pos += (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ? 2 : 1;
  }
  return true;
}

void OutBuffer::Add(std::string_view text) {
  if (std::ferror(stdout)) return;
  buffer_.append(text);
  if (buffer_.size() >= (1u << 20)) Flush();
}

void OutBuffer::Flush() {
  if (!buffer_.empty() && !std::ferror(stdout) &&
      std::fwrite(buffer_.data(), 1, buffer_.size(), stdout) != buffer_.size()) {
    NoteStdoutFailure();
  }
  buffer_.clear();
  FlushStdout();
}

void FlushStdout() {
  if (std::fflush(stdout) != 0) NoteStdoutFailure();
}

int FinishOutput(int status) {
  FlushStdout();
  const bool outLost = std::ferror(stdout) != 0;
  const bool errLost = std::fflush(stderr) != 0 || std::ferror(stderr) != 0;
  if (!outLost && !errLost) return status;
  // A stderr that failed takes no message about itself.
  if (outLost && !errLost) {
    std::string text = "Ошибка записи в стандартный вывод";
    if (stdoutErrno != 0) text += ": " + SystemErrorText(stdoutErrno);
    PrintMessage(text, nullptr);
  }
  return status == kExitOk ? kExitStopped : status;
}

std::string Pick(const Options& options, const std::string& option, const StoredProperty& stored) {
  return options.Has(option) ? options.Value(option) : ReadMainWindowValue(stored);
}

LoadOutcome LoadDeals(const Options& options, DealList& deals, StderrMessages& messages) {
  // The window's show sequence, with the options in place of what is stored.
  StartupSettings startup = ReadStartupSettings();
  if (options.Has("--replace-list")) {
    std::string error;
    if (!ReadTextLines(options.Value("--replace-list"), startup.replaceLines, error)) {
      ShowError(error);
      return LoadOutcome::Refused;
    }
  }
  // A file named on the command line is taken from the working folder, as
  // any command-line file is; a stored name without a folder lies in the
  // settings folder.
  if (options.Has("--format")) {
    startup.paramsFileName = options.Value("--format");
    if (!IsBlank(startup.paramsFileName))
      startup.paramsFileName = platform::AbsolutePath(startup.paramsFileName);
  }
  deals.ParseReplaceLines(startup.replaceLines);
  deals.LoadStartFormat(startup.paramsFileName);

  // Bounds pass the same digit check as the window's edits.
  const std::string minBound = CheckBoundDigits(Pick(options, "--min", mainwindow::kMinClient));
  const std::string maxBound = CheckBoundDigits(Pick(options, "--max", mainwindow::kMaxClient));
  messages.ResetErrors();
  if (!deals.OpenReport(Pick(options, "--report", mainwindow::kInFile), minBound, maxBound)) {
    return LoadOutcome::Refused;
  }
  return deals.LastReportRead() && messages.Errors() == 0 ? LoadOutcome::Loaded : LoadOutcome::Incomplete;
}

}  // namespace drs::batch
