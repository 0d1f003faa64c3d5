#include "support/ui/GuiMessageHandler.h"

#include "support/ui/TJournal.h"
#include "support/ui/TJrnlForm.h"
#include "support/ui/TMessDlg.h"

namespace drs {

int GuiMessageHandler::Show(const MessageRequest& request) { return TMessDlg::Execute(request); }

void GuiMessageHandler::JournalLine(const std::string& line) {
  TJrnlForm* form = TJrnlForm::Instance();
  if (!form) {
    MessageHandler::JournalLine(line);
    return;
  }
  if (!form->isVisible()) {
    form->show();
    form->raise();
  }
  try {
    if (!form->Journal1()->Active()) form->Journal1()->SetActive(true);
    form->Journal1()->AddLine(line);
  } catch (const std::exception&) {
    // The journal file failed: the line is not lost, it goes to stderr.
    MessageHandler::JournalLine(line);
  }
}

}  // namespace drs
