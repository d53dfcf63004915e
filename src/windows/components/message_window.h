// The message-only window the components of one control share. Everything the
// components deliver (socket notifications, timer ticks, posted callbacks)
// comes from its window procedure, that is from the thread's message loop and
// never from inside a component method. Create, use and destroy it on one
// thread (the control's apartment thread).
#pragma once
#include "windows/com/windows_headers.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>

namespace moravex::windows {

// The thread-safe front of the window's queue of posted callbacks: a worker
// thread may keep it after the window is gone; posts are then dropped.
class Mailbox;

class MessageWindow : public std::enable_shared_from_this<MessageWindow> {
 public:
  using Callback = std::function<void()>;
  using MessageHandler = std::function<void(WPARAM, LPARAM)>;
  // How the mailbox posts its wake message: PostMessageW, or a test's stand-in.
  using WakePoster = BOOL(WINAPI*)(HWND, UINT, WPARAM, LPARAM);

  // Throws Failure when the window cannot be created.
  static std::shared_ptr<MessageWindow> Create(WakePoster post_wake = &PostMessageW);
  ~MessageWindow();
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  HWND Handle() const { return hwnd_; }

  // Runs the callback from the window procedure soon, in posting order.
  void Post(Callback callback);
  // For other threads: posts through the returned mailbox run like Post.
  std::shared_ptr<Mailbox> RemoteMailbox() const { return mailbox_; }

  // A private message number for one registration (one socket's
  // WSAAsyncSelect). Numbers go round a large ring, so a message still queued
  // for a removed registration finds no handler and is dropped.
  UINT AddMessageHandler(MessageHandler handler);
  void RemoveMessageHandler(UINT message);

  // SetTimer under a fresh id per start, so a WM_TIMER still queued for a
  // stopped timer finds no handler. Returns 0 when SetTimer fails.
  UINT_PTR StartTimer(UINT milliseconds, Callback on_tick);
  void StopTimer(UINT_PTR id);

 private:
  // The window class, registered while some window of it lives.
  struct ClassUse {
    ClassUse();  // throws Failure when the class cannot be registered
    ~ClassUse();
    ClassUse(const ClassUse&) = delete;
    ClassUse& operator=(const ClassUse&) = delete;
  };

  MessageWindow() = default;
  static LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  void Dispatch(UINT message, WPARAM wparam, LPARAM lparam);
  void RunMail();

  // First in, last out: the class outlives the window on every path.
  ClassUse class_use_;
  HWND hwnd_ = nullptr;
  std::shared_ptr<Mailbox> mailbox_;
  // Shared so a dispatch holds the one it runs without copying it.
  std::map<UINT, std::shared_ptr<const MessageHandler>> handlers_;
  UINT next_message_ = 0;
  std::map<UINT_PTR, std::shared_ptr<const Callback>> timers_;
  UINT_PTR next_timer_ = 0;
};

class Mailbox {
 public:
  Mailbox(HWND hwnd, MessageWindow::WakePoster post_wake) : hwnd_(hwnd), post_wake_(post_wake) {}
  // Any thread. Returns false, and drops the callback, once the window is gone
  // or when no wake can be posted for it (a full message queue).
  bool Post(MessageWindow::Callback callback);

 private:
  friend class MessageWindow;
  // A wake has come: how many callbacks it is for. A post after this one
  // posts a wake of its own.
  size_t BeginWake();
  MessageWindow::Callback Take();
  void Close();

  SRWLOCK lock_ = SRWLOCK_INIT;
  HWND hwnd_;
  MessageWindow::WakePoster post_wake_;
  // One wake stands for every callback queued: set while one is posted and
  // has not yet begun to run.
  bool wake_pending_ = false;
  std::deque<MessageWindow::Callback> queue_;
};

}  // namespace moravex::windows
