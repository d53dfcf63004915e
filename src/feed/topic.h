// The topic table: what a consumer may name, and what keeps each field fresh.
#pragma once
#include <compare>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "platform/text.h"

namespace moravex::feed {

enum class Field : uint8_t {
  SessionTime,
  SessionDate,
  SessionDateTime,
  High,
  Low,
  Close,
  LastAverage,
  Support,
  Resistance,
  Time,
  Price,
  BuyReference,
  SellReference,
  PriceOffsetPercent,
  Rows,
  Status,
  Updated,
};
inline constexpr int kFieldCount = 17;

// The request family that refreshes a field; the engine itself keeps Status and Updated.
enum class Source : uint8_t {
  SessionTime,
  SessionDate,
  SessionDateTime,
  PriceChannel,
  LastAverage,
  High,
  Low,
  Close,
  SupportAndResistance,
  Engine,
};
inline constexpr int kRequestSources = 9;

enum class TickerRule : uint8_t { kNone, kRequired, kEither };

struct FieldRow {
  const char16_t* name;
  Source source;
  TickerRule ticker;
};

// In Field order.
inline constexpr FieldRow kFields[kFieldCount] = {
    {u"SessionTime", Source::SessionTime, TickerRule::kNone},
    {u"SessionDate", Source::SessionDate, TickerRule::kNone},
    {u"SessionDateTime", Source::SessionDateTime, TickerRule::kNone},
    {u"High", Source::High, TickerRule::kRequired},
    {u"Low", Source::Low, TickerRule::kRequired},
    {u"Close", Source::Close, TickerRule::kRequired},
    {u"LastAverage", Source::LastAverage, TickerRule::kRequired},
    {u"Support", Source::SupportAndResistance, TickerRule::kRequired},
    {u"Resistance", Source::SupportAndResistance, TickerRule::kRequired},
    {u"Time", Source::PriceChannel, TickerRule::kRequired},
    {u"Price", Source::PriceChannel, TickerRule::kRequired},
    {u"BuyReference", Source::PriceChannel, TickerRule::kRequired},
    {u"SellReference", Source::PriceChannel, TickerRule::kRequired},
    {u"PriceOffsetPercent", Source::PriceChannel, TickerRule::kRequired},
    {u"Rows", Source::PriceChannel, TickerRule::kRequired},
    {u"Status", Source::Engine, TickerRule::kEither},
    {u"Updated", Source::Engine, TickerRule::kEither},
};

inline const FieldRow& RowOf(Field field) { return kFields[static_cast<int>(field)]; }

inline constexpr const char16_t* kDefaultProfile = u"Default";

// One subscription's identity: equal topics share one subscription.
struct Topic {
  Text profile;
  Text ticker;  // empty: none
  Field field;
  auto operator<=>(const Topic&) const = default;
};

struct TopicParts {
  const Text& profile;
  const Text& ticker;
  Field field;
};

// Hashes and compares topics, and finds one by its parts without building a Topic.
struct TopicHash {
  using is_transparent = void;
  template <class T>
  size_t operator()(const T& topic) const {
    const std::hash<Text> hash;
    return (hash(topic.profile) * 31 + hash(topic.ticker)) * 31 + static_cast<size_t>(topic.field);
  }
};

struct TopicEqual {
  using is_transparent = void;
  template <class A, class B>
  bool operator()(const A& a, const B& b) const {
    return a.field == b.field && a.ticker == b.ticker && a.profile == b.profile;
  }
};

struct ParsedTopic {
  std::optional<Topic> topic;
  Text error;  // why there is none
};

// The formula's strings: FIELD; TICKER, FIELD; or TICKER, FIELD, PROFILE. Blanks
// around each are dropped; an empty ticker names none, an empty profile
// "Default"; field names ignore ASCII case.
ParsedTopic ParseTopic(std::span<const Text> strings);

}  // namespace moravex::feed
