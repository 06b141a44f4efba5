// Program entry: the application object, the main window and the message loop.
#include <QApplication>

#include "app/main_form.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Platterscope"));
  TMainForm main_form;
  main_form.show();
  return QApplication::exec();
}
