#include "client/chart_service_client.h"
#include "client/method_errors.h"
#include "protocol/checked_arithmetic.h"
#include "protocol/frame_assembler.h"
#include "protocol/frame_writer.h"
#include "protocol/payload_decoding.h"

namespace moravex {
namespace {

constexpr size_t kCredentialLength = 36;
constexpr int32_t kLoginFixedPayload = 73;

}  // namespace

void ChartServiceClient::Login(const Text& UserID, const Text& Password, const Text& LoginCookie) {
  if (components_.winsock1->State() != kSocketConnected) Raise(NotConnected, "Login", kNotConnected);
  if (state_.IsLoggedIn) Raise(AlreadyLoggedIn, "Login", "Already logged in");
  if (state_[Pending::Login]) Raise(RequestAlreadyPending, "Login", "A login request is already pending.");
  // Credentials without a single-byte form could not fill their 36-byte fields.
  const auto& text = *components_.text;
  const auto user = UserID.size() == kCredentialLength ? text.ToAnsi(UserID) : std::nullopt;
  const auto password = Password.size() == kCredentialLength ? text.ToAnsi(Password) : std::nullopt;
  if (!user || !password) {
    Raise(InvalidUidAndPwCombination, "Login", "Invalid user ID and password combination");
  }
  RethrowingAsInternalError([&] {
    const std::string cookie = AnsiOrFail(LoginCookie, "Login", "LoginCookie");
    FrameWriter frame(frame_);
    frame.SendHeader(MessageType::Login, CheckedAdd(kLoginFixedPayload, static_cast<int64_t>(LoginCookie.size())));
    frame.SendByte(1);
    frame.SendString(*user);
    frame.SendString(*password);
    frame.SendString(cookie);
    MORAVEX_TRACE("request Login user %s, password sent (%zu bytes), cookie sent (%zu bytes)", user->c_str(),
                  password->size(), cookie.size());
    if (trace_ != nullptr) asked_at_[static_cast<size_t>(Pending::Login)] = Trace::NowMicros();
    SendFrame(frame.Bytes(), kHeaderLength + 1 + kCredentialLength);
    state_[Pending::Login] = true;
    RestartTimer(TimerId::LoginAndConnect);
  });
}

void ChartServiceClient::ProcessLogin() {
  state_[Pending::Login] = false;
  int32_t code = 0;
  const Text* result = nullptr;
  if (!Decoded([&] {
        code = ReadLong(Payload(), 0);
        result = &PayloadText(4, PayloadSize() - 4);
      })) {
    return;
  }
  if (code == 0 && *result == u"OK") {
    state_.IsLoggedIn = true;
    Fire(&ChartServiceEvents::LoggedIn);
  } else {
    Fire(&ChartServiceEvents::LoginFailed, code, *result);
  }
}

}  // namespace moravex
