// A stand-in for php.exe's built-in web server in the Windows tests, where PHP for Windows
// cannot be had: `stand_in_server -S HOST:PORT -t FOLDER` listens on HOST:PORT, answers
// every request with 200 and "tovanik-ok", and prints on its standard error what php -S
// prints, in php's words, so the panel and tovanikctl read it as they read PHP:
//   [Tue Dec  8 05:07:39 2026] PHP Development Server (http://HOST:PORT) started
//   [Tue Dec  8 05:07:39 2026] Failed to listen on HOST:PORT (reason: <the system's text>)
//   Directory FOLDER does not exist.
// Its first line, "command line: ...", is the command line it was started with, as the
// system handed it over (for the tests of its composition).
// With STAND_IN_WORKER_PORT=N in its environment it first starts a copy of itself serving
// the same folder on 127.0.0.1:N, a process below the launched one (for the tests that end
// a launched server with everything it started).
#include <winsock2.h>
#include <ws2tcpip.h>
// winsock2.h before windows.h, which would bring the old winsock.h.
#include <windows.h>

#include <ctime>
#include <string>

namespace {

std::string utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length,
                      nullptr, nullptr);
  return narrow;
}

// One line on standard error at once, as php does (no buffering: it may be killed).
void say(const std::string& line) {
  const std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written,
            nullptr);
}

// The system's text for a socket error, as php on Windows reports it.
std::string systemMessage(int error) {
  wchar_t* text = nullptr;
  FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = text ? text : L"";
  if (text) LocalFree(text);
  while (!message.empty() &&
         (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
    message.pop_back();
  return message.empty() ? "error " + std::to_string(error) : utf8(message);
}

std::string stamp() {
  const std::time_t now = std::time(nullptr);
  char text[64];
  std::strftime(text, sizeof text, "[%a %b %d %H:%M:%S %Y] ", std::localtime(&now));
  return text;
}

// The worker: this program again, on another port, without the variable that asked for it.
void startWorker(const std::wstring& folder) {
  wchar_t port[16];
  if (GetEnvironmentVariableW(L"STAND_IN_WORKER_PORT", port, 16) == 0) return;
  SetEnvironmentVariableW(L"STAND_IN_WORKER_PORT", nullptr);
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring line = L"\"" + std::wstring(self) + L"\" -S 127.0.0.1:" + port + L" -t \"" +
                      folder + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(self, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &startup, &started)) {
    say("cannot start the worker: " + systemMessage(static_cast<int>(GetLastError())));
    return;
  }
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  say("command line: " + utf8(GetCommandLineW()));
  std::wstring address, folder;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::wstring(argv[i]) == L"-S") address = argv[i + 1];
    if (std::wstring(argv[i]) == L"-t") folder = argv[i + 1];
  }
  const std::size_t colon = address.rfind(L':');
  if (colon == std::wstring::npos) {
    say("Invalid address: " + utf8(address));
    return 1;
  }
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    say("Directory " + utf8(folder) + " does not exist.");
    return 1;
  }
  startWorker(folder);
  const std::string host = utf8(address.substr(0, colon));
  const int port = _wtoi(address.substr(colon + 1).c_str());

  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  SOCKET server = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  BOOL exclusive = TRUE;  // as php on Windows: no one else may bind the port meanwhile
  setsockopt(server, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
             sizeof exclusive);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(static_cast<u_short>(port));
  inet_pton(AF_INET, host.c_str(), &local.sin_addr);
  if (bind(server, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      listen(server, 16) != 0) {
    const int error = WSAGetLastError();
    say(stamp() + "Failed to listen on " + utf8(address) + " (reason: " + systemMessage(error) +
        ")");
    return 1;
  }
  say(stamp() + "PHP Development Server (http://" + utf8(address) + ") started");
  for (;;) {
    sockaddr_in peer{};
    int peerLength = sizeof peer;
    const SOCKET client = accept(server, reinterpret_cast<sockaddr*>(&peer), &peerLength);
    if (client == INVALID_SOCKET) continue;
    char request[4096];
    const int got = recv(client, request, sizeof request, 0);
    const std::string body = "tovanik-ok";
    const std::string answer =
        "HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=UTF-8\r\n"
        "Content-Length: " +
        std::to_string(body.size()) + "\r\n\r\n" + body;
    if (got > 0) send(client, answer.data(), static_cast<int>(answer.size()), 0);
    shutdown(client, SD_SEND);
    closesocket(client);
    char peerText[64] = "?";
    inet_ntop(AF_INET, &peer.sin_addr, peerText, sizeof peerText);
    say(stamp() + peerText + ":" + std::to_string(ntohs(peer.sin_port)) + " [200]: GET /");
  }
}
