// Public enumerations of the type library.
#pragma once
#include <cstdint>

namespace moravex {

enum ErrorIDs : int32_t {
  NotConnected = static_cast<int32_t>(0x80040000),
  InvalidUidAndPwCombination = static_cast<int32_t>(0x80040001),
  InvalidTicker = static_cast<int32_t>(0x80040002),
  InvalidDate = static_cast<int32_t>(0x80040003),
  InternalError = static_cast<int32_t>(0x80040004),
  NotLoggedIn = static_cast<int32_t>(0x80040005),
  AlreadyConnected = static_cast<int32_t>(0x80040006),
  AlreadyLoggedIn = static_cast<int32_t>(0x80040007),
  RequestAlreadyPending = static_cast<int32_t>(0x80040008),
};

enum TimeoutTypes : int32_t {
  ConnectTimeout = 0,
  LoginTimeout = 1,
  FullDataRequestTimeout = 2,
  DataUpdatesTimeout = 3,
  SessionDateTimeTimeout = 4,
  SessionDateTimeout = 5,
  SessionTimeTimeout = 6,
  PreviousSessionsLastAverageVantrelPriceTimeout = 7,
  PreviousSessionsHighPriceTimeout = 8,
  PreviousSessionsLowPriceTimeout = 9,
  PreviousSessionsClosingPriceTimeout = 10,
  PreviousSessionsSupportAndResistancePricesTimeout = 11,
};

}  // namespace moravex
