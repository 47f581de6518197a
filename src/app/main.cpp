// tavrik32: the desktop configurator of the Tavrik32 controller.
//   tavrik32 [file.cfg] [--cpu927] [--select CAPTION] [--screenshot OUT.png] [--settings INI]
//            [--script STEPS]
// --screenshot draws the window (after opening the file and selecting the node) into a PNG
// and exits; scripts/screenshots uses it.
#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include "model/document.h"
#include "model/factory.h"
#include "ports/register.h"
#include "ui/dialogs.h"
#include "ui/form1.h"
#include "ui/frame1.h"
#include "ui/screenshot.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  t32::RegisterPorts(t32::DefaultFactory());
  QApplication::setApplicationName(QString::fromUtf8(t32::ui::kAppTitle));
  QApplication::setApplicationDisplayName(QString());
  QCommandLineParser cl;
  cl.addHelpOption();
  cl.addPositionalArgument("file", "configuration file to open");
  QCommandLineOption settings("settings", "settings file", "INI");
  QCommandLineOption shot("screenshot", "save a picture of the window and exit", "PNG");
  QCommandLineOption select("select", "select the node with this caption", "CAPTION");
  QCommandLineOption script("script", "screenshot script: steps separated by ';'", "STEPS");
  cl.addOptions({settings, shot, select, script});
  cl.process(app);

  t32::ui::TForm1Options opt;
  opt.settingsPath = cl.value(settings);
  t32::ui::TForm1 form(opt);
  if (!cl.positionalArguments().isEmpty()) form.OpenFile(cl.positionalArguments().first());
  form.show();
  if (cl.isSet(script) && !cl.isSet(shot)) QTimer::singleShot(0, &form, [&] { t32::ui::RunScript(form, cl.value(script)); });
  if (cl.isSet(shot)) {
    QTimer::singleShot(300, &form, [&] {
      int rc = t32::ui::RunScreenshot(form, cl.value(select), cl.value(script), cl.value(shot)) ? 0 : 1;
      QApplication::exit(rc);
    });
  }
  return app.exec();
}
