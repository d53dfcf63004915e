// Rich error information at the COM boundary: every failure leaves the method
// as an HRESULT plus an IErrorInfo carrying its source and description.
#pragma once
#include "windows/com/windows_headers.h"

#include <new>
#include <string>

#include "platform/failure.h"

namespace moravex::com {

// Sets the thread's error info (source and description in UTF-8, interface
// `iid`) and returns `number` as the HRESULT to return.
HRESULT ReportError(HRESULT number, const std::string& source, const std::string& description, REFIID iid);

inline HRESULT ReportFailure(const moravex::Failure& failure, REFIID iid) {
  return ReportError(static_cast<HRESULT>(failure.Number()), failure.Source(), failure.Description(), iid);
}

// Runs `body` and turns whatever escapes it into an HRESULT: nothing throws
// across the boundary.
template <class Body>
HRESULT ReturningHresultWithErrorInfo(REFIID iid, Body&& body) noexcept {
  try {
    body();
    return S_OK;
  } catch (const moravex::Failure& failure) {
    return ReportFailure(failure, iid);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace moravex::com
