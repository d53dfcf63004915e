// The components live in a single-threaded apartment, as in a control's host;
// the tests' own servers use Winsock directly.
#include "windows/com/windows_headers.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 2;
  const int result = RUN_ALL_TESTS();
  WSACleanup();
  CoUninitialize();
  return result;
}
