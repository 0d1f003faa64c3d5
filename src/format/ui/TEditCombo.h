// A list box that also accepts typed text: a text equal to an entry selects
// it, any other text leaves the selection index at -1 and the text in place.
#pragma once

#include <QComboBox>

namespace drs {

class TEditCombo : public QComboBox {
  Q_OBJECT

 public:
  explicit TEditCombo(QWidget* parent = nullptr);

 private:
  void FollowText(const QString& text);
};

}  // namespace drs
