#include "support/ui/RussianUi.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLibraryInfo>
#include <QLocale>
#include <QSortFilterProxyModel>
#include <QTranslator>
#include <QTreeView>
#include <algorithm>

namespace drs {

namespace {

const QLocale& Russian() {
  static const QLocale russian(QLocale::Russian, QLocale::Russia);
  return russian;
}

// Bytes as "435 Б" (Qt's own word takes the wrong plural), larger sizes
// in kilobytes, megabytes... with a decimal comma.
QString SizeText(qint64 bytes) {
  if (bytes < 1000) return QStringLiteral("%1 Б").arg(bytes);
  return Russian().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

// The dialog's file list with the size, kind and date columns written in
// Russian. Sorting stays the file model's own, by the values themselves.
class RussianFileList : public QSortFilterProxyModel {
 public:
  using QSortFilterProxyModel::QSortFilterProxyModel;

  QVariant data(const QModelIndex& index, int role) const override {
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (role != Qt::DisplayRole || !files || index.column() < 1 || index.column() > 3)
      return QSortFilterProxyModel::data(index, role);
    const QModelIndex source = mapToSource(index);
    const QFileInfo info = files->fileInfo(source);
    switch (index.column()) {
      case 1:
        return info.isDir() ? QString() : SizeText(info.size());
      case 2:
        return info.isDir() ? QStringLiteral("Папка") : QSortFilterProxyModel::data(index, role);
      default:
        return Russian().toString(info.lastModified(), QStringLiteral("dd.MM.yyyy HH:mm"));
    }
  }

  void sort(int column, Qt::SortOrder order) override {
    if (sourceModel()) sourceModel()->sort(column, order);
  }
};

}  // namespace

bool InstallRussianUi(QCoreApplication& app) {
  QLocale::setDefault(Russian());
  auto* translator = new QTranslator(&app);
  if (!translator->load(Russian(), "qt", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}

void MakeFileDialogRussian(QFileDialog& dialog) {
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setLocale(Russian());
  dialog.setProxyModel(new RussianFileList(&dialog));
  dialog.resize(std::max(dialog.width(), 760), std::max(dialog.height(), 440));
  // The size and date columns as wide as their longest texts.
  if (auto* details = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
    const QFontMetrics metrics = details->fontMetrics();
    const int size = metrics.horizontalAdvance(QStringLiteral("999,9 кБ")) + 24;
    const int date = metrics.horizontalAdvance(QStringLiteral("00.00.0000 00:00")) + 24;
    QHeaderView* header = details->header();
    header->resizeSection(1, std::max(header->sectionSize(1), size));
    header->resizeSection(3, std::max(header->sectionSize(3), date));
    const int kind = metrics.horizontalAdvance(QStringLiteral("Текстовый документ")) + 16;
    header->resizeSection(2, std::max(header->sectionSize(2), kind));
  }
}

}  // namespace drs
