# Cross build of the Windows layer for x64 with mingw-w64; tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(MORAVEX_MINGW_TRIPLE x86_64-w64-mingw32)
set(MORAVEX_WINE_ARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
