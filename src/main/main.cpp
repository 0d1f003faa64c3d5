// drsprep: the main window and the journal window on one message loop.
#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Version.h"
#include "main/ui/TMMVBForm.h"
#include "support/AppPaths.h"
#include "support/Messages.h"
#include "support/ui/GeneralError.h"
#include "support/ui/GuiMessageHandler.h"
#include "support/ui/RussianUi.h"
#include "support/ui/TJrnlForm.h"
#include "utils/Utils.h"

namespace {

const char kUsage[] =
    "Использование: drsprep [--help] [--version]\n"
    "Окно подготовки файла сделок для ДРС из отчета о сделках ММВБ.\n"
    "Окну нужен графический дисплей. Без дисплея то же делает drsprep-batch\n"
    "(drsprep-batch --help); окно можно открыть и на виртуальном дисплее:\n"
    "xvfb-run drsprep.\n"
    "  --help     эта справка\n"
    "  --version  версия программы\n";

const char kNoDisplay[] =
    "drsprep: окну нужен графический дисплей, а он не задан или недоступен"
    " (переменная DISPLAY).\n"
    "Без дисплея файл сделок готовит drsprep-batch (drsprep-batch --help);"
    " окно можно открыть на виртуальном дисплее: xvfb-run drsprep\n";

// While the application starts, Qt's complaints about the display give way
// to one message that says what to do, and its fatal error to exit code 1
// instead of an abort with a core dump.
QtMessageHandler qtHandler = nullptr;
void StartupMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtFatalMsg) {
    std::fputs(kNoDisplay, stderr);
    std::fflush(stderr);
    std::_Exit(1);
  }
  if (context.category && std::strncmp(context.category, "qt.qpa", 6) == 0) return;
  if (qtHandler) qtHandler(type, context, text);
}

}  // namespace

int main(int argc, char* argv[]) {
  // The options are read before the application object, which needs a display.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("drsprep %s\n", drs::kVersion);
      return 0;
    }
  }
  auto set = [](const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
  };
  if (!set("QT_QPA_PLATFORM") && !set("DISPLAY") && !set("WAYLAND_DISPLAY")) {
    std::fputs(kNoDisplay, stderr);
    return 1;
  }

  drs::SetRussianDateNames();
  qtHandler = qInstallMessageHandler(StartupMessages);
  QApplication app(argc, argv);
  qInstallMessageHandler(qtHandler);
  QApplication::setApplicationVersion(QString::fromLatin1(drs::kVersion));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/drsprep.png")));
  QGuiApplication::setDesktopFileName(QStringLiteral("drsprep"));
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
