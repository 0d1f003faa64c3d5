// A title strip drawn as a colour gradient, placed at the top of a window
// (under the system's own title bar). It also minimises the whole
// application with its window and brings the window back, not minimised,
// when the application is restored.
#pragma once

#include <QColor>
#include <QPointer>
#include <QString>
#include <QWidget>

namespace drs {

class TGradientCaption : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kHeight = 18;

  // `window` is the top-level window whose title this strip shows.
  explicit TGradientCaption(QWidget* window, QWidget* parent = nullptr);

  // Sets the strip's text and the window's title.
  void SetCaption(const QString& caption);
  QString Caption() const { return caption_; }
  void SetStartColor(const QColor& color);
  QColor StartColor() const { return start_; }
  QColor EndColor() const { return end_; }

  // True while the strip waits for the application to be restored.
  bool HoldsRestore() const { return !heldMain_.isNull(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void MinimiseApplication();
  void ApplicationRestored();

  QPointer<QWidget> window_;
  QPointer<QWidget> heldMain_;
  QString caption_;
  QColor start_{255, 0, 0};
  QColor end_{0, 0, 0};
};

}  // namespace drs
