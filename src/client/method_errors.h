// How methods report failures: a failed check raises its own number with the
// method's source; a failure during the work becomes InternalError carrying
// the caught failure's source and description.
#pragma once
#include <new>
#include <string>

#include "client/error_ids.h"
#include "platform/failure.h"

namespace moravex {

inline std::string MethodSource(const char* method) { return std::string("ChartServiceClient:") + method; }

[[noreturn]] inline void Raise(ErrorIDs number, const char* method, const char* description) {
  throw Failure(number, MethodSource(method), description);
}

template <class Work>
void RethrowingAsInternalError(Work&& work) {
  try {
    work();
  } catch (const Failure& caught) {
    throw Failure(InternalError, caught.Source(), caught.Description());
  } catch (const std::bad_alloc&) {
    throw Failure(InternalError, kRuntimeSource, "Out of memory");
  }
}

inline constexpr const char* kNotConnected = "Not connected";
inline constexpr const char* kNotLoggedIn = "Not logged in";

}  // namespace moravex
