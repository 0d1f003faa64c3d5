#include "support/ui/GuiMessageHandler.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

namespace drs {

int GuiMessageHandler::Show(const MessageRequest& request) {
  QString text = QString::fromStdString(request.text);
  if (request.details) {
    for (const std::string& line : *request.details) text += "\n" + QString::fromStdString(line);
  }
  switch (request.kind) {
    case MsgKind::Question:
      return QMessageBox::question(nullptr, QStringLiteral("Вопрос"), text) == QMessageBox::Yes ? kAnswerYes : kAnswerNo;
    case MsgKind::QuestionCancel: {
      auto b = QMessageBox::question(nullptr, QStringLiteral("Вопрос"), text,
                                     QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      return b == QMessageBox::Yes ? kAnswerYes : b == QMessageBox::No ? kAnswerNo : kAnswerCancel;
    }
    case MsgKind::Error:
      QMessageBox::critical(nullptr, QStringLiteral("Ошибка"), text);
      return kAnswerYes;
    case MsgKind::Warning:
      QMessageBox::warning(nullptr, QStringLiteral("Предупреждение"), text);
      return kAnswerYes;
    case MsgKind::Information:
    default:
      QMessageBox::information(nullptr, QStringLiteral("Информация"), text);
      return kAnswerYes;
  }
}

}  // namespace drs
