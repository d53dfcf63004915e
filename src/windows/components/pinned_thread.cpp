#include "windows/components/pinned_thread.h"

#include "windows/com/windows_headers.h"

#include <memory>
#include <new>
#include <utility>

namespace moravex::windows {

namespace {

struct Start {
  HMODULE module;
  std::function<void()> body;
};

DWORD WINAPI Run(void* parameter) {
  const HMODULE module = static_cast<Start*>(parameter)->module;
  {
    const std::unique_ptr<Start> start(static_cast<Start*>(parameter));
    start->body();
  }
  // The reference goes with the thread, from kernel32: no instruction of the
  // module runs after the library may have been unloaded.
  FreeLibraryAndExitThread(module, 0);
}

}  // namespace

bool StartPinnedThread(std::function<void()> body) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&Run), &module)) {
    return false;
  }
  auto* start = new (std::nothrow) Start{module, std::move(body)};
  const HANDLE thread = start != nullptr ? CreateThread(nullptr, 0, &Run, start, 0, nullptr) : nullptr;
  if (thread == nullptr) {
    delete start;
    FreeLibrary(module);
    return false;
  }
  CloseHandle(thread);
  return true;
}

}  // namespace moravex::windows
