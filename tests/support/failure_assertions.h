// Checks that a call raises a Failure with an exact number, source and text.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>

#include "platform/failure.h"
#include "tests/support/recording_events.h"

namespace moravex {

template <class Call>
::testing::AssertionResult RaisesFailure(Call&& call, int32_t number, std::string_view source,
                                         std::string_view description) {
  try {
    call();
  } catch (const Failure& failure) {
    if (failure.Number() == number && failure.Source() == source && failure.Description() == description) {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "raised (" << ErrorName(failure.Number()) << ", \"" << failure.Source()
                                         << "\", \"" << failure.Description() << "\"), expected (" << ErrorName(number)
                                         << ", \"" << source << "\", \"" << description << "\")";
  } catch (const std::exception& other) {
    return ::testing::AssertionFailure() << "raised a foreign exception: " << other.what();
  }
  return ::testing::AssertionFailure() << "raised nothing";
}

}  // namespace moravex
