#include "gui/support/DialogHelpers.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>
#include <memory>

namespace drs::test {

int ScriptedMessageHandler::Show(const MessageRequest& request) {
  Shown s;
  s.text = request.text;
  if (request.details) {
    s.details = *request.details;
    s.hasDetails = true;
  }
  s.line = request.line;
  s.position = request.position;
  s.kind = request.kind;
  shown_.push_back(std::move(s));
  if (answers_.empty()) return fallback_;
  int a = answers_.front();
  answers_.pop_front();
  return a;
}

std::vector<std::string> ScriptedMessageHandler::Texts() const {
  std::vector<std::string> texts;
  for (const Shown& s : shown_) texts.push_back(s.text);
  return texts;
}

namespace {
struct ModalWait {
  std::function<void(QWidget*)> action;
  QElapsedTimer timer;
  int timeoutMs = 0;
};

void Poll(const std::shared_ptr<ModalWait>& wait) {
  QWidget* modal = QApplication::activeModalWidget();
  if (modal && modal->isVisible()) {
    wait->action(modal);
  } else if (wait->timer.elapsed() < wait->timeoutMs) {
    QTimer::singleShot(10, [wait] { Poll(wait); });
  } else {
    qWarning("no modal dialog appeared");
  }
}
}  // namespace

void WhenModal(std::function<void(QWidget*)> action, int timeoutMs) {
  auto wait = std::make_shared<ModalWait>();
  wait->action = std::move(action);
  wait->timeoutMs = timeoutMs;
  wait->timer.start();
  QTimer::singleShot(0, [wait] { Poll(wait); });
}

QAbstractButton* FindButton(QWidget* window, const QString& text) {
  for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) {
    if (b->text() == text && b->isVisible()) return b;
  }
  return nullptr;
}

void PressModalButton(const QString& text, int timeoutMs) {
  WhenModal(
      [text](QWidget* modal) {
        QAbstractButton* b = FindButton(modal, text);
        if (b)
          b->click();
        else
          qWarning("button %s not found", qPrintable(text));
      },
      timeoutMs);
}

void SendModalKey(int key, int timeoutMs) {
  WhenModal(
      [key](QWidget* modal) {
        QWidget* target = modal->focusWidget() ? modal->focusWidget() : modal;
        QTest::keyClick(target, static_cast<Qt::Key>(key));
      },
      timeoutMs);
}

void CloseModal(int timeoutMs) {
  WhenModal([](QWidget* modal) { modal->close(); }, timeoutMs);
}

}  // namespace drs::test
