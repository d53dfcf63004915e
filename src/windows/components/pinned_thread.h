// Threads whose code lives in this module and that keep it loaded until their
// last instruction: a host's CoFreeUnusedLibraries or CoUninitialize cannot
// unload the library under a thread that still runs in it.
#pragma once
#include <functional>

namespace moravex::windows {

// Starts a detached thread that runs `body` holding a reference on the
// module; false when no thread could start (nothing then runs).
bool StartPinnedThread(std::function<void()> body);

}  // namespace moravex::windows
