// Helpers for window tests: a message handler that answers from a script,
// and actions run on the next modal dialog once it is open.
#pragma once

#include <QAbstractButton>
#include <QString>
#include <QWidget>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "support/Messages.h"

namespace drs::test {

// Records every message and answers from a queue; with the queue empty it
// answers `fallback` (1 by default: "OK"/"Да").
class ScriptedMessageHandler : public MessageHandler {
 public:
  struct Shown {
    std::string text;
    std::vector<std::string> details;
    bool hasDetails = false;
    int line = -1;
    int position = -1;
    MsgKind kind = MsgKind::Information;
  };

  int Show(const MessageRequest& request) override;
  void Answer(int answer) { answers_.push_back(answer); }
  void SetFallback(int answer) { fallback_ = answer; }
  const std::vector<Shown>& Messages() const { return shown_; }
  // Texts of the messages, in order.
  std::vector<std::string> Texts() const;
  void Clear() { shown_.clear(); }

 private:
  std::deque<int> answers_;
  int fallback_ = kAnswerYes;
  std::vector<Shown> shown_;
};

// Runs `action` on the next modal widget as soon as one is open (polled from
// the event loop, for up to `timeoutMs`).
void WhenModal(std::function<void(QWidget*)> action, int timeoutMs = 5000);
// Clicks the modal dialog's visible button with this text.
void PressModalButton(const QString& text, int timeoutMs = 5000);
// Sends a key press and release to the modal dialog's focus widget.
void SendModalKey(int key, int timeoutMs = 5000);
// Closes the modal dialog as its close box would.
void CloseModal(int timeoutMs = 5000);

// The visible button of `window` with this text, or nullptr.
QAbstractButton* FindButton(QWidget* window, const QString& text);

}  // namespace drs::test
