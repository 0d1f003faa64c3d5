// The one way the program talks to the operator. The windows install a
// handler that shows the message dialog; tests and drsprep-batch install their
// own, so the core runs without a display.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace drs {

enum class MsgKind : uint8_t { Warning = 0, Information = 1, Error = 2, Question = 3, QuestionCancel = 4 };

// Answers of the dialog.
constexpr int kAnswerYes = 1;      // "Да" or "OK"
constexpr int kAnswerNo = 0;       // "Нет"
constexpr int kAnswerCancel = -1;  // "Отмена" or the close box

struct MessageRequest {
  std::string text;
  const std::vector<std::string>* details = nullptr;  // none when null
  std::function<void()> onDetail;                     // shows "Детали" when set
  int line = -1;                                      // caret place in the details, 1-based
  int position = -1;
  MsgKind kind = MsgKind::Information;
};

class MessageHandler {
 public:
  virtual ~MessageHandler() = default;
  virtual int Show(const MessageRequest& request) = 0;
};

// Installs the handler for the whole program and returns the previous one.
// Without a handler messages go to stderr and questions are answered "Нет".
MessageHandler* SetMessageHandler(MessageHandler* handler);
MessageHandler* CurrentMessageHandler();

int ShowMessDlg(const std::string& text, const std::vector<std::string>* details,
                std::function<void()> onDetail, int line, int position, MsgKind kind);
void ShowError(const std::string& text);
void ShowInfo(const std::string& text);
// True for "Да"; "Нет" and closing give false.
bool AskQuestion(const std::string& text);
// The error's message lines as details under the caption. Question: true for "Да".
bool ShowExceptionQuestion(const std::exception& error, const std::string& caption);
// Information kind; true whatever the answer.
bool ShowExceptionInfo(const std::exception& error, const std::string& caption);

// The message lines of an error (its text split at line breaks).
std::vector<std::string> ErrorLines(const std::exception& error);

// Installs a handler for the life of the object (tests, batch runs).
class ScopedMessageHandler {
 public:
  explicit ScopedMessageHandler(MessageHandler* handler) : previous_(SetMessageHandler(handler)) {}
  ~ScopedMessageHandler() { SetMessageHandler(previous_); }
  ScopedMessageHandler(const ScopedMessageHandler&) = delete;
  ScopedMessageHandler& operator=(const ScopedMessageHandler&) = delete;

 private:
  MessageHandler* previous_;
};

}  // namespace drs
