// A writer to kill in the middle of its work, for the Windows tests of the settings file:
// `ini_writer FILE` stores key=first and key=second in [Config] of FILE by turns, for ever.
#include <windows.h>

#include <string>

#include "platform/windows/wide_text.h"
#include "settings/ini.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  const std::string path = tovanik::windows::utf8(argv[1]);
  for (long i = 0;; ++i) tovanik::INIwrite(path, "Config", "key", i % 2 ? "first" : "second");
}
