// Sizes that keep a text readable: a control keeps its design width where
// the text fits and grows where it does not.
#pragma once

#include <QString>

class QLineEdit;
class QWidget;

namespace drs {

// Width of the text in the widget's font, in pixels.
int TextWidth(const QWidget* widget, const QString& text);
// A line edit's width that shows `sample` whole, at least `designWidth`.
int EditWidthFor(const QLineEdit* edit, const QString& sample, int designWidth);

}  // namespace drs
