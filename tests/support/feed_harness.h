// A feed engine over scripted sockets and timers, a clock the test moves and
// a small scripted server that answers every connection's requests. Time
// moves in 10 ms steps; each step ticks the timers that are due and lets
// the server connect, answer or refuse.
#pragma once
#include <array>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "feed/feed_engine.h"
#include "tests/support/fake_socket.h"
#include "tests/support/fake_timer.h"

namespace moravex::feed {

class ManualClock final : public FeedClock {
 public:
  int64_t now = 0;
  int64_t SteadyMs() const override { return now; }
  Text WallText() const override { return FromUtf8("t+" + std::to_string(now)); }
};

struct Request {
  size_t link;  // which connection, in the order they were made
  uint8_t type;
  std::string ticker;
  std::string stamp;  // of an updates request
  int64_t at;
};

class FeedHarness {
 public:
  static Profile TestProfile();  // 36-character user, short back-off without jitter, no pace limit
  explicit FeedHarness(Profile profile = TestProfile());
  ~FeedHarness();

  FeedEngine::CellId Sub(std::initializer_list<Text> strings);
  // The value as text: a number printed, a text as it is, "-" for none.
  std::string Show(FeedEngine::CellId id) const;
  void Run(int milliseconds);
  // Until the cell shows `value` or the limit passes; returns whether it did.
  bool RunUntil(FeedEngine::CellId id, const std::string& value, int limit_ms = 5000);
  // The server closes every connection.
  void CloseAll();
  size_t Requests(uint8_t type) const;

  // The server.
  bool up = true;
  std::set<uint8_t> silent;            // request types never answered
  std::optional<std::string> refusal;  // every login refused with this text
  int answer_after_ms = 0;
  std::map<std::string, int> rows;  // rows that exist per ticker (default 3)
  std::string session_date = "12/08/2026";
  // Rows whose time is after the stamp; each ticker's prices differ by its first letter.
  static float PriceOf(const std::string& ticker, int row) { return static_cast<float>(ticker[0] + row); }

  // The harness keeps it too: a test may drop the engine.
  std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
  std::shared_ptr<FixedProfiles> profiles = std::make_shared<FixedProfiles>();
  std::shared_ptr<FixedCredentials> credentials = std::make_shared<FixedCredentials>();
  std::shared_ptr<FakeTimer> engine_timer = std::make_shared<FakeTimer>("tmrFeed");
  std::shared_ptr<FeedEngine> engine;
  std::vector<Request> log;
  std::vector<int64_t> connection_made;  // when each connection's control was made
  // A request sent while one of its kind was pending on the same connection.
  int overlaps = 0;

 private:
  struct Link {
    std::shared_ptr<FakeSocket> socket;
    std::array<std::shared_ptr<FakeTimer>, 3> timers;
    size_t read = 0;
    std::set<uint8_t> pending;
    std::vector<std::pair<int64_t, Bytes>> answers;  // due time, frame
  };
  void Step();
  void Serve(size_t index);
  Bytes AnswerTo(uint8_t type, const Bytes& payload, const std::string& ticker, const std::string& stamp);
  std::vector<Link> links_;
  std::map<FakeTimer*, int64_t> started_;
};

}  // namespace moravex::feed
