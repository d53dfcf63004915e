#include "control/chart_service_client.h"
#include "platform/failure.h"

namespace moravex {

// Lengths on the wire count characters, so text must map one character to one
// byte; anything else is refused before a byte is written.
std::string ChartServiceClient::AnsiOrFail(const Text& text, const std::string& source, const char* what) const {
  auto ansi = components_.text->ToAnsi(text);
  if (!ansi) {
    throw Failure(InternalError, source,
                  std::string("The ") + what + " parameter has a character with no single-byte form.");
  }
  return std::move(*ansi);
}

void ChartServiceClient::SendFrame(std::span<const uint8_t> frame) { components_.winsock1->SendData(frame); }

}  // namespace moravex
