// A status line of panels with fixed widths in pixels; the space after the
// last panel stays empty, as the operator knows it from the old program. A
// panel after the first whose text does not fit grows to it and moves the
// later ones along; the first (a file name of any length) gives up room when
// the bar would cut the texts after it.
#pragma once

#include <QColor>
#include <QFrame>
#include <QList>
#include <QString>

class QLabel;

namespace drs {

class TStatusBar : public QFrame {
  Q_OBJECT

 public:
  TStatusBar(const QList<int>& widths, QWidget* parent = nullptr);

  int PanelCount() const { return static_cast<int>(panels_.size()); }
  // Out-of-range panels are ignored on write and read as empty.
  void SetPanelText(int panel, const QString& text);
  QString PanelText(int panel) const;
  int PanelWidth(int panel) const;
  void SetTextColor(const QColor& color);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  static constexpr int kFirstPanelMin = 150;
  void PlacePanels();

  QList<QLabel*> panels_;
  QList<int> designWidths_;
};

}  // namespace drs
