// tovanik-webserver: the control panel for PHP's built-in web server.
#include <QApplication>
#include <iostream>

#include "app/panel_options.h"
#include "window/desktop_platform.h"
#include "window/icon.h"
#include "window/main_form.h"
#include "window/single_instance.h"

int main(int argc, char** argv) {
  // Answered before Qt starts, so that --help and --version need no display.
  if (const auto exitCode = tovanik::answerPanelOptions(argc, argv, std::cout, std::cerr))
    return *exitCode;
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
