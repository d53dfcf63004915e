#include "tests/support/feed_harness.h"

#include <cstdio>
#include <cstring>

#include "native/memory_table.h"
#include "native/windows_1252.h"

namespace moravex::feed {
namespace {

int32_t ReadLong(const Bytes& bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | bytes[at + static_cast<size_t>(i)];
  return static_cast<int32_t>(value);
}

std::string RowTime(int row) {
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:00", (9 + (30 + row) / 60) % 100, (30 + row) % 60);
  return text;
}

}  // namespace

Profile FeedHarness::TestProfile() {
  Profile profile;
  profile.server = u"feed.example.test";
  profile.user = Text(36, u'U');
  profile.backoff_base_ms = 100;
  profile.backoff_max_ms = 400;
  profile.jitter_percent = 0;
  profile.pace = 0;
  return profile;
}

FeedHarness::FeedHarness(Profile profile) {
  profiles->profiles[kDefaultProfile] = profile;
  credentials->passwords[kDefaultProfile] = Text(36, u'P');
  FeedPlatform platform;
  platform.clock = clock;
  platform.profiles = profiles;
  platform.credentials = credentials;
  platform.make_timer = [this](const std::string&) { return FakeTimer::Share(engine_timer); };
  platform.make_components = [this] {
    Link link;
    link.socket = std::make_shared<FakeSocket>();
    link.timers = {std::make_shared<FakeTimer>("login"), std::make_shared<FakeTimer>("data"),
                   std::make_shared<FakeTimer>("session")};
    Components components;
    components.winsock1 = FakeSocket::Share(link.socket);
    components.tmr_login_and_connect_timeout = FakeTimer::Share(link.timers[0]);
    components.tmr_data_request_timeout = FakeTimer::Share(link.timers[1]);
    components.tmr_session_info_timeout = FakeTimer::Share(link.timers[2]);
    components.record_sets = std::make_shared<MemoryTableFactory>();
    components.text = std::make_shared<Windows1252Conversion>();
    links_.push_back(std::move(link));
    connection_made.push_back(clock->now);
    return components;
  };
  engine = FeedEngine::Create(std::move(platform));
}

FeedHarness::~FeedHarness() { engine.reset(); }

FeedEngine::CellId FeedHarness::Sub(std::initializer_list<Text> strings) {
  return engine->Subscribe(std::vector<Text>(strings));
}

std::string FeedHarness::Show(FeedEngine::CellId id) const {
  const FeedValue& value = engine ? engine->Value(id) : FeedValue();
  if (const float* price = std::get_if<float>(&value)) return std::to_string(static_cast<int>(*price));
  if (const int32_t* count = std::get_if<int32_t>(&value)) return std::to_string(*count);
  if (const Text* text = std::get_if<Text>(&value)) return ToUtf8(*text);
  return "-";
}

void FeedHarness::Run(int milliseconds) {
  for (int done = 0; done < milliseconds; done += 10) Step();
}

bool FeedHarness::RunUntil(FeedEngine::CellId id, const std::string& value, int limit_ms) {
  for (int done = 0; done < limit_ms && Show(id) != value; done += 10) Step();
  return Show(id) == value;
}

void FeedHarness::CloseAll() {
  for (Link& link : links_) {
    if (link.socket->State() == kSocketConnected) link.socket->FirePeerClose();
  }
}

size_t FeedHarness::Requests(uint8_t type) const {
  size_t count = 0;
  for (const Request& request : log) count += request.type == type;
  return count;
}

// A timer enabled (or restarted) since the last look starts a full interval now.
void FeedHarness::Step() {
  clock->now += 10;
  std::vector<std::shared_ptr<FakeTimer>> timers = {engine_timer};
  for (const Link& link : links_) timers.insert(timers.end(), link.timers.begin(), link.timers.end());
  for (const auto& timer : timers) {
    if (!timer->EnabledLog().empty()) {
      started_[timer.get()] = clock->now - 10;
      timer->ClearLog();
    }
    if (timer->Enabled() && clock->now - started_[timer.get()] >= timer->Interval()) {
      started_[timer.get()] = clock->now;
      timer->Tick();
      timer->ClearLog();
    }
  }
  for (size_t i = 0; i < links_.size(); ++i) Serve(i);
}

void FeedHarness::Serve(size_t index) {
  // Copies: a notification may make a new link.
  const std::shared_ptr<FakeSocket> socket = links_[index].socket;
  if (socket->State() == kSocketConnecting) {
    if (up) {
      socket->FireConnect();
    } else {
      socket->FireError(u"Connection refused", 10061);
    }
    return;
  }
  if (socket->State() != kSocketConnected) return;
  const Bytes sent = socket->Sent();
  while (links_[index].read + 6 <= sent.size()) {
    Link& link = links_[index];
    const size_t at = link.read;
    const uint8_t type = sent[at];
    const auto length = static_cast<size_t>(ReadLong(sent, at + 2));
    const Bytes payload(sent.begin() + static_cast<std::ptrdiff_t>(at + 6),
                        sent.begin() + static_cast<std::ptrdiff_t>(at + 6 + length));
    link.read = at + 6 + length;
    std::string ticker, stamp;
    if (type >= 5 && payload.size() >= 6) {
      ticker.assign(payload.begin(), payload.begin() + 6);
      ticker.erase(ticker.find_last_not_of(' ') + 1);
      ticker.erase(0, ticker.find_first_not_of(' '));
      if (type == 6) stamp.assign(payload.begin() + 6, payload.end());
    }
    if (type != 0) log.push_back({index, type, ticker, stamp, clock->now});
    if (type == 0 || silent.contains(type)) continue;
    overlaps += !link.pending.insert(type).second;
    link.answers.emplace_back(clock->now + answer_after_ms, AnswerTo(type, payload, ticker, stamp));
  }
  std::vector<Bytes> due;
  auto& answers = links_[index].answers;
  while (!answers.empty() && answers.front().first <= clock->now) {
    links_[index].pending.erase(answers.front().second[0]);
    due.push_back(std::move(answers.front().second));
    answers.erase(answers.begin());
  }
  for (const Bytes& frame : due) {
    if (socket->State() == kSocketConnected) socket->Arrive(frame);
  }
}

Bytes FeedHarness::AnswerTo(uint8_t type, const Bytes& payload, const std::string& ticker, const std::string& stamp) {
  const int available = rows.contains(ticker) ? rows[ticker] : 3;
  switch (type) {
    case 1:
      if (refusal) return Frame(1, Concat({LongBytes(1), AnsiBytes(*refusal)}));
      return Frame(1, Concat({LongBytes(0), AnsiBytes("OK")}));
    case 2: return Frame(2, AnsiBytes(session_date + " " + RowTime(static_cast<int>(clock->now / 60000))));
    case 3: return Frame(3, AnsiBytes(session_date));
    case 4: return Frame(4, AnsiBytes(std::to_string(clock->now / 1000)));
    case 5:
    case 6: {
      int first = type == 5 ? std::max(0, available - ReadLong(payload, 6)) : 0;
      while (type == 6 && first < available && RowTime(first) <= stamp) ++first;
      Bytes records;
      for (int row = first; row < available; ++row) {
        const float price = PriceOf(ticker, row);
        records = Concat({records, AnsiBytes(RowTime(row)), SingleBytes(price + 1), SingleBytes(price - 1),
                          SingleBytes(price), SingleBytes(0.5f)});
      }
      return Frame(type, records);
    }
    case 11:
      return Frame(11, Concat({SingleBytes(PriceOf(ticker, 20)), SingleBytes(PriceOf(ticker, 30)),
                               SingleBytes(PriceOf(ticker, 10)), SingleBytes(PriceOf(ticker, 25))}));
    default: return Frame(type, SingleBytes(PriceOf(ticker, 10 * (type - 6))));
  }
}

}  // namespace moravex::feed
