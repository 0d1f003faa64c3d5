#include "support/ui/GuiMessageHandler.h"

#include "support/ui/TMessDlg.h"

namespace drs {

int GuiMessageHandler::Show(const MessageRequest& request) { return TMessDlg::Execute(request); }

}  // namespace drs
