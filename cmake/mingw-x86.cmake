# Cross build of the Windows layer for x86 with mingw-w64; tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(MORAVEX_MINGW_TRIPLE i686-w64-mingw32)
set(MORAVEX_WINE_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
