#include "tests/support/test_client.h"

#include <gtest/gtest.h>

namespace moravex {

const Text TestClient::kServer = u"chart.example.test";
const Text TestClient::kUser(36, u'U');
const Text TestClient::kPassword(36, u'P');

TestClient::TestClient() { Build(); }

void TestClient::Build() {
  socket->SetJournal(journal);
  for (const auto& timer : {login_timer, data_timer, session_timer}) timer->SetJournal(journal);
  Components components;
  components.winsock1 = FakeSocket::Share(socket);
  components.tmr_login_and_connect_timeout = FakeTimer::Share(login_timer);
  components.tmr_data_request_timeout = FakeTimer::Share(data_timer);
  components.tmr_session_info_timeout = FakeTimer::Share(session_timer);
  components.record_sets = record_sets;
  components.text = text;
  components.trace = trace;
  client = ChartServiceClient::Create(std::move(components));
  client->SetEvents(sink);
}

TestClient::~TestClient() {
  if (sink) {
    sink->on_event = nullptr;
    sink->on_rows = nullptr;
  }
  if (client) client->SetEvents(nullptr);
  client.reset();
}

void TestClient::ConnectOnly() {
  client->Connect(kServer, kPort);
  socket->FireConnect();
}

void TestClient::ConnectAndLogin() {
  ConnectOnly();
  client->Login(kUser, kPassword, u"");
  Answer(1, Concat({LongBytes(0), AnsiBytes("OK")}));
  ASSERT_EQ(events.Lines(), (std::vector<std::string>{"Connected()", "LoggedIn()"}));
  Forget();
}

void TestClient::Answer(uint8_t message_type, const Bytes& payload, uint8_t second_byte) {
  socket->Arrive(Frame(message_type, payload, second_byte));
}

void TestClient::Forget() {
  socket->ClearSent();
  events.Take();
  journal->clear();
  for (const auto& timer : {login_timer, data_timer, session_timer}) timer->ClearLog();
}

void TestClient::DropClient() {
  client->SetEvents(nullptr);
  client.reset();
}

void TestClient::ReplaceClient() {
  client->SetEvents(nullptr);
  socket = std::make_shared<FakeSocket>();
  login_timer = std::make_shared<FakeTimer>("tmrLoginAndConnectTimeout");
  data_timer = std::make_shared<FakeTimer>("tmrDataRequestTimeout");
  session_timer = std::make_shared<FakeTimer>("tmrSessionInfoTimeout");
  Build();
}

bool TestClient::AnyPending() const {
  for (bool flag : client->State().PendingFlags) {
    if (flag) return true;
  }
  return false;
}

}  // namespace moravex
