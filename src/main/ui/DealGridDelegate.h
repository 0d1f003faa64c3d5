// Draws MMVBGrid's cells: marked deals in red text, deals sharing their key
// with a neighbour on aqua; other cells as the style draws them.
#pragma once

#include <QColor>
#include <QStyledItemDelegate>

namespace drs {

class DealGridModel;

class DealGridDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  static QColor MarkedText() { return QColor(255, 0, 0); }
  static QColor RelatedBackground() { return QColor(0, 255, 255); }

  DealGridDelegate(const DealGridModel& model, QObject* parent = nullptr);
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  const DealGridModel& model_;
};

}  // namespace drs
