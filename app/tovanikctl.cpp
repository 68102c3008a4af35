// tovanikctl: the panel's settings store and server control from the command line.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "app/ctl_commands.h"
#include "platform/linux/linux_platform.h"

int main(int argc, char** argv) {
  // Whatever was inherited beyond the standard streams goes first: started from a page of
  // the server, tovanikctl would otherwise hold the server's listening socket open, and a
  // restart would find the port taken by itself.
  ::close_range(3, ~0u, 0);
  tovanik::LinuxPlatform platform;
  return tovanik::ctl::run(platform, std::vector<std::string>(argv + 1, argv + argc), std::cout,
                           std::cerr);
}
