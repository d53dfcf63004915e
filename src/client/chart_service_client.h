// The control: public methods and properties, and the private procedures
// behind them. Single-threaded; every entry from a component runs to
// completion and may be re-entered by the host from inside any event.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "client/client_state.h"
#include "client/error_ids.h"
#include "client/event_names.h"
#include "client/request_table.h"
#include "client/trace_point.h"
#include "platform/chart_service_events.h"
#include "platform/failure.h"
#include "platform/platform.h"
#include "protocol/dispatch_levels.h"
#include "protocol/frame_assembler.h"
#include "protocol/payload_decoding.h"

namespace moravex {

class ChartServiceClient : public std::enable_shared_from_this<ChartServiceClient> {
 public:
  // Component callbacks hold the control alive for their duration, so a host
  // that drops its last reference from inside an event does no harm.
  static std::shared_ptr<ChartServiceClient> Create(Components components);
  // What its socket should read at a time: one whole message of the largest size.
  static constexpr size_t kSocketReadSize = kLargestFrame;
  ~ChartServiceClient();
  ChartServiceClient(const ChartServiceClient&) = delete;
  ChartServiceClient& operator=(const ChartServiceClient&) = delete;

  // Null detaches the host: nothing more is fired. The sink is kept alive for
  // the whole of every event it receives.
  void SetEvents(std::shared_ptr<ChartServiceEvents> events) { events_ = std::move(events); }

  int32_t LoginAndConnectTimeout() const;
  void SetLoginAndConnectTimeout(int32_t lTimeoutMs);
  int32_t DataRequestTimeout() const;
  void SetDataRequestTimeout(int32_t lDataRequestTimeoutMs);
  int32_t SessionInfoTimeout() const;
  void SetSessionInfoTimeout(int32_t lTimeoutMs);

  void Connect(const Text& ServerName, int32_t ServerPort);
  bool Connected() const;
  bool LoggedIn() const;
  void Disconnect();
  void Login(const Text& UserID, const Text& Password, const Text& LoginCookie);
  void SendDebugMessage(const Text& Message);
  void GetPriceChannelDataUpdates(const Text& Ticker, const Text& LastReceivedTimeStamp);
  void GetFullPriceChannelData(const Text& Ticker, int32_t MaxChartPixels);
  void GetSessionTime();
  void GetSessionDate();
  void GetSessionDateTime();
  void GetPreviousSessionsLastAverageVantrelPrice(const Text& Ticker);
  void GetPreviousSessionsHighPrice(const Text& Ticker);
  void GetPreviousSessionsLowPrice(const Text& Ticker);
  void GetPreviousSessionsClosingPrice(const Text& Ticker);
  void GetPreviousSessionsSupportAndResistancePrices(const Text& Ticker);

  // Read-only views for diagnostics and tests.
  const ClientState& State() const { return state_; }
  const ReceiveProgress& Receiving() const { return assembler_.Progress(); }

 private:
  class SocketEventsAdapter;
  explicit ChartServiceClient(Components components);
  void AttachComponents();

  TimerComponent& Timer(TimerId id) const;
  void RestartTimer(TimerId id);
  void ResetConnection();
  // For endings the host must hear of even when closing the socket fails.
  void ResetBeforeReporting();

  // Socket and timer notifications.
  void Winsock1_Connect();
  void Winsock1_Close();
  void Winsock1_Error(const Text& description);
  void Winsock1_DataArrival();
  // Reads and dispatches until no whole message is waiting or the connection
  // of `generation` has ended.
  void ReceiveLoop(uint64_t generation);
  [[gnu::cold, gnu::noinline]] void ReceiveFailed(uint64_t generation, const char16_t* reason);
  void TimerTick(TimerId id);

  // Outbound.
  void SendDataRequest(const DataRequest& request, const Text& ticker, int32_t max_chart_pixels,
                       const Text& time_stamp);
  std::string AnsiOrFail(const Text& text, const char* method, const char* what) const;
  // Only the first `public_bytes` may appear in the trace: the login frame's
  // password and cookie never do.
  void SendFrame(std::span<const uint8_t> frame, size_t public_bytes = SIZE_MAX);
  // The trace's request line; it also notes the time the answer is measured from.
  [[gnu::cold]] void TraceRequest(const char* method, Pending flag, uint8_t message_type, size_t length);

  // Inbound. The payload of the message being dispatched: it stays put through
  // its whole handler, even when nested notifications dispatch others.
  std::span<const uint8_t> Payload() const { return dispatch_levels_.Payload(); }
  int32_t PayloadSize() const { return static_cast<int32_t>(Payload().size()); }
  void ProcessMessage(uint8_t message_type, uint8_t second_byte);
  void ProcessDebugMessage();
  void ProcessLogin();
  void ProcessSessionText(Pending flag, void (ChartServiceEvents::*event)(const Text&));
  void ProcessPreviousSessionsPrice(Pending flag, void (ChartServiceEvents::*event)(float));
  void ProcessPreviousSessionsSupportAndResistancePrices();
  void ProcessPriceChannelData(Pending flag, void (ChartServiceEvents::*event)(ObjectRef&));
  // Valid until the handler returns: each nesting depth has one buffer that
  // serves all its answers' texts, so answers allocate nothing once warm.
  const Text& PayloadText(int32_t index, int32_t count);

  void FireError(const std::string& description);
  // Runs an answer's decoding; a failure fires Error with its description
  // and returns false, and the handler stops there.
  template <class Decode>
  bool Decoded(Decode&& decode) {
    try {
      decode();
      return true;
    } catch (const Failure& failure) {
      FireError(failure.Description());
      return false;
    }
  }
  // The sink stays alive for the whole event, even if the handler drops the
  // control or detaches it; what the handler throws stops at the event.
  template <class Event, class... Args>
  void Fire(Event event, Args&&... args) {
    const std::shared_ptr<ChartServiceEvents> sink = events_;
    if (!sink) return;
#ifndef MORAVEX_NO_TRACE
    if (__builtin_expect(trace_ != nullptr, 0)) TraceFired(event, args...);
#endif
    try {
      ((*sink).*event)(std::forward<Args>(args)...);
    } catch (...) {
      // As a COM sink's failed Invoke: the event was delivered; carry on.
    }
  }

  // Out of line and cold: every Fire instantiation stays as small as without a trace.
  template <class Event, class... Args>
  [[gnu::cold, gnu::noinline]] void TraceFired(Event event, const Args&... args) {
    MORAVEX_TRACE("event %s(%s)", EventName(event), TraceArguments(args...).c_str());
  }

  Components components_;
  // Null when tracing is off: every trace point is one branch on it.
  Trace* trace_ = nullptr;
  AnsiWidener widener_;
  std::unique_ptr<SocketEventsAdapter> socket_events_;
  std::shared_ptr<ChartServiceEvents> events_;
  ClientState state_;
  FrameAssembler assembler_;
  // Counts the connections ResetConnection has ended, so that a receive loop
  // whose connection ended inside a handler reads and reports nothing more.
  uint64_t connection_generation_ = 0;
  DispatchLevels dispatch_levels_;
  // Reused for every outbound frame, so a request allocates nothing.
  std::vector<uint8_t> frame_;
  // Trace-only state last, off the cache lines the hot members share.
  const uint32_t instance_id_ = Trace::NextInstance();
  // When each pending request was sent, in trace time; kept only when tracing.
  std::array<int64_t, kPendingKinds> asked_at_{};
};

}  // namespace moravex
