// The message loop of the Windows tests: until a condition holds or a deadline
// passes, or one pass over what is queued (as VB's DoEvents).
#pragma once
#include "windows/com/windows_headers.h"

#include <algorithm>
#include <functional>

namespace moravex::windows::test {

// `step` runs between rounds (a test's server side); returns done().
inline bool PumpUntil(const std::function<bool()>& done, DWORD limit_ms = 5000,
                      const std::function<void()>& step = {}) {
  const ULONGLONG deadline = GetTickCount64() + limit_ms;
  for (;;) {
    if (done()) return true;
    if (step) step();
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageW(&msg);
      if (done()) return true;
    }
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return done();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, step ? 1 : static_cast<DWORD>(std::min<ULONGLONG>(10, deadline - now)),
                              QS_ALLINPUT);
  }
}

inline void DoEvents() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

inline void PumpFor(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

}  // namespace moravex::windows::test
