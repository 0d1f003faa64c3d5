#include "main/ui/TStatusBar.h"

#include <QLabel>
#include <QPalette>
#include <algorithm>
#include <numeric>

namespace drs {

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
  QList<int> widths;
  int end = 0;  // right end of the last panel with a text
  for (int i = 0; i < PanelCount(); ++i) {
    QLabel* p = panels_[i];
    widths.push_back(i == 0 ? designWidths_[i] : std::max(designWidths_[i], p->sizeHint().width()));
    const int right = std::accumulate(widths.begin(), widths.end(), 0) + 2 * i;
    if (!p->text().isEmpty()) end = right;
  }
  // The first panel gives room to the texts after it that the bar would cut.
  if (PanelCount() > 1 && end > width()) widths[0] = std::max(kFirstPanelMin, widths[0] - (end - width()));
  int x = 0;
  for (int i = 0; i < PanelCount(); ++i) {
    panels_[i]->setGeometry(x, panels_[i]->y(), widths[i], panels_[i]->height());
    x += widths[i] + 2;
  }
}

void TStatusBar::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  PlacePanels();
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
