#include "windows/control/notification_guard.h"

#include "windows/com/com_object.h"
#include "windows/com/module_lock.h"

namespace moravex::windows {
namespace {

// Holds the module and, while it exists, the control.
class Hold {
 public:
  explicit Hold(const NotificationOwner& owner) : control_(owner.control) {
    com::ModuleLock();
    if (control_ != nullptr) control_->AddRef();
  }
  ~Hold() {
    if (control_ != nullptr) control_->Release();
    com::ModuleUnlock();
  }
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;

 private:
  IUnknown* control_;
};

class GuardedSocket final : public moravex::SocketComponent, private moravex::SocketEvents {
 public:
  GuardedSocket(std::unique_ptr<moravex::SocketComponent> inner, std::shared_ptr<NotificationOwner> owner)
      : inner_(std::move(inner)), owner_(std::move(owner)) {}
  ~GuardedSocket() override { inner_->SetEvents(nullptr); }

  void SetEvents(moravex::SocketEvents* events) override {
    events_ = events;
    inner_->SetEvents(events != nullptr ? this : nullptr);
  }
  int32_t State() const override { return inner_->State(); }
  void Connect(const moravex::Text& host, int32_t port) override { inner_->Connect(host, port); }
  void Close() override { inner_->Close(); }
  void SendData(std::span<const uint8_t> bytes) override { inner_->SendData(bytes); }
  int32_t BytesReceived() const override { return inner_->BytesReceived(); }
  void GetData(std::span<uint8_t> into) override { inner_->GetData(into); }
  void PostDataArrival() override { inner_->PostDataArrival(); }

 private:
  // The owner is copied first: the handler may destroy this object.
  void OnSocketConnect() override {
    Hold hold(*owner_);
    events_->OnSocketConnect();
  }
  void OnSocketClose() override {
    Hold hold(*owner_);
    events_->OnSocketClose();
  }
  void OnSocketDataArrival(int32_t bytes_total) override {
    Hold hold(*owner_);
    events_->OnSocketDataArrival(bytes_total);
  }
  void OnSocketError(int32_t number, const moravex::Text& description) override {
    Hold hold(*owner_);
    events_->OnSocketError(number, description);
  }

  std::unique_ptr<moravex::SocketComponent> inner_;
  std::shared_ptr<NotificationOwner> owner_;
  moravex::SocketEvents* events_ = nullptr;
};

class GuardedTimer final : public moravex::TimerComponent {
 public:
  GuardedTimer(std::unique_ptr<moravex::TimerComponent> inner, std::shared_ptr<NotificationOwner> owner)
      : inner_(std::move(inner)), owner_(std::move(owner)) {}

  void SetTickHandler(std::function<void()> on_tick) override {
    if (!on_tick) return inner_->SetTickHandler(nullptr);
    // Shared, so the handler outlives a tick that destroys this timer.
    auto handler = std::make_shared<std::function<void()>>(std::move(on_tick));
    inner_->SetTickHandler([owner = owner_, handler] {
      const std::shared_ptr<std::function<void()>> running = handler;
      Hold hold(*owner);
      (*running)();
    });
  }
  int32_t Interval() const override { return inner_->Interval(); }
  void SetInterval(int32_t milliseconds) override { inner_->SetInterval(milliseconds); }
  bool Enabled() const override { return inner_->Enabled(); }
  void SetEnabled(bool enabled) override { inner_->SetEnabled(enabled); }

 private:
  std::unique_ptr<moravex::TimerComponent> inner_;
  std::shared_ptr<NotificationOwner> owner_;
};

std::unique_ptr<moravex::TimerComponent> Guard(std::unique_ptr<moravex::TimerComponent> timer,
                                               const std::shared_ptr<NotificationOwner>& owner) {
  return std::make_unique<GuardedTimer>(std::move(timer), owner);
}

}  // namespace

moravex::Components GuardNotifications(moravex::Components components, std::shared_ptr<NotificationOwner> owner) {
  components.winsock1 = std::make_unique<GuardedSocket>(std::move(components.winsock1), owner);
  components.tmr_login_and_connect_timeout = Guard(std::move(components.tmr_login_and_connect_timeout), owner);
  components.tmr_data_request_timeout = Guard(std::move(components.tmr_data_request_timeout), owner);
  components.tmr_session_info_timeout = Guard(std::move(components.tmr_session_info_timeout), owner);
  return components;
}

}  // namespace moravex::windows
