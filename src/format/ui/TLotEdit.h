// The default lot box: holds a number, shows it as a whole number (rounded
// as it will be saved) and takes "," or "." as the decimal separator.
#pragma once

#include <QDoubleSpinBox>

namespace drs {

class TLotEdit : public QDoubleSpinBox {
  Q_OBJECT

 public:
  explicit TLotEdit(QWidget* parent = nullptr);

  QString textFromValue(double value) const override;
  double valueFromText(const QString& text) const override;
  QValidator::State validate(QString& text, int& pos) const override;
  void fixup(QString& text) const override;
};

}  // namespace drs
