// Qt's own texts in Russian: file dialogs, standard buttons, the calendar.
#pragma once

class QCoreApplication;

namespace drs {

// Makes Russian the default locale (month and day names) and installs Qt's
// Russian translations. False when the translation files are not installed
// (package qt6-translations-l10n); the locale is set either way.
bool InstallRussianUi(QCoreApplication& app);

}  // namespace drs
