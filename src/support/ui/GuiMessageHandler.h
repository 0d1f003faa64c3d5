// The message handler of the windowed program: every message goes through
// the message dialog TMessDlg.
#pragma once

#include "support/Messages.h"

namespace drs {

class GuiMessageHandler : public MessageHandler {
 public:
  int Show(const MessageRequest& request) override;
};

}  // namespace drs
