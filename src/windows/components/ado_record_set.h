// The price-channel record set as a real ADODB.Recordset, driven through ADO's
// classic vtable interfaces (the ones Windows and Wine's msado15 both offer).
#pragma once
#include "windows/com/windows_headers.h"

#include <unknwn.h>

#include <memory>

#include "windows/com/com_ptr.h"
#include "platform/record_set.h"

namespace moravex::windows {

class AdoRecordSetFactory final : public RecordSetFactory {
 public:
  // A new ADODB.Recordset, made on the calling (apartment) thread; a failure
  // carries the COM error's source and description. The first call takes
  // ADO's class object and keeps it for that thread: CoCreateInstance looks
  // the class up in the registry every time, which under Wine costs more than
  // filling a small answer.
  std::shared_ptr<RecordSet> Create() override;

 private:
  moravex::com::ComPtr<IClassFactory> class_object_;
  DWORD class_object_thread_ = 0;
};

}  // namespace moravex::windows

// The ADO Recordset behind a record set this factory made (or that
// HostObjectFromDispatch wrapped), AddRef'ed; nullptr for anything else.
IDispatch* RecordsetDispatch(const moravex::HostObject* object);

// What the host left in a by-reference object argument: nullptr for null, a
// RecordSet over it when it is an ADO Recordset, else a foreign HostObject
// that holds a reference to it.
std::shared_ptr<moravex::HostObject> HostObjectFromDispatch(IDispatch* object);
