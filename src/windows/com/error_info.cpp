#include "windows/com/error_info.h"

#include "windows/com/bstr.h"
#include "windows/com/com_ptr.h"

namespace moravex::com {

HRESULT ReportError(HRESULT number, const std::string& source, const std::string& description, REFIID iid) {
  try {
    ComPtr<ICreateErrorInfo> create;
    if (FAILED(CreateErrorInfo(create.Put()))) return number;
    Bstr source_text = Bstr::FromUtf8(source);
    Bstr description_text = Bstr::FromUtf8(description);
    create->SetGUID(iid);
    create->SetSource(source_text.Get());
    create->SetDescription(description_text.Get());
    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create.As(info))) SetErrorInfo(0, info.Get());
  } catch (const std::bad_alloc&) {
    // The number still reaches the caller, without the texts.
  }
  return number;
}

}  // namespace moravex::com
