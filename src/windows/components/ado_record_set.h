// The price-channel record set as a real ADODB.Recordset, driven through ADO's
// classic vtable interfaces (the ones Windows and Wine's msado15 both offer).
#pragma once
#include <winsock2.h>
#include <windows.h>
#include <oaidl.h>

#include <memory>

#include "platform/record_set.h"

namespace moravex::windows {

class AdoRecordSetFactory final : public RecordSetFactory {
 public:
  // CoCreateInstance of ADODB.Recordset on the calling (apartment) thread;
  // a failure carries the COM error's source and description.
  std::shared_ptr<RecordSet> Create() override;
};

}  // namespace moravex::windows

// The ADO Recordset behind a record set this factory made (or that
// HostObjectFromDispatch wrapped), AddRef'ed; nullptr for anything else.
IDispatch* RecordsetDispatch(const moravex::HostObject* object);

// What the host left in a by-reference object argument: nullptr for null, a
// RecordSet over it when it is an ADO Recordset, else a foreign HostObject
// that holds a reference to it.
std::shared_ptr<moravex::HostObject> HostObjectFromDispatch(IDispatch* object);
