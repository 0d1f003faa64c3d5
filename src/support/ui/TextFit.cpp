#include "support/ui/TextFit.h"

#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>
#include <algorithm>

namespace drs {

int TextWidth(const QWidget* widget, const QString& text) {
  return widget->fontMetrics().horizontalAdvance(text);
}

int EditWidthFor(const QLineEdit* edit, const QString& sample, int designWidth) {
  QStyleOptionFrame option;
  option.initFrom(edit);
  option.lineWidth =
      edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit) : 0;
  const QMargins m = edit->textMargins();
  // Two pixels a side of the text: the edit's own inner margin.
  const QSize content(TextWidth(edit, sample) + m.left() + m.right() + 4, edit->fontMetrics().height());
  const int needed = edit->style()->sizeFromContents(QStyle::CT_LineEdit, &option, content, edit).width();
  return std::max(designWidth, needed);
}

}  // namespace drs
