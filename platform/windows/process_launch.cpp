#include "platform/windows/process_launch.h"

#include <algorithm>
#include <cwchar>
#include <memory>

#include "platform/windows/handle.h"
#include "platform/windows/wide_text.h"

namespace tovanik::windows {
namespace {

// The design's rule for the shown line, plus what the parsing rules need quoted.
bool needsQuotes(const std::wstring& argument) {
  return argument.empty() || argument.find_first_of(L" \t\n\v\\/\"") != std::wstring::npos;
}

// `argument` in double quotes, escaped for the system's parsing rules: a run of
// backslashes is doubled where a double quote follows it (one inside the value, or the
// closing one), and a double quote inside is preceded by a backslash. Elsewhere
// backslashes stand for themselves, so a path reads as it is written.
std::wstring quoted(const std::wstring& argument) {
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(2 * backslashes, L'\\');
  return out + L'"';
}

SECURITY_ATTRIBUTES inheritable() { return {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE}; }

Handle openNul(DWORD access) {
  SECURITY_ATTRIBUTES attributes = inheritable();
  return Handle(CreateFileW(L"NUL", access, FILE_SHARE_READ | FILE_SHARE_WRITE, &attributes,
                            OPEN_EXISTING, 0, nullptr));
}

// A list of handles the new process inherits, and nothing else.
class HandleList {
 public:
  explicit HandleList(std::vector<HANDLE> handles) : handles_(std::move(handles)) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    buffer_ = std::make_unique<char[]>(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer_.get());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) return;
    list_ = list;
    ok_ = UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                    handles_.size() * sizeof(HANDLE), nullptr, nullptr) != 0;
  }
  ~HandleList() {
    if (list_) DeleteProcThreadAttributeList(list_);
  }
  HandleList(const HandleList&) = delete;
  HandleList& operator=(const HandleList&) = delete;

  bool ok() const { return ok_; }
  LPPROC_THREAD_ATTRIBUTE_LIST get() const { return list_; }

 private:
  std::vector<HANDLE> handles_;
  std::unique_ptr<char[]> buffer_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
  bool ok_ = false;
};

}  // namespace

std::wstring commandLineOf(const std::vector<std::string>& argv) {
  std::wstring line;
  for (std::size_t i = 0; i < argv.size(); ++i) {
    const std::wstring argument = utf16(argv[i]);
    if (i > 0) line += L' ';
    // The program's name is read up to the next double quote, with no escapes (and no
    // file name holds one).
    if (i == 0)
      line += L'"' + argument + L'"';
    else
      line += needsQuotes(argument) ? quoted(argument) : argument;
  }
  return line;
}

std::wstring quotedArgumentLine(const std::wstring& program, const std::string& path) {
  return program + L" \"" + utf16(path) + L"\"";
}

std::wstring environmentBlockWith(
    const std::vector<std::pair<std::string, std::string>>& extra) {
  if (extra.empty()) return {};
  // Names compare without regard to case. An entry's name ends at its first "=" after
  // the first character: the hidden "=C:=C:\dir" entries start with one.
  const auto nameOf = [](const std::wstring& entry) {
    return entry.substr(0, entry.find(L'=', 1));
  };
  const auto sameName = [](const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
  };
  std::vector<std::wstring> entries;
  if (wchar_t* inherited = GetEnvironmentStringsW()) {
    for (const wchar_t* entry = inherited; *entry; entry += wcslen(entry) + 1)
      entries.emplace_back(entry);
    FreeEnvironmentStringsW(inherited);
  }
  for (const auto& [name, value] : extra) {
    const std::wstring wideName = utf16(name);
    std::erase_if(entries, [&](const std::wstring& e) { return sameName(nameOf(e), wideName); });
    entries.push_back(wideName + L'=' + utf16(value));
  }
  std::sort(entries.begin(), entries.end(), [&](const std::wstring& a, const std::wstring& b) {
    const std::wstring x = nameOf(a), y = nameOf(b);
    return CompareStringOrdinal(x.data(), static_cast<int>(x.size()), y.data(),
                                static_cast<int>(y.size()), TRUE) == CSTR_LESS_THAN;
  });
  std::wstring block;
  for (const std::wstring& entry : entries) block += entry + L'\0';
  return block + L'\0';
}

DWORD startProcess(const wchar_t* application, std::wstring commandLine, ConsoleMode mode,
                   HANDLE output, const std::wstring& environment) {
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  DWORD flags = 0;
  BOOL inherit = FALSE;
  Handle input, discard;
  std::unique_ptr<HandleList> handles;
  if (mode == ConsoleMode::Hidden) {
    input = openNul(GENERIC_READ);
    if (!output) {
      discard = openNul(GENERIC_WRITE);
      output = discard.get();
    }
    if (!input || !output) return 0;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = input.get();
    startup.StartupInfo.hStdOutput = output;
    startup.StartupInfo.hStdError = output;
    handles = std::make_unique<HandleList>(std::vector<HANDLE>{input.get(), output});
    if (!handles->ok()) return 0;
    startup.lpAttributeList = handles->get();
    flags = CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT;
    inherit = TRUE;
  } else {
    startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW;
    startup.StartupInfo.wShowWindow = SW_SHOWNORMAL;
    flags = CREATE_NEW_CONSOLE;
  }
  PROCESS_INFORMATION process{};
  void* block = nullptr;
  if (!environment.empty()) {
    block = const_cast<wchar_t*>(environment.data());
    flags |= CREATE_UNICODE_ENVIRONMENT;
  }
  BOOL started = CreateProcessW(application, commandLine.data(), nullptr, nullptr, inherit,
                                flags | CREATE_BREAKAWAY_FROM_JOB, block, nullptr,
                                &startup.StartupInfo, &process);
  // A job that does not let its processes break away refuses the flag: start inside it.
  if (!started && GetLastError() == ERROR_ACCESS_DENIED)
    started = CreateProcessW(application, commandLine.data(), nullptr, nullptr, inherit, flags,
                             block, nullptr, &startup.StartupInfo, &process);
  if (!started) return 0;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return process.dwProcessId;
}

}  // namespace tovanik::windows
