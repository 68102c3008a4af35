// A writer for the Windows tests of the settings file.
//   ini_writer FILE              stores key=first and key=second in [Config] of FILE by
//                                turns, for ever: a writer to kill in the middle of its work
//   ini_writer FILE KEY COUNT    stores KEY=1 ... KEY=COUNT, then exits (1 when a write
//                                failed): one of several writers at once
#include <windows.h>

#include <string>

#include "platform/windows/wide_text.h"
#include "settings/ini.h"

int wmain(int argc, wchar_t** argv) {
  using tovanik::windows::utf8;
  if (argc == 2) {
    const std::string path = utf8(argv[1]);
    for (long i = 0;; ++i) tovanik::INIwrite(tovanik::systemFileStore(), path, "Config", "key", i % 2 ? "first" : "second");
  }
  if (argc != 4) return 2;
  const std::string path = utf8(argv[1]), key = utf8(argv[2]);
  const int count = _wtoi(argv[3]);
  for (int i = 1; i <= count; ++i)
    if (!tovanik::INIwrite(tovanik::systemFileStore(), path, "Config", key, std::to_string(i))) return 1;
  return 0;
}
