// Qt's own texts in Russian: file dialogs, standard buttons, the calendar.
#pragma once

class QCoreApplication;
class QFileDialog;

namespace drs {

// Makes Russian the default locale (month and day names) and installs Qt's
// Russian translations. False when the translation files are not installed
// (package qt6-translations-l10n); the locale is set either way.
bool InstallRussianUi(QCoreApplication& app);

// Qt's own file dialog with its sizes, kinds and dates in Russian whatever
// the desktop's locale: the file list takes the system locale, which the
// translations do not reach.
void MakeFileDialogRussian(QFileDialog& dialog);

}  // namespace drs
