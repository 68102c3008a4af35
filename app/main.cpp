// tovanik-webserver: the control panel for PHP's built-in web server.
#include <QApplication>
#include <string>

#include "app/panel_options.h"
#include "platform/file_store.h"
#include "platform/linux/linux_platform.h"
#include "server/trust.h"
#include "settings/config.h"
#include "window/qt/display_server.h"
#include "window/qt/icon.h"
#include "window/qt/layout_painter.h"
#include "window/qt/main_form.h"
#include "window/qt/single_instance.h"

int main(int argc, char** argv) {
  // Answered before Qt starts, so that --help and --version need no display.
  if (const auto exitCode = tovanik::answerPanelOptions(argc, argv)) return *exitCode;
  // The one platform of the panel, given to everything that reaches the system.
  tovanik::LinuxPlatform platform;
  // Run as root, the panel refuses a folder whose files another user could change.
  if (const auto refusal = tovanik::untrustedFolder(platform, platform.programFolder())) {
    tovanik::sayProblem(*refusal);
    return 1;
  }
  {
    // A settings file too large to be read is said once; the window shows at once all
    // the same, and nothing is written to the file.
    const std::string config = tovanik::configPath(platform.programFolder());
    if (const auto stamp = platform.fileStore().stamp(config);
        stamp && stamp->size > tovanik::kSettingsFileLimit)
      tovanik::sayProblem("cannot read " + config + ": " +
                          tovanik::settingsFileTooLarge(stamp->size));
  }
  tovanik::chooseDisplayServer(platform);
  QApplication app(argc, argv);
  app.setApplicationName("tovanik-webserver");
  app.setWindowIcon(tovanik::panelIcon());

  // Start-up: keep to one copy, show the settings and the window, and launch the server
  // one frame later, so the window never waits for the server's start.
  tovanik::SingleInstance instance(platform, QCoreApplication::applicationFilePath());
  const auto lock = instance.acquire();
  tovanik::MainForm form(platform);
  if (lock == tovanik::SingleInstance::Result::HeldByAnotherCopy) {
    form.startup().secondCopy([&] {
      const auto token = platform.environmentVariable("XDG_ACTIVATION_TOKEN");
      if (!instance.askToShow(QByteArray::fromStdString(token.value_or(""))))
        tovanik::sayProblem("cannot ask the running copy to show its window: " +
                            instance.error().toStdString());
    });
    return 0;
  }
  if (lock == tovanik::SingleInstance::Result::Failed)
    tovanik::sayProblem("no single-copy test: " + instance.error().toStdString());
  else if (!instance.listenForShowRequests(
               [&form](const QByteArray& token) { form.bringBack(token); }))
    tovanik::sayProblem("a later start cannot bring this window back: " +
                        instance.error().toStdString());
  form.startup().firstCopy([&form] {
    form.centreOnScreen();
    form.show();
    // The window is drawn only once the window manager has mapped it; meanwhile its
    // captions are fitted for that first frame.
    tovanik::fitCaptionsAhead(form.panel());
  });
  return app.exec();
}
