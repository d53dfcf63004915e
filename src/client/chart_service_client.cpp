#include "client/chart_service_client.h"

#include "platform/failure.h"

namespace moravex {

// Forwards socket notifications while holding the control alive.
class ChartServiceClient::SocketEventsAdapter final : public SocketEvents {
 public:
  explicit SocketEventsAdapter(std::weak_ptr<ChartServiceClient> client) : client_(std::move(client)) {}
  void OnSocketConnect() override {
    if (auto c = client_.lock()) c->Winsock1_Connect();
  }
  void OnSocketClose() override {
    if (auto c = client_.lock()) c->Winsock1_Close();
  }
  void OnSocketDataArrival(int32_t) override {
    if (auto c = client_.lock()) c->Winsock1_DataArrival();
  }
  void OnSocketError(int32_t, const Text& description) override {
    if (auto c = client_.lock()) c->Winsock1_Error(description);
  }

 private:
  std::weak_ptr<ChartServiceClient> client_;
};

std::shared_ptr<ChartServiceClient> ChartServiceClient::Create(Components components) {
  std::shared_ptr<ChartServiceClient> client(new ChartServiceClient(std::move(components)));
  client->AttachComponents();
  return client;
}

ChartServiceClient::ChartServiceClient(Components components)
    : components_(std::move(components)),
      trace_(components_.trace.get()),
      widener_(components_.text->AnsiCharacters()) {
  MORAVEX_TRACE("control created, trace level %d", trace_->Level());
}

ChartServiceClient::~ChartServiceClient() {
  events_.reset();
  components_.winsock1->SetEvents(nullptr);
  for (TimerId id : {TimerId::LoginAndConnect, TimerId::DataRequest, TimerId::SessionInfo}) {
    Timer(id).SetTickHandler(nullptr);
  }
  try {
    components_.winsock1->Close();
  } catch (const Failure&) {
    // Nothing can be reported from a destructor; the socket goes away anyway.
  }
}

void ChartServiceClient::AttachComponents() {
  socket_events_ = std::make_unique<SocketEventsAdapter>(weak_from_this());
  components_.winsock1->SetEvents(socket_events_.get());
  for (TimerId id : {TimerId::LoginAndConnect, TimerId::DataRequest, TimerId::SessionInfo}) {
    Timer(id).SetTickHandler([weak = weak_from_this(), id] {
      if (auto c = weak.lock()) c->TimerTick(id);
    });
  }
}

TimerComponent& ChartServiceClient::Timer(TimerId id) const {
  switch (id) {
    case TimerId::LoginAndConnect: return *components_.tmr_login_and_connect_timeout;
    case TimerId::DataRequest: return *components_.tmr_data_request_timeout;
    case TimerId::SessionInfo: break;
  }
  return *components_.tmr_session_info_timeout;
}

void ChartServiceClient::FireError(const std::string& description) {
  Fire(&ChartServiceEvents::Error, InternalError, FromUtf8(description));
}

}  // namespace moravex
