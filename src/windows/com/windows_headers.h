// The Windows and OLE headers in the one order that compiles: winsock2.h must
// come before windows.h wherever the two meet.
#pragma once
#include <winsock2.h>
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <ocidl.h>
#include <olectl.h>
