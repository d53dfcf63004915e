// Reads a price-channel argument the way a host does: the ADO recordset
// through its classic vtable interface, fields, record count, then the rows
// from the cursor to the end.
#pragma once
#include "windows/com/windows_headers.h"

#include "tools/shell/shell_driver.h"

namespace moravex::shell {

// A PriceTable, or nothing for a null pointer, an object that is not an ADO
// recordset, or a recordset that fails while it is read.
EventValue ReadAdoTable(IDispatch* object);

}  // namespace moravex::shell
