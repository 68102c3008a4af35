// tovanik-webserver: the control panel for PHP's built-in web server.
#include <QApplication>

#include "window/desktop_platform.h"
#include "window/icon.h"
#include "window/main_form.h"
#include "window/single_instance.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  app.setApplicationName("tovanik-webserver");
  app.setWindowIcon(tovanik::panelIcon());

  tovanik::DesktopPlatform platform;
  tovanik::MainForm form(platform);
  // The load sequence: start the server first, then keep to one copy. A second copy has
  // launched the server if none ran, and ends without ever showing its window.
  form.load();
  tovanik::SingleInstance instance(QCoreApplication::applicationFilePath());
  if (!instance.acquire()) return 0;

  form.centreOnScreen();
  form.show();
  form.panel().MakeTopMost();
  return app.exec();
}
