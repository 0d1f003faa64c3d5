#include "main/ui/TStatusBar.h"

#include <QLabel>
#include <QPalette>

namespace drs {

TStatusBar::TStatusBar(const QList<int>& widths, QWidget* parent) : QFrame(parent) {
  // Panels sit at fixed places, without a layout: a narrow window cuts the
  // last panels off instead of growing to fit them.
  const int height = fontMetrics().height() + 4;
  int x = 0;
  for (int width : widths) {
    auto* panel = new QLabel(this);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setTextFormat(Qt::PlainText);
    panel->setIndent(2);
    panel->setGeometry(x, 1, width, height);
    panels_.push_back(panel);
    x += width + 2;
  }
  setFixedHeight(height + 2);
  setMinimumWidth(0);
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void TStatusBar::SetPanelText(int panel, const QString& text) {
  if (panel < 0 || panel >= PanelCount()) return;
  panels_[panel]->setText(text);
}

QString TStatusBar::PanelText(int panel) const {
  if (panel < 0 || panel >= PanelCount()) return {};
  return panels_[panel]->text();
}

int TStatusBar::PanelWidth(int panel) const {
  if (panel < 0 || panel >= PanelCount()) return 0;
  return panels_[panel]->width();
}

void TStatusBar::SetTextColor(const QColor& color) {
  for (QLabel* panel : panels_) {
    QPalette pal = panel->palette();
    pal.setColor(QPalette::WindowText, color);
    panel->setPalette(pal);
  }
}

}  // namespace drs
