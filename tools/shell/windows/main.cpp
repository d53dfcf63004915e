// moravex-shell.exe: drives the registered MORAVEX1 control from commands on
// standard input and prints call results and events as JSON lines on
// standard output, byte for byte as the native shell does.
#include "windows/com/windows_headers.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <string>

#include "tools/shell/console.h"
#include "tools/shell/shell_host.h"
#include "tools/shell/windows/windows_driver.h"

namespace {

// Lines read by the input thread, handed to the user-interface thread when
// its pump wakes on `ready`.
struct InputQueue {
  CRITICAL_SECTION lock;
  HANDLE ready = nullptr;
  std::deque<std::string> lines;
  bool ended = false;
};

// Blocking reads, so a thread of their own: the user-interface thread keeps
// pumping messages meanwhile.
DWORD WINAPI ReadInput(void* parameter) {
  auto& queue = *static_cast<InputQueue*>(parameter);
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  std::string partial;
  for (;;) {
    char buffer[4096];
    DWORD count = 0;
    const bool more = ReadFile(input, buffer, sizeof buffer, &count, nullptr) && count > 0;
    EnterCriticalSection(&queue.lock);
    if (more) {
      partial.append(buffer, count);
      size_t newline;
      while ((newline = partial.find('\n')) != std::string::npos) {
        queue.lines.push_back(partial.substr(0, newline));
        partial.erase(0, newline + 1);
      }
    } else {
      if (!partial.empty()) queue.lines.push_back(std::move(partial));
      queue.ended = true;
    }
    LeaveCriticalSection(&queue.lock);
    SetEvent(queue.ready);
    if (!more) return 0;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    const bool help = std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0;
    moravex::shell::PrintUsage();
    return help ? 0 : 2;
  }
  // JSON lines end in "\n" alone, as on every other platform.
  _setmode(_fileno(stdout), _O_BINARY);

  const HRESULT initialized = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(initialized)) {
    std::fprintf(stderr, "moravex-shell: CoInitializeEx failed (0x%08lX)\n", static_cast<unsigned long>(initialized));
    return 1;
  }
  // Never freed: the input thread may still be blocked in ReadFile at exit.
  auto* queue = new InputQueue;
  InitializeCriticalSection(&queue->lock);
  queue->ready = CreateEventW(nullptr, FALSE, FALSE, nullptr);

  moravex::shell::ShellInput input;
  int status = 0;
  {
    moravex::shell::WindowsDriver driver(queue->ready, [&] {
      EnterCriticalSection(&queue->lock);
      for (auto& line : queue->lines) input.lines.push_back(std::move(line));
      queue->lines.clear();
      input.ended = queue->ended;
      LeaveCriticalSection(&queue->lock);
    });
    if (FAILED(driver.Status())) {
      std::fprintf(stderr,
                   "moravex-shell: cannot create MORAVEX1.ChartServiceClient (0x%08lX); is MORAVEX1.ocx registered?\n",
                   static_cast<unsigned long>(driver.Status()));
      status = 1;
    } else {
      const HANDLE reader = CreateThread(nullptr, 0, ReadInput, queue, 0, nullptr);
      if (reader == nullptr) {
        std::fprintf(stderr, "moravex-shell: cannot start the input thread\n");
        status = 1;
      } else {
        CloseHandle(reader);
        moravex::shell::ShellHost host(driver, moravex::shell::PrintLine);
        host.Run(input);
      }
    }
  }
  CoUninitialize();
  return status;
}
