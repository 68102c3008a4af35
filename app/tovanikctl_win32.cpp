// tovanikctl.exe: the panel's settings store and server control from the command line.
// Arguments arrive as UTF-16 (wmain) and are handed on as UTF-8; what the commands print
// is UTF-8, shown as such in a console window and written as UTF-8 bytes (with Windows
// line ends) to a file or a pipe.
#include <windows.h>

#include <string>
#include <vector>

#include "app/ctl_commands.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_platform.h"

namespace {

using tovanik::windows::utf16;
using tovanik::windows::utf8;

// Output over a standard handle: a console gets UTF-16 through WriteConsoleW, whatever its
// code page; anything else gets the UTF-8 bytes, each "\n" as "\r\n". Text is handed on
// at line ends and flushes, never cut inside a character.
class StandardOutput final : public tovanik::ctl::Output {
 public:
  explicit StandardOutput(DWORD which) : handle_(GetStdHandle(which)) {
    DWORD mode = 0;
    console_ = handle_ && handle_ != INVALID_HANDLE_VALUE && GetConsoleMode(handle_, &mode);
  }
  ~StandardOutput() override { flush(); }
  StandardOutput(const StandardOutput&) = delete;
  StandardOutput& operator=(const StandardOutput&) = delete;

  void write(std::string_view text) override {
    pending_.append(text);
    if (text.find('\n') != std::string_view::npos || pending_.size() >= 4096) flush();
  }
  void flush() override {
    // A character cut by the buffer's end waits for its other bytes.
    std::size_t whole = pending_.size();
    for (std::size_t back = 1; back <= 3 && back <= pending_.size(); ++back) {
      const auto byte = static_cast<unsigned char>(pending_[pending_.size() - back]);
      if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: look further back
      const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
      if (length > back) whole = pending_.size() - back;
      break;
    }
    const std::string text = pending_.substr(0, whole);
    pending_.erase(0, whole);
    if (text.empty() || !handle_ || handle_ == INVALID_HANDLE_VALUE) return;
    DWORD done = 0;
    if (console_) {
      const std::wstring wide = utf16(text);
      WriteConsoleW(handle_, wide.data(), static_cast<DWORD>(wide.size()), &done, nullptr);
      return;
    }
    std::string bytes;
    for (const char c : text) bytes += c == '\n' ? std::string("\r\n") : std::string(1, c);
    WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
  }

 private:
  HANDLE handle_;
  bool console_ = false;
  std::string pending_;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(utf8(argv[i]));
  StandardOutput out(STD_OUTPUT_HANDLE), err(STD_ERROR_HANDLE);
  tovanik::WindowsPlatform platform;
  const int code = tovanik::ctl::run(platform, args, out, err);
  out.flush();
  err.flush();
  return code;
}
