// A captioned group of radio buttons with one chosen item, addressed by its
// index (-1 for none), so the window store keeps it as ItemIndex.
#pragma once

#include <QGroupBox>
#include <QStringList>

class QButtonGroup;
class QRadioButton;

namespace drs {

class TRadioGroup : public QGroupBox {
  Q_OBJECT
  Q_PROPERTY(int ItemIndex READ ItemIndex WRITE SetItemIndex NOTIFY ItemIndexChanged)

 public:
  TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent = nullptr);

  int ItemIndex() const;
  // An index outside the items clears the choice.
  void SetItemIndex(int index);
  int ItemCount() const;
  QRadioButton* Item(int index) const;

 signals:
  void ItemIndexChanged(int index);

 private:
  QButtonGroup* buttons_;
};

}  // namespace drs
