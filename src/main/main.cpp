// drsprep: the main window and the journal window on one message loop.
#include <QApplication>

#include "Version.h"
#include "main/ui/TMMVBForm.h"
#include "support/AppPaths.h"
#include "support/Messages.h"
#include "support/ui/GeneralError.h"
#include "support/ui/GuiMessageHandler.h"
#include "support/ui/RussianUi.h"
#include "support/ui/TJrnlForm.h"
#include "utils/Utils.h"

int main(int argc, char* argv[]) {
  drs::SetRussianDateNames();
  QApplication app(argc, argv);
  QApplication::setApplicationVersion(QString::fromLatin1(drs::kVersion));
  drs::InstallRussianUi(app);
  // The journal window may stay open; the main window alone ends the program.
  QApplication::setQuitOnLastWindowClosed(false);
  drs::GuiMessageHandler messages;
  drs::ScopedMessageHandler installed(&messages);
  // Settings and journal live in the home folder; without one the operator
  // is told so, and nothing is put into the working folder instead.
  if (!drs::RunGuarded([] {
        drs::SettingsFolder();
        drs::StateFolder();
      })) {
    return 1;
  }

  drs::TMMVBForm form;
  QObject::connect(&form, &drs::TMMVBForm::Closed, &app, &QApplication::quit);
  drs::TJrnlForm journal;  // hidden until the operator asks for it
  form.SetJournalForm(&journal);
  form.show();
  return app.exec();
}
