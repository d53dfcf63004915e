// The ten market-data requests as data, so checks shared by all of them are
// written once.
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/test_client.h"

namespace moravex {

struct DataRequestCase {
  std::string method;
  // Issues the request with this ticker (ignored by the session requests).
  std::function<void(ChartServiceClient&, const Text& ticker)> call;
  Pending flag;
  uint8_t message_type;
  int32_t timeout_type;
  std::string already_pending;
  bool takes_ticker;
  FakeTimer& (*timer)(TestClient&);
};

const std::vector<DataRequestCase>& DataRequests();

// Test names and listings show the method, not the bytes of the case.
inline void PrintTo(const DataRequestCase& request, std::ostream* out) { *out << request.method; }

// For parameterised tests: the method name.
inline std::string CaseName(const ::testing::TestParamInfo<DataRequestCase>& info) { return info.param.method; }

}  // namespace moravex
