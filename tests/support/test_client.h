// A control wired to fakes, with the steps most tests start from.
#pragma once
#include <memory>

#include "client/chart_service_client.h"
#include "tests/support/call_journal.h"
#include "tests/support/fake_socket.h"
#include "tests/support/fake_timer.h"
#include "tests/support/recording_events.h"
#include "tests/support/scripted_record_sets.h"
#include "tests/support/test_text_conversion.h"
#include "tests/support/wire_bytes.h"

namespace moravex {

class TestClient {
 public:
  static constexpr int32_t kPort = 4100;
  static const Text kServer;
  // 36 characters each, as Login requires.
  static const Text kUser;
  static const Text kPassword;

  TestClient();
  ~TestClient();
  TestClient(const TestClient&) = delete;
  TestClient& operator=(const TestClient&) = delete;

  ChartServiceClient* operator->() const { return client.get(); }

  // Connect and let the socket report the connection.
  void ConnectOnly();
  // Connect, log in and accept the login; forgets everything recorded on the way.
  void ConnectAndLogin();
  // The server's answer: header announcing payload.size(), then the payload.
  void Answer(uint8_t message_type, const Bytes& payload = {}, uint8_t second_byte = 0);
  Bytes Sent() const { return socket->Sent(); }
  // Forgets sent bytes, events, journal and timer logs.
  void Forget();
  // What a host does when it throws the control away from inside an event.
  void DropClient();
  // Throws the control away and puts a new one, with new components, in its
  // place; the recorder stays.
  void ReplaceClient();
  // Pending flag of one request kind.
  bool IsPending(Pending kind) const { return client->State()[kind]; }
  bool AnyPending() const;

  std::shared_ptr<CallJournal> journal = std::make_shared<CallJournal>();
  std::shared_ptr<FakeSocket> socket = std::make_shared<FakeSocket>();
  std::shared_ptr<FakeTimer> login_timer = std::make_shared<FakeTimer>("tmrLoginAndConnectTimeout");
  std::shared_ptr<FakeTimer> data_timer = std::make_shared<FakeTimer>("tmrDataRequestTimeout");
  std::shared_ptr<FakeTimer> session_timer = std::make_shared<FakeTimer>("tmrSessionInfoTimeout");
  std::shared_ptr<TestTextConversion> text = std::make_shared<TestTextConversion>();
  std::shared_ptr<ScriptedRecordSets> record_sets = std::make_shared<ScriptedRecordSets>();
  // Held by shared_ptr, as the control holds its sink.
  std::shared_ptr<RecordingEvents> sink = std::make_shared<RecordingEvents>();
  RecordingEvents& events = *sink;
  // Set before ReplaceClient to trace the new control.
  std::shared_ptr<Trace> trace;
  std::shared_ptr<ChartServiceClient> client;

 private:
  void Build();
};

}  // namespace moravex
