#pragma once
// The panel's Platform: LinuxPlatform, with addresses and files handed to the desktop
// through Qt's desktop services (the desktop's default browser, editor and file manager).

#include "platform/linux/linux_platform.h"

namespace tovanik {

class DesktopPlatform final : public LinuxPlatform {
 public:
  bool openUrl(const std::string& url) override;
  bool openTextFile(const std::string& path) override;
  bool openFolder(const std::string& path) override;

 private:
  bool openLocal(const std::string& path);
};

}  // namespace tovanik
