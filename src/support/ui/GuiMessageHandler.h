// The message handler of the windowed program: every message goes through
// the message dialog TMessDlg, every journal line into the journal window.
#pragma once

#include "support/Messages.h"

namespace drs {

class GuiMessageHandler : public MessageHandler {
 public:
  int Show(const MessageRequest& request) override;
  // Shows the journal window, activates its journal (so the line reaches the
  // journal file) and adds the line; without a journal window, stderr.
  void JournalLine(const std::string& line) override;
};

}  // namespace drs
