#include "batch/BatchCommon.h"

#include <cstdio>
#include <filesystem>

#include "deals/DealList.h"
#include "utils/Cp1251.h"
#include "utils/FileIO.h"
#include "utils/Utils.h"

namespace drs::batch {

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
  std::fprintf(stderr, "%s\n", request.text.c_str());
  if (request.details) {
    for (const std::string& line : *request.details) std::fprintf(stderr, "  %s\n", line.c_str());
  }
  std::fflush(stderr);
  return request.kind == MsgKind::Question || request.kind == MsgKind::QuestionCancel ? kAnswerNo
                                                                                      : kAnswerYes;
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
  buffer_.append(text);
  if (buffer_.size() >= (1u << 20)) Flush();
}

void OutBuffer::Flush() {
  if (!buffer_.empty()) std::fwrite(buffer_.data(), 1, buffer_.size(), stdout);
  buffer_.clear();
  std::fflush(stdout);
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
      startup.paramsFileName = std::filesystem::absolute(startup.paramsFileName).string();
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
