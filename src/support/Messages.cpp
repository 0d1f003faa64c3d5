#include "support/Messages.h"

#include <cstdio>

namespace drs {

namespace {

// Without a window: print and answer "Нет".
class StderrHandler : public MessageHandler {
 public:
  int Show(const MessageRequest& request) override {
    std::fprintf(stderr, "%s\n", request.text.c_str());
    if (request.details) {
      for (const std::string& line : *request.details) std::fprintf(stderr, "  %s\n", line.c_str());
    }
    return request.kind == MsgKind::Question || request.kind == MsgKind::QuestionCancel ? kAnswerNo
                                                                                        : kAnswerYes;
  }
};

MessageHandler*& Installed() {
  static MessageHandler* handler = nullptr;
  return handler;
}

}  // namespace

MessageHandler* SetMessageHandler(MessageHandler* handler) {
  MessageHandler* previous = Installed();
  Installed() = handler;
  return previous;
}

void MessageHandler::JournalLine(const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); }

void JournalLine(const std::string& line) {
  static StderrHandler fallback;
  (Installed() ? Installed() : &fallback)->JournalLine(line);
}

bool RepeatedMessages::Next() { return ++count_ <= dialogs_; }

void RepeatedMessages::Error(const std::string& text) {
  const bool dialog = Next();
  JournalLine(text);
  if (dialog) ShowError(text);
}

void RepeatedMessages::ExceptionInfo(const std::exception& error, const std::string& caption,
                                     const std::string& journalPrefix) {
  const bool dialog = Next();
  JournalLine(JoinedLine(journalPrefix, ErrorLines(error)));
  if (dialog) ShowExceptionInfo(error, caption);
}

std::string JoinedLine(std::string first, const std::vector<std::string>& lines) {
  for (const std::string& part : lines) {
    if (!first.empty() && !part.empty()) first += ' ';
    first += part;
  }
  return first;
}

int ShowMessDlg(const std::string& text, const std::vector<std::string>* details,
                std::function<void()> onDetail, int line, int position, MsgKind kind) {
  static StderrHandler fallback;
  MessageHandler* handler = Installed() ? Installed() : &fallback;
  MessageRequest request{text, details, std::move(onDetail), line, position, kind};
  return handler->Show(request);
}

void ShowError(const std::string& text) { ShowMessDlg(text, nullptr, nullptr, -1, -1, MsgKind::Error); }

void ShowInfo(const std::string& text) { ShowMessDlg(text, nullptr, nullptr, -1, -1, MsgKind::Information); }

bool AskQuestion(const std::string& text) {
  return ShowMessDlg(text, nullptr, nullptr, -1, -1, MsgKind::Question) == kAnswerYes;
}

std::vector<std::string> ErrorLines(const std::exception& error) {
  std::vector<std::string> lines;
  std::string text = error.what();
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    pos = end + 1;
  }
  return lines;
}

bool ShowExceptionQuestion(const std::exception& error, const std::string& caption) {
  std::vector<std::string> lines = ErrorLines(error);
  return ShowMessDlg(caption, &lines, nullptr, -1, -1, MsgKind::Question) > 0;
}

bool ShowExceptionInfo(const std::exception& error, const std::string& caption) {
  std::vector<std::string> lines = ErrorLines(error);
  ShowMessDlg(caption, &lines, nullptr, -1, -1, MsgKind::Information);
  return true;
}

}  // namespace drs
