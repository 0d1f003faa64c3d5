#include "support/ui/CenterButtons.h"

#include <QAbstractButton>
#include <QWidget>
#include <vector>

namespace drs {

void CenterButtons(QWidget* panel) {
  if (!panel) return;
  std::vector<QAbstractButton*> buttons;
  for (QObject* child : panel->children()) {
    auto* b = qobject_cast<QAbstractButton*>(child);
    if (b && !b->isHidden()) buttons.push_back(b);
  }
  if (buttons.empty()) return;
  const int count = static_cast<int>(buttons.size());
  int tops = 0, heights = 0, total = 0;
  for (QAbstractButton* b : buttons) {
    tops += b->y();
    heights += b->height();
    total += b->width();
  }
  const int top = tops / count;
  const int height = heights / count;
  total += kButtonGap * (count - 1);
  if (total > panel->width()) total = panel->width();
  int x = (panel->width() - total) / 2;
  // Always the leftmost of the rest; a stable pick keeps child order on ties.
  std::vector<bool> placed(buttons.size(), false);
  for (int n = 0; n < count; ++n) {
    size_t best = buttons.size();
    for (size_t i = 0; i < buttons.size(); ++i) {
      if (placed[i]) continue;
      if (best == buttons.size() || buttons[i]->x() < buttons[best]->x()) best = i;
    }
    placed[best] = true;
    QAbstractButton* b = buttons[best];
    b->setGeometry(x, top, b->width(), height);
    x += b->width() + kButtonGap;
  }
}

}  // namespace drs
