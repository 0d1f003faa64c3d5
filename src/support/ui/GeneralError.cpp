#include "support/ui/GeneralError.h"

#include <exception>

#include "support/Messages.h"

namespace drs {

bool RunGuarded(const std::function<void()>& handler) {
  try {
    handler();
    return true;
  } catch (const std::exception& e) {
    ShowMessDlg(e.what(), nullptr, nullptr, -1, -1, MsgKind::Error);
  } catch (...) {
    ShowMessDlg("Неизвестная ошибка", nullptr, nullptr, -1, -1, MsgKind::Error);
  }
  return false;
}

}  // namespace drs
