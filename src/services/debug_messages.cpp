#include "control/chart_service_client.h"
#include "control/method_errors.h"
#include "protocol/checked_arithmetic.h"
#include "protocol/frame_writer.h"
#include "protocol/payload_decoding.h"

namespace moravex {
namespace {

// The one method whose errors name a shorter source.
constexpr const char* kDebugSource = "SendDbgMsg";

}  // namespace

void ChartServiceClient::SendDebugMessage(const Text& Message) {
  if (components_.winsock1->State() != kSocketConnected) Raise(NotConnected, kDebugSource, kNotConnected);
  RethrowingAsInternalError([&] {
    const std::string ansi = AnsiOrFail(Message, kDebugSource, "Message");
    FrameWriter frame(frame_);
    frame.SendHeader(MessageType::DebugMessage, CheckedAdd(0, static_cast<int64_t>(Message.size())));
    frame.SendString(ansi);
    SendFrame(frame.Bytes());
  });
}

// No guard of its own: a failure ends the connection in the receive path.
void ChartServiceClient::ProcessDebugMessage() {
  static const Text kEmpty;
  Fire(&ChartServiceEvents::GotDebugMessage, PayloadSize() > 0 ? PayloadText(0, PayloadSize()) : kEmpty);
}

}  // namespace moravex
