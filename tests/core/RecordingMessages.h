// Message handlers for core tests that record what the operator would see.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "support/Messages.h"

namespace drs::test {

// Keeps the text and kind of every message; every answer is the same one.
class Recorder : public MessageHandler {
 public:
  explicit Recorder(int answer = kAnswerYes) : answer_(answer) {}
  int Show(const MessageRequest& r) override {
    texts.push_back(r.text);
    kinds.push_back(r.kind);
    return answer_;
  }
  void JournalLine(const std::string& line) override { journal.push_back(line); }
  std::vector<std::string> texts;
  std::vector<MsgKind> kinds;
  std::vector<std::string> journal;

 private:
  int answer_;
};

// Records every message and answers questions from a queue ("Да" when empty).
class RecordingMessages : public MessageHandler {
 public:
  struct Shown {
    MsgKind kind;
    std::string text;
    std::vector<std::string> details;
  };
  int Show(const MessageRequest& request) override {
    shown.push_back(
        {request.kind, request.text, request.details ? *request.details : std::vector<std::string>{}});
    if (request.kind != MsgKind::Question && request.kind != MsgKind::QuestionCancel) return kAnswerYes;
    if (answers.empty()) return kAnswerYes;
    int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const Shown& s : shown) texts.push_back(s.text);
    return texts;
  }
  void JournalLine(const std::string& line) override { journal.push_back(line); }
  std::vector<Shown> shown;
  std::deque<int> answers;
  std::vector<std::string> journal;
};

}  // namespace drs::test
