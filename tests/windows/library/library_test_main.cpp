#include <winsock2.h>
#include <windows.h>
#include <gtest/gtest.h>
#include <objbase.h>

#include <cstdio>

#include <string>

#include "library_test.h"

namespace {
std::wstring ocx_path;
}

const std::wstring& OcxPath() { return ocx_path; }

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        fprintf(stderr, "usage: %s PATH-OF-MORAVEX1.ocx\n", argv[0]);
        return 2;
    }
    const std::string path = argv[1];
    ocx_path.assign(path.begin(), path.end());
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}
