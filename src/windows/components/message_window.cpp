#include "windows/components/message_window.h"

#include <utility>

#include "windows/components/system_text.h"
#include "platform/failure.h"

namespace moravex::windows {

namespace {

constexpr UINT kWakeMessage = WM_APP + 1;
// WM_APP + 0x100 up to the end of the WM_APP range (0xBFFF).
constexpr UINT kFirstRingMessage = WM_APP + 0x100;
constexpr UINT kRingSize = 0xC000 - kFirstRingMessage;
constexpr wchar_t kClassName[] = L"MORAVEX1.ComponentWindow";

// The module the code lives in (the .ocx, or a test program), so the class
// is registered under the instance whose window procedure it names.
HINSTANCE CodeModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&CodeModule), &module);
  return module;
}

// The class lives while some window of it does: a DLL unloaded and loaded
// again must not find a class whose procedure points into the old image.
SRWLOCK class_lock = SRWLOCK_INIT;
int class_users = 0;

class ExclusiveLock {
 public:
  explicit ExclusiveLock(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
  ~ExclusiveLock() { ReleaseSRWLockExclusive(&lock_); }
  ExclusiveLock(const ExclusiveLock&) = delete;
  ExclusiveLock& operator=(const ExclusiveLock&) = delete;

 private:
  SRWLOCK& lock_;
};

}  // namespace

MessageWindow::ClassUse::ClassUse() {
  ExclusiveLock hold(class_lock);
  if (class_users == 0) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &MessageWindow::WindowProcedure;
    wc.hInstance = CodeModule();
    wc.lpszClassName = kClassName;
    if (RegisterClassExW(&wc) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
      const DWORD error = GetLastError();
      throw Failure(Win32FailureNumber(error), kRuntimeSource,
                    ToUtf8(SystemMessage(error, "The component window class cannot be registered")));
    }
  }
  ++class_users;
}

MessageWindow::ClassUse::~ClassUse() {
  ExclusiveLock hold(class_lock);
  if (--class_users == 0) UnregisterClassW(kClassName, CodeModule());
}

bool Mailbox::Post(MessageWindow::Callback callback) {
  MessageWindow::Callback refused;  // its captures go after the lock is released
  ExclusiveLock hold(lock_);
  if (hwnd_ == nullptr) return false;
  queue_.push_back(std::move(callback));
  if (wake_pending_) return true;
  // Only a callback that finds no wake pending posts one. When that fails it
  // leaves the queue again, so no callback ever waits without a wake.
  if (post_wake_(hwnd_, kWakeMessage, 0, 0) == 0) {
    refused = std::move(queue_.back());
    queue_.pop_back();
    return false;
  }
  wake_pending_ = true;
  return true;
}

size_t Mailbox::BeginWake() {
  ExclusiveLock hold(lock_);
  wake_pending_ = false;
  return queue_.size();
}

MessageWindow::Callback Mailbox::Take() {
  MessageWindow::Callback callback;
  ExclusiveLock hold(lock_);
  if (!queue_.empty()) {
    callback = std::move(queue_.front());
    queue_.pop_front();
  }
  return callback;
}

void Mailbox::Close() {
  std::deque<MessageWindow::Callback> dropped;  // captures released outside the lock
  ExclusiveLock hold(lock_);
  hwnd_ = nullptr;
  dropped.swap(queue_);
}

std::shared_ptr<MessageWindow> MessageWindow::Create(WakePoster post_wake) {
  std::shared_ptr<MessageWindow> window(new MessageWindow());
  window->hwnd_ = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, CodeModule(), nullptr);
  if (window->hwnd_ == nullptr) {
    const DWORD error = GetLastError();
    throw Failure(Win32FailureNumber(error), kRuntimeSource,
                  ToUtf8(SystemMessage(error, "The component window cannot be created")));
  }
  SetWindowLongPtrW(window->hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window.get()));
  window->mailbox_ = std::make_shared<Mailbox>(window->hwnd_, post_wake);
  return window;
}

MessageWindow::~MessageWindow() {
  if (mailbox_) mailbox_->Close();
  if (hwnd_ != nullptr) {
    // Possibly from inside this window's own procedure (the last component
    // destroyed by a host's handler): DestroyWindow allows that, and nothing
    // touches this object after it.
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
}

void MessageWindow::Post(Callback callback) { mailbox_->Post(std::move(callback)); }

UINT MessageWindow::AddMessageHandler(MessageHandler handler) {
  UINT message = 0;
  for (UINT tries = 0; tries < kRingSize; ++tries) {
    message = kFirstRingMessage + next_message_;
    next_message_ = (next_message_ + 1) % kRingSize;
    if (handlers_.count(message) == 0) break;
  }
  handlers_[message] = std::make_shared<const MessageHandler>(std::move(handler));
  return message;
}

void MessageWindow::RemoveMessageHandler(UINT message) { handlers_.erase(message); }

UINT_PTR MessageWindow::StartTimer(UINT milliseconds, Callback on_tick) {
  do {
    ++next_timer_;
  } while (next_timer_ == 0 || timers_.count(next_timer_) != 0);
  auto held = std::make_shared<const Callback>(std::move(on_tick));
  if (SetTimer(hwnd_, next_timer_, milliseconds, nullptr) == 0) return 0;
  timers_[next_timer_] = std::move(held);
  return next_timer_;
}

void MessageWindow::StopTimer(UINT_PTR id) {
  if (timers_.erase(id) != 0) KillTimer(hwnd_, id);
}

void MessageWindow::Dispatch(UINT message, WPARAM wparam, LPARAM lparam) {
  // Each handler runs held by its own reference: it may remove itself, add
  // others, or destroy the component (and with it this window, held by the
  // caller).
  if (message == kWakeMessage) {
    RunMail();
  } else if (message == WM_TIMER) {
    const auto found = timers_.find(static_cast<UINT_PTR>(wparam));
    if (found == timers_.end()) {
      KillTimer(hwnd_, static_cast<UINT_PTR>(wparam));
      return;
    }
    const std::shared_ptr<const Callback> on_tick = found->second;
    (*on_tick)();
  } else {
    const auto found = handlers_.find(message);
    if (found == handlers_.end()) return;
    const std::shared_ptr<const MessageHandler> handler = found->second;
    (*handler)(wparam, lparam);
  }
}

// One wake runs every callback queued when it came, taken one at a time from
// the shared queue: a message loop inside a callback (a modal box) goes on
// with the next ones in order, and what is posted meanwhile has its own wake.
// The window is held by the window procedure throughout, so the rest still
// run (and find their targets gone) when one destroys the component.
void MessageWindow::RunMail() {
  const std::shared_ptr<Mailbox> mailbox = mailbox_;
  for (size_t due = mailbox->BeginWake(); due > 0; --due) {
    const Callback callback = mailbox->Take();
    if (!callback) return;  // a nested wake ran the rest, or the window closed
    try {
      callback();
    } catch (...) {
      // As in the window procedure; the rest have no other wake.
    }
  }
}

LRESULT CALLBACK MessageWindow::WindowProcedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  const bool ours = message == kWakeMessage || message == WM_TIMER ||
                    (message >= kFirstRingMessage && message < kFirstRingMessage + kRingSize);
  auto* window = reinterpret_cast<MessageWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!ours || window == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
  // Kept alive for the whole dispatch.
  const std::shared_ptr<MessageWindow> self = window->weak_from_this().lock();
  if (!self) return 0;
  try {
    self->Dispatch(message, wparam, lparam);
  } catch (...) {
    // Nothing may unwind through the system's message dispatch; the
    // components' own handlers do not throw, a host's failure ends here.
  }
  return 0;
}

}  // namespace moravex::windows
