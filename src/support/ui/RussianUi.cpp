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
        return info.isDir() ? QString()
                            : Russian().formattedDataSize(info.size(), 1, QLocale::DataSizeSIFormat);
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
  // The date column as wide as a date with its time.
  if (auto* details = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
    const int date = details->fontMetrics().horizontalAdvance(QStringLiteral("00.00.0000 00:00")) + 24;
    details->header()->resizeSection(3, std::max(details->header()->sectionSize(3), date));
  }
}

}  // namespace drs
