#include "main/ui/TStatusBar.h"

#include <QLabel>
#include <QPalette>
#include <algorithm>

TStatusBar::TStatusBar(const QList<int>& widths, QWidget* parent) : QFrame(parent), designWidths_(widths) {
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
  PlacePanels();
}

void TStatusBar::PlacePanels() {
  int x = 0;
  for (int i = 0; i < PanelCount(); ++i) {
    QLabel* p = panels_[i];
    const int width = i == 0 ? designWidths_[i] : std::max(designWidths_[i], p->sizeHint().width());
    p->setGeometry(x, p->y(), width, p->height());
    x += width + 2;
  }
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
