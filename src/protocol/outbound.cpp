#include "control/chart_service_client.h"
#include "control/method_errors.h"
#include "platform/failure.h"

namespace moravex {

// Lengths on the wire count characters, so text must map one character to one
// byte; anything else is refused before a byte is written.
// The source is built only on failure: the send path stays free of it.
std::string ChartServiceClient::AnsiOrFail(const Text& text, const char* method, const char* what) const {
  auto ansi = components_.text->ToAnsi(text);
  if (!ansi) {
    throw Failure(InternalError, MethodSource(method),
                  std::string("The ") + what + " parameter has a character with no single-byte form.");
  }
  return std::move(*ansi);
}

void ChartServiceClient::SendFrame(std::span<const uint8_t> frame) { components_.winsock1->SendData(frame); }

}  // namespace moravex
