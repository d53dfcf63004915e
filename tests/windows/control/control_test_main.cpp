// Usage: control_tests <path of MORAVEX1.ocx> [gtest options]
#include "windows/com/windows_headers.h"

#include <gtest/gtest.h>

#include "tests/windows/control/control_test_support.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (argc < 2) {
    fprintf(stderr, "usage: %s MORAVEX1.ocx\n", argv[0]);
    return 2;
  }
  wchar_t path[MAX_PATH];
  MultiByteToWideChar(CP_UTF8, 0, argv[1], -1, path, MAX_PATH);
  moravex::windows::test::SetOcxPath(path);
  if (FAILED(OleInitialize(nullptr))) return 3;
  const int result = RUN_ALL_TESTS();
  OleUninitialize();
  return result;
}
