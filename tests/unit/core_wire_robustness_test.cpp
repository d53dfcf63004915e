// Random streams from a hostile or broken server, cut at random places: the
// control must never crash, must stay in step with the frames, and must end
// the connection exactly when a header is malformed.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "tests/support/test_client.h"

namespace moravex {
namespace {

struct RandomStream {
  Bytes bytes;
  int debug_frames = 0;
  std::string end_reason;  // empty when every header is sound
};

RandomStream MakeStream(std::mt19937& random) {
  RandomStream stream;
  std::uniform_int_distribution<int> percent(0, 99);
  const int frames = 1 + static_cast<int>(random() % 12);
  for (int i = 0; i < frames; ++i) {
    static const uint8_t kTypes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 200, 255};
    const uint8_t type = kTypes[random() % std::size(kTypes)];
    size_t length = random() % 40;
    if (percent(random) < 20) length = 24 * (random() % 6) + random() % 3;  // near whole price records
    Bytes payload(length);
    for (auto& b : payload) b = static_cast<uint8_t>(random());
    const Bytes frame = Frame(type, payload, static_cast<uint8_t>(random()));
    stream.bytes.insert(stream.bytes.end(), frame.begin(), frame.end());
    if (type == 0) ++stream.debug_frames;
  }
  if (percent(random) < 15) {
    const bool negative = percent(random) < 50;
    const Bytes header =
        Header(static_cast<uint8_t>(random()),
               negative ? -1 - static_cast<int32_t>(random() % 1000) : 100001 + static_cast<int32_t>(random() % 1000));
    stream.bytes.insert(stream.bytes.end(), header.begin(), header.end());
    // Whatever follows a malformed header is never read.
    for (int k = 0; k < 10; ++k) stream.bytes.push_back(static_cast<uint8_t>(random()));
    stream.end_reason = negative ? "Winsock1_DataArrival exception" : "Bogus payload length";
  }
  return stream;
}

std::vector<size_t> RandomCuts(std::mt19937& random, size_t total) {
  std::vector<size_t> pieces;
  for (size_t used = 0; used < total;) {
    const size_t piece = 1 + random() % (random() % 2 ? 7 : 64);
    pieces.push_back(piece);
    used += piece;
  }
  return pieces;
}

TEST(CoreWireRobustness, RandomFramesCutAnywhereKeepTheStreamInStep) {
  for (uint32_t seed = 1; seed <= 400; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    TestClient tc;
    tc.ConnectAndLogin();
    tc->GetFullPriceChannelData(u"IBM", 10);
    tc->GetPriceChannelDataUpdates(u"IBM", u"2026-12-08 09:30:00");
    tc->GetSessionTime();
    tc->GetSessionDate();
    tc->GetSessionDateTime();
    tc->GetPreviousSessionsLastAverageVantrelPrice(u"IBM");
    tc->GetPreviousSessionsHighPrice(u"IBM");
    tc->GetPreviousSessionsLowPrice(u"IBM");
    tc->GetPreviousSessionsClosingPrice(u"IBM");
    tc->GetPreviousSessionsSupportAndResistancePrices(u"IBM");
    tc.Forget();

    const RandomStream stream = MakeStream(random);
    tc.socket->ArriveInPieces(stream.bytes, RandomCuts(random, stream.bytes.size()));

    const auto& lines = tc.events.Lines();
    const auto debug = std::count_if(lines.begin(), lines.end(),
                                     [](const std::string& l) { return l.rfind("GotDebugMessage(", 0) == 0; });
    EXPECT_EQ(debug, stream.debug_frames);
    if (stream.end_reason.empty()) {
      EXPECT_TRUE(tc->Connected());
      EXPECT_EQ(tc->Receiving().ReceiveState, ReceiveStates::AwaitingHeader);
      EXPECT_EQ(tc->Receiving().HeaderBytesReceived, 0);
      EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                              [](const std::string& l) { return l.rfind("Disconnected(", 0) == 0; }),
                0);
    } else {
      ASSERT_FALSE(lines.empty());
      EXPECT_EQ(lines.back(), "Disconnected(\"" + stream.end_reason + "\")");
      EXPECT_FALSE(tc->Connected());
      EXPECT_FALSE(tc.AnyPending());
    }
  }
}

}  // namespace
}  // namespace moravex
