#include "feed/connection_events.h"

namespace moravex::feed {
namespace {

class ConnectionSink final : public ChartServiceEvents {
 public:
  ConnectionSink(std::shared_ptr<ChartServiceEventsRoute> route, int index, uint64_t generation)
      : route_(std::move(route)), index_(index), generation_(generation) {}

  void Error(int32_t, const Text&) override { Fault(); }
  void Connected() override {
    Route([this](ProfileFeed& feed, int64_t now) { feed.OnConnected(index_, generation_, now); });
  }
  void Disconnected(const Text&) override { Fault(); }
  void ConnectionFailed() override { Fault(); }
  void LoggedIn() override {
    Route([this](ProfileFeed& feed, int64_t now) { feed.OnLoggedIn(index_, generation_, now); });
  }
  void LoginFailed(int32_t, const Text& ErrorDescription) override {
    Route([&](ProfileFeed& feed, int64_t now) { feed.OnLoginFailed(index_, generation_, ErrorDescription, now); });
  }
  void GotDebugMessage(const Text&) override {}
  void GotSessionDateTime(const Text& text) override { SessionText(Slot::SessionDateTime, text); }
  void GotSessionDate(const Text& text) override { SessionText(Slot::SessionDate, text); }
  void GotSessionTime(const Text& text) override { SessionText(Slot::SessionTime, text); }
  void Timeout(int32_t) override { Fault(); }
  void GotFullVantrelData(ObjectRef& rows) override { Rows(Slot::Full, rows); }
  void GotVantrelDataUpdates(ObjectRef& rows) override { Rows(Slot::Updates, rows); }
  void GotPreviousSessionsSupportAndResistancePrices(float, float high, float low, float) override {
    Route([&](ProfileFeed& feed, int64_t now) { feed.OnSupportAndResistance(index_, generation_, high, low, now); });
  }
  void GotPreviousSessionsLastAverageVantrelPrice(float price) override { Price(Slot::LastAverage, price); }
  void GotPreviousSessionsHighPrice(float price) override { Price(Slot::High, price); }
  void GotPreviousSessionsLowPrice(float price) override { Price(Slot::Low, price); }
  void GotPreviousSessionsClosingPrice(float price) override { Price(Slot::Close, price); }

 private:
  template <class Event>
  void Route(Event&& event) {
    route_->Deliver(FunctionRef<void(ProfileFeed&, int64_t)>(event));
  }
  void Fault() {
    Route([this](ProfileFeed& feed, int64_t now) { feed.OnFault(index_, generation_, now); });
  }
  void SessionText(Slot slot, const moravex::Text& text) {
    Route([&](ProfileFeed& feed, int64_t now) { feed.OnText(index_, generation_, slot, text, now); });
  }
  void Price(Slot slot, float price) {
    Route([&](ProfileFeed& feed, int64_t now) { feed.OnPrice(index_, generation_, slot, price, now); });
  }
  void Rows(Slot slot, ObjectRef& rows) {
    RecordSet* table = dynamic_cast<RecordSet*>(rows.get());
    Route([&](ProfileFeed& feed, int64_t now) { feed.OnRows(index_, generation_, slot, table, now); });
  }

  std::shared_ptr<ChartServiceEventsRoute> route_;
  int index_;
  uint64_t generation_;
};

}  // namespace

std::shared_ptr<ChartServiceEvents> MakeConnectionEvents(std::shared_ptr<ChartServiceEventsRoute> route, int index,
                                                         uint64_t generation) {
  return std::make_shared<ConnectionSink>(std::move(route), index, generation);
}

}  // namespace moravex::feed
