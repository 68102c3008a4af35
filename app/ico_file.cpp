// tovanik-ico: the build tool that writes the panel's icon as an .ico file for the
// Windows program's resources. Built for Windows; the build runs it under the
// cross-compiling emulator (Wine) when building on Linux.
//
// Usage: tovanik-ico OUTPUT.ico
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "window/win32/icon_image.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fputs("usage: tovanik-ico OUTPUT.ico\n", stderr);
    return 2;
  }
  // The design's 24 pixels, and the sizes Windows asks for at other scales and in Explorer.
  constexpr std::array kSizes{16, 20, 24, 32, 40, 48, 64, 96, 128, 256};
  const auto bytes = tovanik::icoFile(kSizes);
  std::ofstream out(std::filesystem::path(argv[1]), std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    std::fputs("tovanik-ico: cannot write the icon file\n", stderr);
    return 1;
  }
  return 0;
}
