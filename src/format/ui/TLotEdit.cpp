#include "format/ui/TLotEdit.h"

#include <climits>

#include "format/FormatFile.h"

namespace drs {

namespace {
bool ParseLot(QString text, double& value) {
  text = text.trimmed();
  text.replace(',', '.');
  bool ok = false;
  value = text.toDouble(&ok);
  return ok;
}
}  // namespace

TLotEdit::TLotEdit(QWidget* parent) : QDoubleSpinBox(parent) {
  setDecimals(6);
  setRange(static_cast<double>(INT_MIN), static_cast<double>(INT_MAX));
  setButtonSymbols(QAbstractSpinBox::NoButtons);
  setKeyboardTracking(true);
  setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
}

QString TLotEdit::textFromValue(double value) const { return QString::number(RoundHalfEven(value)); }

double TLotEdit::valueFromText(const QString& text) const {
  double value = 0;
  return ParseLot(text, value) ? value : this->value();
}

QValidator::State TLotEdit::validate(QString& text, int&) const {
  const QString t = text.trimmed();
  if (t.isEmpty() || t == "-" || t == "+") return QValidator::Intermediate;
  double value = 0;
  if (!ParseLot(t, value)) return QValidator::Invalid;
  return value >= minimum() && value <= maximum() ? QValidator::Acceptable : QValidator::Invalid;
}

void TLotEdit::fixup(QString& text) const { text = textFromValue(value()); }

}  // namespace drs
