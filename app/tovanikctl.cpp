// tovanikctl: the panel's settings store and server control from the command line.
#include <iostream>
#include <string>
#include <vector>

#include "app/ctl_commands.h"
#include "platform/linux/linux_platform.h"

int main(int argc, char** argv) {
  tovanik::LinuxPlatform platform;
  return tovanik::ctl::run(platform, std::vector<std::string>(argv + 1, argv + argc), std::cout,
                           std::cerr);
}
