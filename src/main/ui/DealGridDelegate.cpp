#include "main/ui/DealGridDelegate.h"

#include <QPainter>

#include "main/ui/DealGridModel.h"

namespace drs {

DealGridDelegate::DealGridDelegate(const DealGridModel& model, QObject* parent)
    : QStyledItemDelegate(parent), model_(model) {}

void DealGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
  const bool marked = model_.IsMarked(index.row());
  const bool related = model_.IsRelated(index.row());
  if (!marked && !related) {
    QStyledItemDelegate::paint(painter, option, index);
    return;
  }
  const bool selected = option.state.testFlag(QStyle::State_Selected);
  const QPalette::ColorGroup group =
      option.state.testFlag(QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
  QColor background = selected ? option.palette.color(group, QPalette::Highlight)
                               : option.palette.color(group, QPalette::Base);
  QColor text = selected ? option.palette.color(group, QPalette::HighlightedText)
                         : option.palette.color(group, QPalette::Text);
  if (related) background = RelatedBackground();
  if (marked) text = MarkedText();

  const QRect cell = option.rect;
  painter->save();
  painter->setClipRect(cell);
  painter->fillRect(cell, background);
  painter->setPen(text);
  painter->setFont(option.font);
  const QRect textRect = cell.adjusted(2, 2, 0, 0);
  painter->drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                    index.data(Qt::DisplayRole).toString());
  painter->restore();
}

}  // namespace drs
