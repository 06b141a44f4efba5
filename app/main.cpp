// Program entry: the application object, the main window and the message loop.
//
//   platterscope [--screenshot FILE.png]
// With --screenshot the window saves a picture of itself once start-up has finished and
// the program ends; scripts/screenshot uses it to show the layout.
#include <QApplication>
#include <QTimer>

#include "app/main_form.h"

int main(int argc, char** argv) {
  Prepare_Message_Browser_Engine();
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Platterscope"));
  TMainForm main_form;
  main_form.show();

  const QStringList arguments = QApplication::arguments();
  const qsizetype at = arguments.indexOf(QStringLiteral("--screenshot"));
  if (at > 0 && at + 1 < arguments.size()) {
    const QString file = arguments[at + 1];
    QTimer::singleShot(2000, &main_form, [&main_form, file] {
      const bool saved = main_form.grab().save(file);
      main_form.close();
      if (!saved) QCoreApplication::exit(1);
    });
  }
  return QApplication::exec();
}
