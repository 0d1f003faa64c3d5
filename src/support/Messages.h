// The one way the program talks to the operator. The windows install a
// handler that shows the message dialog; tests and drsprep-batch install their
// own, so the core runs without a display.
#pragma once

#include <cstddef>
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
  // One line for the journal, shown without a dialog (the windows put it
  // into the journal window). By default it goes to stderr.
  virtual void JournalLine(const std::string& line);
};

// Installs the handler for the whole program and returns the previous one.
// Without a handler messages go to stderr and questions are answered "Нет".
MessageHandler* SetMessageHandler(MessageHandler* handler);

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

// Writes one line into the journal through the installed handler.
void JournalLine(const std::string& line);

// Messages that may come once per line of a long input: each goes into the
// journal, only the first `dialogs` also as a dialog, so a hundred thousand
// bad lines are not a hundred thousand dialogs.
class RepeatedMessages {
 public:
  static constexpr size_t kDialogs = 5;
  explicit RepeatedMessages(size_t dialogs = kDialogs) : dialogs_(dialogs) {}
  // ShowError of the text while under the limit; the text into the journal.
  void Error(const std::string& text);
  // ShowExceptionInfo under the caption while under the limit; into the
  // journal `journalPrefix` followed by the error's lines.
  void ExceptionInfo(const std::exception& error, const std::string& caption,
                     const std::string& journalPrefix);
  size_t Count() const { return count_; }
  // Some messages went into the journal alone.
  bool Withheld() const { return count_ > dialogs_; }

 private:
  bool Next();
  size_t dialogs_;
  size_t count_ = 0;
};

// The message lines of an error (its text split at line breaks).
std::vector<std::string> ErrorLines(const std::exception& error);
// The lines after `first` on one line, a blank between two non-empty parts:
// how an error's lines go into the journal.
std::string JoinedLine(std::string first, const std::vector<std::string>& lines);

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
