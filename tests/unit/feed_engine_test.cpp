// The feed engine over scripted sockets, timers and server.
#include <gtest/gtest.h>

#include "tests/support/feed_harness.h"

namespace moravex::feed {
namespace {

std::string Whole(float price) { return std::to_string(static_cast<int>(price)); }

TEST(FeedEngine, SharesTopicsAndKeepsOnePendingRequestPerKindPerConnection) {
  Profile profile = FeedHarness::TestProfile();
  profile.connections = 2;
  FeedHarness feed(profile);
  feed.answer_after_ms = 30;  // several requests under way at once
  const auto price = feed.Sub({u"IBM", u"Price"});
  const auto again = feed.Sub({u" IBM ", u"price"});
  const auto rows = feed.Sub({u"IBM", u"Rows"});
  const std::vector<std::string> tickers = {"AA", "BB", "CC", "DD", "MSFT"};
  std::vector<FeedEngine::CellId> prices;
  for (const auto& ticker : tickers) prices.push_back(feed.Sub({FromUtf8(ticker), u"Price"}));
  const auto high = feed.Sub({u"MSFT", u"High"});
  const auto status = feed.Sub({u"Status"});
  EXPECT_EQ(feed.Show(feed.Sub({u"IBM", u"Bogus"})), "Unknown field: Bogus");
  EXPECT_EQ(feed.Show(feed.Sub({u"High"})), "High needs a ticker");
  EXPECT_EQ(feed.engine->SubscriptionCount(), 9u);

  ASSERT_TRUE(feed.RunUntil(status, "Live"));
  feed.Run(500);
  EXPECT_EQ(feed.Show(price), "75");  // the newest of three rows, IBM's own prices
  EXPECT_EQ(feed.Show(again), "75");
  EXPECT_EQ(feed.Show(rows), "3");
  for (size_t i = 0; i < tickers.size(); ++i) {
    EXPECT_EQ(feed.Show(prices[i]), Whole(FeedHarness::PriceOf(tickers[i], 2))) << tickers[i];
  }
  EXPECT_EQ(feed.Show(high), Whole(FeedHarness::PriceOf("MSFT", 20)));
  EXPECT_EQ(feed.Requests(5), 6u);  // one full request per ticker, shared topics included

  // Updates since the last row, every interval, onto the same values.
  feed.rows["IBM"] = 5;
  feed.Run(2200);
  EXPECT_EQ(feed.Show(price), "77");
  EXPECT_EQ(feed.Show(rows), "5");
  EXPECT_EQ(feed.Requests(5), 6u);
  EXPECT_EQ(feed.Requests(8), 1u);  // once per session
  std::string stamp;
  for (const Request& request : feed.log) {
    if (request.type == 6 && request.ticker == "IBM") stamp = request.stamp;
  }
  EXPECT_EQ(stamp, "09:34:00");
  EXPECT_EQ(feed.overlaps, 0);
  std::set<size_t> used;
  for (const Request& request : feed.log) used.insert(request.link);
  EXPECT_EQ(used.size(), 2u);

  // A new session: the price channel and previous-session prices again.
  feed.session_date = "12/09/2026";
  feed.rows["IBM"] = 1;
  feed.Run(1200);
  EXPECT_EQ(feed.Requests(8), 2u);
  EXPECT_EQ(feed.Show(rows), "1");
  EXPECT_EQ(feed.Show(price), "73");
}

TEST(FeedEngine, PacesEachConnectionAndServesEveryTickerInTurn) {
  Profile profile = FeedHarness::TestProfile();
  profile.connections = 2;
  profile.pace = 5;
  FeedHarness feed(profile);
  std::vector<FeedEngine::CellId> cells;
  for (char c = 'A'; c < 'U'; ++c) cells.push_back(feed.Sub({Text(2, static_cast<char16_t>(c)), u"Price"}));
  feed.Run(3000);
  for (size_t link = 0; link < 2; ++link) {
    for (const Request& window : feed.log) {
      int in_second = 0;
      for (const Request& r : feed.log) in_second += r.link == link && r.at >= window.at && r.at < window.at + 1000;
      EXPECT_LE(in_second, 10) << "connection " << link;  // a second's burst, then the rate
    }
  }
  for (const auto cell : cells) EXPECT_NE(feed.Show(cell), "-");
}

TEST(FeedEngine, CoalescesChangesForASlowConsumer) {
  FeedHarness feed;
  int told = 0;
  feed.engine->SetChangeListener([&] { ++told; });
  const auto price = feed.Sub({u"IBM", u"Price"});
  const auto rows = feed.Sub({u"IBM", u"Rows"});
  feed.Run(500);
  feed.engine->TakeChanges();
  told = 0;
  for (int row = 4; row <= 8; ++row) {
    feed.rows["IBM"] = row;
    feed.Run(1000);
  }
  EXPECT_EQ(told, 1);
  std::map<FeedEngine::CellId, std::string> latest;
  for (const auto& change : feed.engine->TakeChanges()) {
    EXPECT_TRUE(latest.emplace(change.id, feed.Show(change.id)).second) << "reported twice";
  }
  EXPECT_EQ(latest[price], "80");
  EXPECT_EQ(latest[rows], "8");
  feed.rows["IBM"] = 9;
  feed.Run(1000);
  EXPECT_EQ(told, 2);
}

TEST(FeedEngine, ReplacesLostConnectionsWithBackOffAndRequestsAgain) {
  FeedHarness feed;
  const auto status = feed.Sub({u"Status"});
  const auto high = feed.Sub({u"IBM", u"High"});
  const auto updated = feed.Sub({u"IBM", u"Updated"});
  ASSERT_TRUE(feed.RunUntil(high, Whole(FeedHarness::PriceOf("IBM", 20))));
  const size_t logins = feed.Requests(1);
  feed.up = false;
  feed.CloseAll();
  const int64_t lost = feed.clock->now;
  feed.Run(10);
  EXPECT_EQ(feed.Show(status), "Reconnecting in 1 s");
  const size_t made = feed.connection_made.size();
  feed.Run(1200);
  std::vector<int64_t> pauses;
  for (size_t i = made, previous = lost; i < feed.connection_made.size(); previous = feed.connection_made[i++]) {
    pauses.push_back(feed.connection_made[i] - previous);
  }
  // Doubling up to the cap; the first is seen at the engine's next tick (100 ms).
  ASSERT_EQ(pauses.size(), 4u);
  EXPECT_TRUE(pauses[0] >= 100 && pauses[0] < 200) << pauses[0];
  EXPECT_EQ(std::vector<int64_t>(pauses.begin() + 1, pauses.end()), (std::vector<int64_t>{200, 400, 400}));
  EXPECT_EQ(feed.Requests(1), logins);  // nothing logs in while the server is down
  const std::string frozen = feed.Show(updated);
  feed.up = true;
  ASSERT_TRUE(feed.RunUntil(status, "Live", 1000));
  feed.Run(1100);
  EXPECT_EQ(feed.Requests(8), 2u);  // asked again after the server came back
  EXPECT_NE(feed.Show(updated), frozen);
}

TEST(FeedEngine, MarksUnansweredValuesStaleAndReplacesATimedOutConnection) {
  FeedHarness feed;
  const auto status = feed.Sub({u"IBM", u"Status"});
  const auto updated = feed.Sub({u"IBM", u"Updated"});
  feed.Sub({u"IBM", u"Price"});
  ASSERT_TRUE(feed.RunUntil(status, "Live"));
  feed.Run(200);
  feed.silent = {6};
  const std::string frozen = feed.Show(updated);
  ASSERT_TRUE(feed.RunUntil(status, "Stale", 3500));
  EXPECT_EQ(feed.Show(updated), frozen);
  // The request under way stays unanswered until the data time-out (5 s) replaces the connection.
  feed.silent.clear();
  feed.Run(2000);
  EXPECT_EQ(feed.Show(status), "Stale");
  ASSERT_TRUE(feed.RunUntil(status, "Live", 2000));
  EXPECT_EQ(feed.connection_made.size(), 2u);
  EXPECT_NE(feed.Show(updated), frozen);
}

TEST(FeedEngine, StopsAfterARefusedLoginUntilTheCredentialsChange) {
  FeedHarness feed;
  feed.refusal = "Account locked";
  const auto status = feed.Sub({u"IBM", u"Price"});
  const auto profile_status = feed.Sub({u"", u"Status", u""});
  ASSERT_TRUE(feed.RunUntil(profile_status, "Login refused: Account locked"));
  feed.Run(5000);
  EXPECT_EQ(feed.Requests(1), 1u);
  feed.refusal.reset();
  feed.credentials->passwords[kDefaultProfile] = Text(36, u'Q');
  ASSERT_TRUE(feed.RunUntil(profile_status, "Live", 2500));
  EXPECT_TRUE(feed.RunUntil(status, "75"));
}

TEST(FeedEngine, ConsumerMayUnsubscribeSubscribeAndDropTheEngineInsideTheListener) {
  FeedHarness feed;
  const auto price = feed.Sub({u"IBM", u"Price"});
  FeedEngine::CellId later = 0;
  int told = 0;
  feed.engine->SetChangeListener([&] {
    ++told;
    feed.engine->TakeChanges();
    if (told == 1) {
      feed.engine->Unsubscribe(price);
      later = feed.Sub({u"MSFT", u"Price"});
    } else if (feed.Show(later) != "-") {
      feed.engine.reset();  // inside a control's event
    }
  });
  feed.Run(3000);
  EXPECT_FALSE(feed.engine);
  EXPECT_TRUE(std::any_of(feed.log.begin(), feed.log.end(), [](const Request& r) { return r.ticker == "MSFT"; }));
}

}  // namespace
}  // namespace moravex::feed
